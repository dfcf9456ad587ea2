#include "host/py.hpp"

#include <pthread.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <unordered_map>

#include "host/kinds.hpp"

namespace ovra::py {

void raise(PyObject* type, const char* message) {
  PyErr_SetString(type, message);
  throw ErrorAlreadySet{};
}

void raise_format(PyObject* type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  PyErr_FormatV(type, format, args);
  va_end(args);
  throw ErrorAlreadySet{};
}

void raise_missing() {
  if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "internal error: missing object");
  throw ErrorAlreadySet{};
}

Ref str(std::string_view utf8) {
  return Ref::checked(PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "surrogatepass"));
}

Ref integer(long long v) { return Ref::checked(PyLong_FromLongLong(v)); }
Ref floating(double v) { return Ref::checked(PyFloat_FromDouble(v)); }

namespace {
bool is_numpy_bool(Handle o) {
  std::string_view n = Py_TYPE(o.get())->tp_name;
  return n == "numpy.bool_" || n == "numpy.bool";
}
}  // namespace

bool is_true_bool(Handle o) {
  if (!o) return false;
  if (PyBool_Check(o.get())) return o.get() == Py_True;
  if (is_numpy_bool(o)) {
    int t = PyObject_IsTrue(o.get());
    if (t < 0) PyErr_Clear();
    return t == 1;
  }
  return false;
}

bool is_false_bool(Handle o) {
  if (!o) return false;
  if (PyBool_Check(o.get())) return o.get() == Py_False;
  if (is_numpy_bool(o)) {
    int t = PyObject_IsTrue(o.get());
    if (t < 0) PyErr_Clear();
    return t == 0;
  }
  return false;
}

Ref require_str(Ref value, const char* what) {
  if (!PyUnicode_Check(value.get())) {
    raise_format(PyExc_TypeError, "%s must be a str, not %.200s", what, Py_TYPE(value.get())->tp_name);
  }
  return value;
}

std::string_view utf8(Handle s) {
  if (!PyUnicode_Check(present(s.get()))) {
    raise_format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(s.get())->tp_name);
  }
  Py_ssize_t n = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s.get(), &n);
  if (p == nullptr) raise();
  return {p, static_cast<std::size_t>(n)};
}

std::string source_text(Handle s) {
  if (!PyUnicode_Check(present(s.get()))) {
    raise_format(PyExc_TypeError, "expected str, got %.200s", Py_TYPE(s.get())->tp_name);
  }
  Py_ssize_t n = 0;
  const char* p = PyUnicode_AsUTF8AndSize(s.get(), &n);
  if (p != nullptr) return {p, static_cast<std::size_t>(n)};
  PyErr_Clear();
  Ref b = Ref::checked(PyUnicode_AsEncodedString(s.get(), "utf-8", "surrogatepass"));
  return {PyBytes_AS_STRING(b.get()), static_cast<std::size_t>(PyBytes_GET_SIZE(b.get()))};
}

std::string_view type_name(Handle o) {
  const char* n = Py_TYPE(present(o.get()))->tp_name;
  const char* dot = std::strrchr(n, '.');
  return dot != nullptr ? dot + 1 : n;
}

std::string str_of(Handle o) {
  Ref s = Ref::checked(PyObject_Str(o.get()));
  return source_text(s);
}

thread_local int DepthGuard::depth_ = 0;

namespace {

// Stack kept free for the interpreter and for unwinding: a quarter of the
// thread's stack, at most 256 KiB, so small thread stacks stay usable.
constexpr std::size_t kStackReserve = 256 * 1024;

// This thread's stack: its lowest address and the lowest address the
// analysis may reach (both 0 when unknown).
struct StackBounds {
  std::uintptr_t low = 0;
  std::uintptr_t limit = 0;
};

const StackBounds& stack_bounds() {
  static thread_local const StackBounds bounds = [] {
    StackBounds b;
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return b;
    void* addr = nullptr;
    std::size_t size = 0;
    if (pthread_attr_getstack(&attr, &addr, &size) == 0 && addr != nullptr) {
      b.low = reinterpret_cast<std::uintptr_t>(addr);
      b.limit = b.low + std::min(kStackReserve, size / 4);
    }
    pthread_attr_destroy(&attr);
    return b;
  }();
  return bounds;
}

}  // namespace

DepthGuard::DepthGuard() {
  char here = 0;
  const std::uintptr_t sp = reinterpret_cast<std::uintptr_t>(&here);
  const StackBounds& stack = stack_bounds();
  // Only a pointer inside this thread's stack is compared (not an alternate stack).
  if (depth_ >= kLimit || (sp >= stack.low && sp < stack.limit)) {
    raise(PyExc_RecursionError, "maximum recursion depth exceeded during analysis");
  }
  ++depth_;
}

}  // namespace ovra::py

namespace ovra {

Kind kind_from_name(std::string_view name) {
  static const std::unordered_map<std::string_view, Kind> table = [] {
    std::unordered_map<std::string_view, Kind> t;
#define OVRA_ENTRY(k) t.emplace(#k, Kind::k);
    OVRA_NODE_KINDS(OVRA_ENTRY)
#undef OVRA_ENTRY
    return t;
  }();
  auto it = table.find(name);
  return it == table.end() ? Kind::Other : it->second;
}

}  // namespace ovra
