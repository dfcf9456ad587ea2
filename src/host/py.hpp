// Host layer: a thin RAII wrapper over the CPython C API.
//
// - `Handle` is a borrowed view, `Ref` owns one reference.
// - A pending Python error travels as the C++ exception `ErrorAlreadySet`;
//   the function boundary (`guarded`) turns it back into the raised error.
// - Attribute and key names are interned once per process (`interned<"x">`).
// - Required reads (`attr<"x">`) propagate; optional reads (`opt_attr<"x">`)
//   clear the error and give an empty Ref.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace ovra::py {

// ---------------------------------------------------------------- errors

// A Python exception is set in the interpreter; unwind to the boundary.
struct ErrorAlreadySet {};

[[noreturn]] inline void raise() { throw ErrorAlreadySet{}; }
[[noreturn]] void raise(PyObject* type, const char* message);
[[noreturn]] void raise_format(PyObject* type, const char* format, ...);

// Returns `o`, or throws when it is null (a Python error is then pending).
inline PyObject* check(PyObject* o) {
  if (o == nullptr) raise();
  return o;
}
inline void check_status(int status) {
  if (status < 0) raise();
}
// Returns `o`; a missing object is an internal fault, raised as SystemError
// (or the error already pending) instead of being dereferenced.
[[noreturn]] void raise_missing();
inline PyObject* present(PyObject* o) {
  if (o == nullptr) raise_missing();
  return o;
}

// ---------------------------------------------------------------- references

class Handle {
 public:
  Handle() = default;
  Handle(PyObject* o) : o_(o) {}  // NOLINT: implicit by design
  PyObject* get() const { return o_; }
  explicit operator bool() const { return o_ != nullptr; }
  bool is(Handle other) const { return o_ == other.o_; }
  bool is_none() const { return o_ == Py_None; }

 protected:
  PyObject* o_ = nullptr;
};

class Ref : public Handle {
 public:
  Ref() = default;
  // Takes over a new reference (may be null: an empty Ref).
  static Ref steal(PyObject* o) {
    Ref r;
    r.o_ = o;
    return r;
  }
  // Takes over a new reference that must not be null.
  static Ref checked(PyObject* o) { return steal(check(o)); }
  static Ref borrow(Handle h) {
    Py_XINCREF(h.get());
    return steal(h.get());
  }
  Ref(const Ref& other) : Handle(other.o_) { Py_XINCREF(o_); }
  Ref(Ref&& other) noexcept : Handle(std::exchange(other.o_, nullptr)) {}
  Ref& operator=(Ref other) noexcept {
    std::swap(o_, other.o_);
    return *this;
  }
  ~Ref() { Py_XDECREF(o_); }
  PyObject* release() { return std::exchange(o_, nullptr); }
};

// ---------------------------------------------------------------- interned names

template <std::size_t N>
struct Name {
  char text[N];
  constexpr Name(const char (&s)[N]) { std::copy_n(s, N, text); }  // NOLINT
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// The interned str of a compile-time name, created once per process.
template <Name N>
PyObject* interned() {
  static PyObject* const s = [] {
    PyObject* o = PyUnicode_InternFromString(N.text);
    if (o == nullptr) raise();
    return o;
  }();
  return s;
}

// ---------------------------------------------------------------- attribute reads

// Required read: a failure propagates.
template <Name N>
Ref attr(Handle o) {
  return Ref::checked(PyObject_GetAttr(present(o.get()), interned<N>()));
}

// Optional read: a failure is cleared and gives an empty Ref.
template <Name N>
Ref opt_attr(Handle o) {
  PyObject* r = PyObject_GetAttr(present(o.get()), interned<N>());
  if (r == nullptr) PyErr_Clear();
  return Ref::steal(r);
}

// Runs `f` and turns any pending Python error it raises into an empty result.
// For optional steps that are more than one read.
template <class F>
auto optional_step(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const ErrorAlreadySet&) {
    PyErr_Clear();
    return decltype(f())();
  }
}

// ---------------------------------------------------------------- values

Ref str(std::string_view utf8);  // encoded lone surrogates pass (surrogatepass)
Ref integer(long long v);
Ref floating(double v);
inline Ref boolean(bool v) { return Ref::borrow(v ? Py_True : Py_False); }
inline Ref none() { return Ref::borrow(Py_None); }

inline bool is_str(Handle o) { return o && PyUnicode_Check(o.get()); }
inline bool is_list(Handle o) { return o && PyList_Check(o.get()); }
inline bool is_dict(Handle o) { return o && PyDict_Check(o.get()); }
// A bool read back from a record: true only for the host's True (or numpy's).
bool is_true_bool(Handle o);
bool is_false_bool(Handle o);

// `value` when it is a str; otherwise TypeError "WHAT must be a str, not T".
Ref require_str(Ref value, const char* what);

// UTF-8 view of a str, valid while the str lives. Raises TypeError for a
// non-str and UnicodeEncodeError for a lone surrogate.
std::string_view utf8(Handle s);

// UTF-8 text of a str taken from analysed source: lone surrogates pass
// through (surrogatepass), so this never fails on a str.
std::string source_text(Handle s);

// The `__name__` of the object's class (the node kind of an ast node).
std::string_view type_name(Handle o);

// `str(o)` as UTF-8 (surrogatepass).
std::string str_of(Handle o);

// ---------------------------------------------------------------- containers

class List : public Ref {
 public:
  List() = default;
  static List make() {
    List l;
    l.o_ = check(PyList_New(0));
    return l;
  }
  // Borrows `h` as a list; `h` must be a list.
  static List borrow_list(Handle h) {
    List l;
    Py_INCREF(h.get());
    l.o_ = h.get();
    return l;
  }
  void append(Handle v) { check_status(PyList_Append(o_, v.get())); }
  void append(const Ref& v) { append(Handle(v)); }
  void append_str(std::string_view s) { append(str(s)); }
  Py_ssize_t size() const { return PyList_GET_SIZE(o_); }
  Handle operator[](Py_ssize_t i) const { return PyList_GET_ITEM(o_, i); }
};

class Dict : public Ref {
 public:
  Dict() = default;
  static Dict make() {
    Dict d;
    d.o_ = check(PyDict_New());
    return d;
  }
  static Dict borrow_dict(Handle h) {
    Dict d;
    Py_INCREF(h.get());
    d.o_ = h.get();
    return d;
  }
  template <Name K>
  void set(Handle v) {
    check_status(PyDict_SetItem(o_, interned<K>(), present(v.get())));
  }
  template <Name K>
  void set(const Ref& v) {
    set<K>(Handle(v));
  }
  template <Name K>
  void set_str(std::string_view s) {
    set<K>(str(s));
  }
  template <Name K>
  void set_bool(bool b) {
    set<K>(b ? Py_True : Py_False);
  }
  template <Name K>
  void set_int(long long v) {
    set<K>(integer(v));
  }
  void set(Handle key, Handle v) { check_status(PyDict_SetItem(o_, present(key.get()), present(v.get()))); }
  void set(std::string_view key, Handle v) { set(Handle(str(key)), v); }
  // Borrowed value, or null when absent (never raises for str keys).
  template <Name K>
  Handle find() const {
    return PyDict_GetItemWithError(o_, interned<K>());
  }
  Handle find(Handle key) const { return PyDict_GetItemWithError(o_, key.get()); }
  // Copies each of the keys that `from` holds, in the order given.
  template <Name... Keys>
  void copy_present(const Dict& from) {
    (copy_one<Keys>(from), ...);
  }
  Py_ssize_t size() const { return PyDict_GET_SIZE(o_); }

 private:
  template <Name K>
  void copy_one(const Dict& from) {
    if (Handle v = from.find<K>()) {
      set<K>(v);
    } else if (PyErr_Occurred()) {
      raise();
    }
  }
};

// Iterates a Python list. The iteration holds a reference to the list and to
// the current item, so code run while visiting an item may change the list
// without freeing what is visited.
class ListItems {
 public:
  explicit ListItems(Handle list) : list_(Ref::borrow(present(list.get()))) {}
  class It {
   public:
    It(PyObject* list, Py_ssize_t i) : list_(list), i_(i) {}
    Handle operator*() {
      current_ = Ref::borrow(PyList_GET_ITEM(list_, i_));
      return current_;
    }
    It& operator++() {
      ++i_;
      return *this;
    }
    // Stops at the length the list had when the loop began, or earlier when it shrank.
    bool operator!=(const It& end) const { return i_ < end.i_ && i_ < PyList_GET_SIZE(list_); }

   private:
    PyObject* list_;
    Py_ssize_t i_;
    Ref current_;
  };
  It begin() const { return {list_.get(), 0}; }
  It end() const { return {list_.get(), PyList_GET_SIZE(list_.get())}; }

 private:
  Ref list_;
};
inline ListItems items(Handle list) { return ListItems(list); }

// ---------------------------------------------------------------- recursion

// Bounds recursion over deep trees so the C stack never overflows; past the
// limit the analysis raises RecursionError.
class DepthGuard {
 public:
  static constexpr int kLimit = 6000;
  DepthGuard();
  ~DepthGuard() { --depth_; }
  DepthGuard(const DepthGuard&) = delete;
  DepthGuard& operator=(const DepthGuard&) = delete;

 private:
  static thread_local int depth_;
};

// ---------------------------------------------------------------- collector

// Pauses the cyclic garbage collector for one analysis. Parsing and the
// records allocate many containers but make no cycles, so collections
// triggered meanwhile would only traverse live objects.
class GcPause {
 public:
  GcPause() : was_enabled_(PyGC_Disable() == 1) {}
  ~GcPause() {
    if (was_enabled_) PyGC_Enable();
  }
  GcPause(const GcPause&) = delete;
  GcPause& operator=(const GcPause&) = delete;

 private:
  bool was_enabled_;
};

// ---------------------------------------------------------------- boundary

// Runs `f` and converts C++ failures back into a raised Python error.
template <class F>
PyObject* guarded(F&& f) noexcept {
  try {
    Ref r = f();
    return r.release();
  } catch (const ErrorAlreadySet&) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "error raised without an exception set");
    return nullptr;
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
    return nullptr;
  } catch (const std::exception& e) {
    PyErr_Format(PyExc_SystemError, "internal error: %s", e.what());
    return nullptr;
  } catch (...) {
    PyErr_SetString(PyExc_SystemError, "internal error");
    return nullptr;
  }
}

}  // namespace ovra::py
