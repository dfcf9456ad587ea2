#include "analysis/naming.hpp"

#include "host/kinds.hpp"

namespace ovra::analysis {

namespace {
std::string bracketed(py::Handle node) {
  std::string s = "<";
  s += py::type_name(node);
  s += '>';
  return s;
}
}  // namespace

std::string dotted_name(py::Handle node) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Name:
      return std::string(py::utf8(py::attr<"id">(node)));
    case Kind::Attribute: {
      py::Ref attr = py::attr<"attr">(node);
      std::string_view a = py::utf8(attr);
      std::string s = dotted_name(py::attr<"value">(node));
      s += '.';
      s += a;
      return s;
    }
    default:
      return "unknown";
  }
}

std::string base_name(py::Handle node) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Name:
      return std::string(py::utf8(py::attr<"id">(node)));
    case Kind::Attribute: {
      py::Ref value = py::attr<"value">(node);
      py::Ref attr = py::attr<"attr">(node);
      std::string_view a = py::utf8(attr);
      std::string s = base_name(value);
      s += '.';
      s += a;
      return s;
    }
    default:
      return bracketed(node);
  }
}

std::string decorator_name(py::Handle node) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Name:
      return std::string(py::utf8(py::attr<"id">(node)));
    case Kind::Attribute:
      return std::string(py::utf8(py::attr<"attr">(node)));
    case Kind::Call:
      return decorator_name(py::attr<"func">(node));
    default:
      return bracketed(node);
  }
}

std::string callee_name(py::Handle node) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Name:
      return std::string(py::utf8(py::attr<"id">(node)));
    case Kind::Attribute:
      return std::string(py::utf8(py::attr<"attr">(node)));
    case Kind::Call:
      return callee_name(py::attr<"func">(node));
    default:
      return "Unknown";
  }
}

py::List decorator_names(py::Handle node) {
  py::List out = py::List::make();
  py::Ref decorators = py::attr<"decorator_list">(node);
  if (!py::is_list(decorators)) return out;
  for (py::Handle d : py::items(decorators)) out.append_str(decorator_name(d));
  return out;
}

py::List base_names(py::Handle bases) {
  py::List out = py::List::make();
  if (!py::is_list(bases)) return out;
  for (py::Handle b : py::items(bases)) out.append_str(base_name(b));
  return out;
}

py::Ref docstring_of(py::Handle node) {
  py::Ref body = py::attr<"body">(node);
  if (!py::is_list(body) || PyList_GET_SIZE(body.get()) == 0) return py::none();
  py::Handle first = PyList_GET_ITEM(body.get(), 0);
  if (kind_of(first) != Kind::Expr) return py::none();
  py::Ref value = py::attr<"value">(first);
  switch (kind_of(value)) {
    case Kind::Constant:
      return py::attr<"value">(value);
    case Kind::Str:
      return py::attr<"s">(value);
    default:
      return py::none();
  }
}

}  // namespace ovra::analysis
