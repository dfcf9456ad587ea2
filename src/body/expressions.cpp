// Expression walker: calls and their classification, comprehensions, awaits,
// walrus assignments, f-strings, large literals and expression branches.
#include <array>
#include <string>
#include <string_view>

#include "analysis/naming.hpp"
#include "analysis/text_match.hpp"
#include "body/state.hpp"
#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::body {

namespace {

// ---------------------------------------------------------------- children

// Walks one child expression; a failure inside it stops only that child.
void walk_child(py::Handle child, BodyWalkState& state) {
  if (!child) return;
  try {
    walk_expression(child, state);
  } catch (const py::ErrorAlreadySet&) {
    PyErr_Clear();
  }
}

template <py::Name N>
void walk_child_attr(py::Handle node, BodyWalkState& state) {
  py::Ref child = py::opt_attr<N>(node);
  walk_child(child, state);
}

void walk_children(py::Handle list, BodyWalkState& state) {
  if (!list || !py::is_list(list)) return;
  for (py::Handle child : py::items(list)) walk_child(child, state);
}

template <py::Name N>
void walk_child_list(py::Handle node, BodyWalkState& state) {
  py::Ref list = py::opt_attr<N>(node);
  walk_children(list, state);
}

// ---------------------------------------------------------------- calls

constexpr std::string_view kEval = "eval";
constexpr std::string_view kExec = "exec";
constexpr std::string_view kIsinstance = "isinstance";
constexpr std::string_view kSubprocessPrefix = "subprocess.";
constexpr std::string_view kLoggingPrefix = "logging.";
constexpr std::string_view kTypingCastPrefix = "typing.cast";

// A name containing one of these is an I/O operation.
constexpr std::array<std::string_view, 3> kIoFragments{"open", "read", "write"};

// A name equal to one of these constructs a built-in type.
constexpr std::array<std::string_view, 8> kTypeConstructors{"int", "float", "str",  "bool",
                                                            "list", "dict", "set", "tuple"};

// Builds the call entry of a Call node whose `func` is `func` and files it.
void classify_call(py::Handle node, py::Handle func, BodyWalkState& state) {
  std::string name = analysis::dotted_name(func);
  py::Ref name_str = py::str(name);
  py::Ref line = py::opt_attr<"lineno">(node);

  py::Dict entry = py::Dict::make();
  entry.set<"name">(name_str);
  if (line) entry.set<"line_number">(line);
  entry.set_str<"inferred_return_type">(types::infer_type(node));
  if (types::is_callable(name)) entry.set_bool<"is_higher_order">(true);

  if (name == kEval) {
    state.has_eval = true;
  } else if (name == kExec) {
    state.has_exec = true;
  } else if (name == kIsinstance) {
    ++state.isinstance_count;
    entry.set_bool<"is_type_check">(true);
  } else if (name.starts_with(kSubprocessPrefix)) {
    state.has_subprocess = true;
    entry.set_bool<"is_subprocess">(true);
  } else if (name.starts_with(kLoggingPrefix)) {
    entry.set_bool<"is_logging">(true);
    state.logging_calls.append(entry);
  } else if (name.starts_with(kTypingCastPrefix)) {
    ++state.typing_cast_count;
    entry.set_bool<"is_type_cast">(true);
  } else if (name == state.function_name) {
    state.has_recursion = true;
    entry.set_bool<"is_recursive">(true);
  } else if (match::contains_any(name, kIoFragments)) {
    py::Dict io = py::Dict::make();
    io.set<"operation">(name_str);
    if (line) io.set<"line_number">(line);
    state.io_operations.append(io);
    entry.set_bool<"is_io_operation">(true);
  } else if (match::equals_any(name, kTypeConstructors)) {
    entry.set_bool<"is_type_constructor">(true);
    entry.set<"constructs_type">(name_str);
  }

  state.function_calls.append(entry);
}

void walk_call(py::Handle node, BodyWalkState& state) {
  py::Ref func = py::opt_attr<"func">(node);
  if (func) classify_call(node, func, state);
  walk_child(func, state);
  walk_child_list<"args">(node, state);
  py::Ref keywords = py::opt_attr<"keywords">(node);
  if (keywords && py::is_list(keywords)) {
    for (py::Handle keyword : py::items(keywords)) walk_child_attr<"value">(keyword, state);
  }
}

// ---------------------------------------------------------------- comprehensions

void record_comprehension(py::Handle node, std::string_view type, BodyWalkState& state) {
  py::Dict entry = py::Dict::make();
  entry.set_str<"type">(type);
  entry.set<"line_number">(py::attr<"lineno">(node));
  py::Ref generators = py::opt_attr<"generators">(node);
  if (generators && py::is_list(generators)) {
    bool has_if = false;
    for (py::Handle clause : py::items(generators)) {
      py::Ref ifs = py::opt_attr<"ifs">(clause);
      if (ifs && py::is_list(ifs) && PyList_GET_SIZE(ifs.get()) > 0) {
        entry.set_int<"if_clauses">(PyList_GET_SIZE(ifs.get()));
        has_if = true;
      }
    }
    entry.set_bool<"has_if_clause">(has_if);
    entry.set_int<"nesting_depth">(PyList_GET_SIZE(generators.get()));
  }
  state.comprehensions.append(entry);
}

// ---------------------------------------------------------------- literals

constexpr std::size_t kLargeStringBytes = 100;
constexpr long long kLargeInt = 1000000;

// Length of the str in UTF-8 bytes, lone surrogates counted as encoded
// with surrogatepass.
std::size_t utf8_size(py::Handle s) {
  PyObject* o = s.get();
  if (PyUnicode_IS_ASCII(o)) return static_cast<std::size_t>(PyUnicode_GET_LENGTH(o));
  const int kind = PyUnicode_KIND(o);
  const void* data = PyUnicode_DATA(o);
  const Py_ssize_t n = PyUnicode_GET_LENGTH(o);
  std::size_t size = 0;
  for (Py_ssize_t i = 0; i < n; ++i) {
    Py_UCS4 c = PyUnicode_READ(kind, data, i);
    size += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  return size;
}

void record_large_literal(py::Handle node, BodyWalkState& state) {
  py::Ref value = py::attr<"value">(node);
  std::string_view cls = py::type_name(value);
  if (cls == "str") {
    if (!py::is_str(value)) return;
    std::size_t size = utf8_size(value);
    if (size <= kLargeStringBytes) return;
    py::Dict entry = py::Dict::make();
    entry.set_str<"type">("string");
    entry.set_int<"size">(static_cast<long long>(size));
    if (py::Ref line = py::opt_attr<"lineno">(node)) entry.set<"line_number">(line);
    state.large_literals.append(entry);
  } else if (cls == "int") {
    if (!PyLong_Check(value.get())) return;
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(value.get(), &overflow);
    if (v == -1 && PyErr_Occurred()) {
      PyErr_Clear();
      return;
    }
    if (overflow != 0 || (v <= kLargeInt && v >= -kLargeInt)) return;
    py::Dict entry = py::Dict::make();
    entry.set_str<"type">("int");
    entry.set_int<"value">(v);
    if (py::Ref line = py::opt_attr<"lineno">(node)) entry.set<"line_number">(line);
    state.large_literals.append(entry);
  }
}

void walk_bool_op(py::Handle node, BodyWalkState& state) {
  py::Ref values = py::opt_attr<"values">(node);
  if (!values || !py::is_list(values)) return;
  Py_ssize_t n = PyList_GET_SIZE(values.get());
  if (n >= 2) state.cyclomatic += n - 1;
  walk_children(values, state);
}

}  // namespace

void walk_expression(py::Handle node, Kind kind, BodyWalkState& state) {
  py::DepthGuard guard;
  switch (kind) {
    case Kind::Await:
      ++state.await_count;
      walk_child_attr<"value">(node, state);
      break;
    case Kind::BoolOp:
      walk_bool_op(node, state);
      break;
    case Kind::IfExp:
      ++state.cyclomatic;
      walk_child_attr<"test">(node, state);
      walk_child_attr<"body">(node, state);
      walk_child_attr<"orelse">(node, state);
      break;
    case Kind::ListComp:
      record_comprehension(node, "list", state);
      walk_child_attr<"elt">(node, state);
      break;
    case Kind::SetComp:
      record_comprehension(node, "set", state);
      walk_child_attr<"elt">(node, state);
      break;
    case Kind::GeneratorExp:
      record_comprehension(node, "generator", state);
      walk_child_attr<"elt">(node, state);
      break;
    case Kind::DictComp:
      // No `elt`: neither key nor value is walked.
      record_comprehension(node, "dict", state);
      break;
    case Kind::UnaryOp:
      walk_child_attr<"operand">(node, state);
      break;
    case Kind::BinOp:
      walk_child_attr<"left">(node, state);
      walk_child_attr<"right">(node, state);
      break;
    case Kind::Compare:
      walk_child_attr<"left">(node, state);
      walk_child_list<"comparators">(node, state);
      break;
    case Kind::Call:
      walk_call(node, state);
      break;
    case Kind::NamedExpr:
      ++state.walrus_count;
      walk_child_attr<"value">(node, state);
      break;
    case Kind::Attribute:
    case Kind::FormattedValue:
      walk_child_attr<"value">(node, state);
      break;
    case Kind::Subscript:
      walk_child_attr<"value">(node, state);
      walk_child_attr<"slice">(node, state);
      break;
    case Kind::Tuple:
    case Kind::List:
    case Kind::Set:
      walk_child_list<"elts">(node, state);
      break;
    case Kind::Dict:
      walk_child_list<"values">(node, state);
      break;
    case Kind::JoinedStr:
      state.has_fstring = true;
      walk_child_list<"values">(node, state);
      break;
    case Kind::Constant:
      record_large_literal(node, state);
      break;
    default:
      break;
  }
}

}  // namespace ovra::body
