// Literal values and inferred types of expressions, and whether an inferred
// type fits an annotation text.
#include <algorithm>
#include <array>

#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::types {

namespace {

// ---------------------------------------------------------------- literal values

py::Ref literal_elements(py::Handle node) {
  py::Ref elts = py::attr<"elts">(node);
  if (!py::is_list(elts)) {
    py::raise_format(PyExc_TypeError, "%.50s elts is not a list", py::type_name(node).data());
  }
  py::List out = py::List::make();
  for (py::Handle elt : py::items(elts)) out.append(literal_value(elt));
  return out;
}

py::Ref literal_dict(py::Handle node) {
  py::Ref keys = py::attr<"keys">(node);
  py::Ref values = py::attr<"values">(node);
  if (!py::is_list(keys) || !py::is_list(values)) return py::none();
  py::Dict out = py::Dict::make();
  for (Py_ssize_t i = 0; i < PyList_GET_SIZE(keys.get()) && i < PyList_GET_SIZE(values.get()); ++i) {
    // Owned: evaluating one node may change the lists.
    py::Ref key_node = py::Ref::borrow(PyList_GET_ITEM(keys.get(), i));
    py::Ref value_node = py::Ref::borrow(PyList_GET_ITEM(values.get(), i));
    py::Ref key = literal_value(key_node);
    py::Ref value = literal_value(value_node);
    out.set(key, value);
  }
  return out;
}

}  // namespace

py::Ref literal_value(py::Handle node) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Constant:
    case Kind::NameConstant:
      return py::attr<"value">(node);
    case Kind::Num:
      return py::attr<"n">(node);
    case Kind::Str:
    case Kind::Bytes:
      return py::attr<"s">(node);
    case Kind::List:
      return literal_elements(node);
    case Kind::Tuple:
      return py::Ref::checked(PyList_AsTuple(literal_elements(node).get()));
    case Kind::Set:
      return py::Ref::checked(PySet_New(literal_elements(node).get()));
    case Kind::Dict:
      return literal_dict(node);
    case Kind::Ellipsis:
      return py::Ref::borrow(Py_Ellipsis);
    default:
      return py::none();
  }
}

// ---------------------------------------------------------------- inference

std::string python_type_name(std::string_view class_name) {
  return std::string(class_name == "NoneType" ? std::string_view("None") : class_name);
}

namespace {

// A call of one of these names builds a value of that type.
constexpr std::array<std::string_view, 10> kConstructors{
    "int", "float", "str", "bool", "list", "dict", "set", "tuple", "bytes", "frozenset",
};

std::string infer_call(py::Handle call) {
  py::Ref func = py::opt_attr<"func">(call);
  if (!func || kind_of(func) != Kind::Name) return "unknown";
  py::Ref id = py::opt_attr<"id">(func);
  if (!id || !py::is_str(id)) return "unknown";
  const std::string_view name = py::optional_step([&] { return py::utf8(id); });
  if (std::find(kConstructors.begin(), kConstructors.end(), name) != kConstructors.end()) return std::string(name);
  return "unknown";
}

std::string infer_bin_op(py::Handle node) {
  py::Ref op = py::opt_attr<"op">(node);
  if (!op) return "unknown";
  const Kind op_kind = kind_of(op);
  switch (op_kind) {
    case Kind::Add:
    case Kind::Sub:
    case Kind::Mult:
    case Kind::Div:
    case Kind::FloorDiv:
    case Kind::Mod:
    case Kind::Pow: {
      py::Ref left = py::opt_attr<"left">(node);
      py::Ref right = left ? py::opt_attr<"right">(node) : py::Ref();
      if (!right) return "unknown";
      const std::string l = infer_type(left);
      const std::string r = infer_type(right);
      if (l == "float" || r == "float") return "float";
      if (l == "int") return r == "int" ? "int" : "unknown";
      if (l == "str" && r == "str" && op_kind == Kind::Add) return "str";
      return "unknown";
    }
    case Kind::BitOr:
    case Kind::BitAnd:
    case Kind::BitXor:
    case Kind::LShift:
    case Kind::RShift:
      return "int";
    default:
      return "unknown";
  }
}

std::string infer_if_exp(py::Handle node) {
  py::Ref body = py::opt_attr<"body">(node);
  py::Ref orelse = body ? py::opt_attr<"orelse">(node) : py::Ref();
  if (!orelse) return "unknown";
  std::string a = infer_type(body);
  std::string b = infer_type(orelse);
  if (a == b) return a;
  return "Union[" + a + ", " + b + "]";
}

}  // namespace

std::string infer_type(py::Handle node) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Constant:
      return python_type_name(py::type_name(py::attr<"value">(node)));
    case Kind::Num:
      return python_type_name(py::type_name(py::attr<"n">(node)));
    case Kind::Str:
      return "str";
    case Kind::NameConstant: {
      py::Ref value = py::attr<"value">(node);
      return value.is_none() ? "NoneType" : python_type_name(py::type_name(value));
    }
    case Kind::List:
      return "list";
    case Kind::Dict:
      return "dict";
    case Kind::Tuple:
      return "tuple";
    case Kind::Set:
      return "set";
    case Kind::Name: {
      py::Ref id = py::attr<"id">(node);
      if (!py::is_str(id)) return "unknown";
      const std::string_view name = py::utf8(id);
      if (name == "True" || name == "False") return "bool";
      if (name == "None") return "NoneType";
      return "unknown";
    }
    case Kind::Call:
      return infer_call(node);
    case Kind::BinOp:
      return infer_bin_op(node);
    case Kind::UnaryOp: {
      py::Ref operand = py::opt_attr<"operand">(node);
      return operand ? infer_type(operand) : "unknown";
    }
    case Kind::Compare:
    case Kind::BoolOp:
      return "bool";
    case Kind::IfExp:
      return infer_if_exp(node);
    case Kind::Bytes:
      return "bytes";
    case Kind::Ellipsis:
      return "ellipsis";
    default:
      return "unknown";
  }
}

// ---------------------------------------------------------------- compatibility

namespace {

// Nesting of unwraps and union members a comparison follows before it gives
// up as not compatible; real annotations stay far below it.
constexpr int kCompatibilityDepth = 200;

constexpr bool is_none_name(std::string_view t) { return t == "None" || t == "NoneType"; }

constexpr bool is_numeric(std::string_view t) { return t == "int" || t == "float" || t == "complex"; }

// The members of a union text, or nothing when they are the text itself
// (a string annotation without a closing "]"): such a text is no union here.
std::vector<std::string> proper_members(std::string_view text) {
  std::vector<std::string> members = union_members(text);
  if (members.size() == 1 && members.front() == text) members.clear();
  return members;
}

bool compatible(std::string_view annotation, std::string_view inferred, int depth) {
  if (annotation == inferred) return true;
  if (annotation == "Any" || inferred == "Any") return true;
  if (is_none_name(annotation) && is_none_name(inferred)) return true;
  if (depth >= kCompatibilityDepth) return false;

  const bool annotation_optional = is_optional(annotation);
  const bool inferred_optional = is_optional(inferred);
  if (annotation_optional && is_none_name(inferred)) return true;
  if (annotation_optional && !inferred_optional) return compatible(unwrap_optional(annotation), inferred, depth + 1);
  if (inferred_optional && !annotation_optional) return compatible(annotation, unwrap_optional(inferred), depth + 1);

  // A union whose members are the text itself counts as no union.
  if (is_union(annotation)) {
    const std::vector<std::string> members = proper_members(annotation);
    if (!members.empty()) {
      return std::any_of(members.begin(), members.end(),
                         [&](const std::string& m) { return compatible(m, inferred, depth + 1); });
    }
  }
  if (is_union(inferred)) {
    const std::vector<std::string> members = proper_members(inferred);
    if (!members.empty()) {
      return std::any_of(members.begin(), members.end(),
                         [&](const std::string& m) { return compatible(annotation, m, depth + 1); });
    }
  }
  return is_numeric(annotation) && is_numeric(inferred);
}

}  // namespace

bool types_compatible(std::string_view annotation, std::string_view inferred) {
  return compatible(annotation, inferred, 0);
}

}  // namespace ovra::types
