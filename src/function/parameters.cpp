#include "function/parameters.hpp"

#include <array>
#include <span>
#include <string>
#include <vector>

#include "analysis/text_match.hpp"
#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::function {

namespace {

// A call of one of these bare names builds a fresh mutable value (equals).
constexpr std::array<std::string_view, 3> kMutableFactories{"list", "dict", "set"};

// How a parameter kind is keyed and described.
struct ParamKind {
  PyObject* (*key_prefix)();  // null: the bare name is the key
  PyObject* (*kind)();
  bool positioned;    // stores `position`
  bool type_details;  // annotation gets the full type keys, not only `type`
};

constexpr ParamKind kPositionalOnly{&py::interned<"pos_">, &py::interned<"positional_only">, true, true};
constexpr ParamKind kRegular{nullptr, &py::interned<"regular">, true, true};
constexpr ParamKind kKeywordOnly{&py::interned<"kw_">, &py::interned<"keyword_only">, true, false};
constexpr ParamKind kVararg{&py::interned<"*">, &py::interned<"vararg">, false, false};
constexpr ParamKind kKwarg{&py::interned<"**">, &py::interned<"kwarg">, false, false};

// Builds the entry of one parameter node, stores it in `params` and returns
// its key.
py::Ref add_parameter(py::Dict& params, py::Handle param, const ParamKind& pk, Py_ssize_t position) {
  py::Ref name = py::require_str(py::attr<"arg">(param), "parameter name");

  py::Dict entry = py::Dict::make();
  entry.set<"name">(name);
  if (pk.positioned) entry.set_int<"position">(position);
  entry.set<"kind">(pk.kind());
  entry.set_bool<"has_default">(false);

  py::Ref annotation = py::attr<"annotation">(param);
  if (!annotation.is_none()) {
    std::string text = types::annotation_to_text(annotation);
    entry.set_str<"type">(text);
    if (pk.type_details) types::add_annotation_keys(entry, text);
  }

  py::Ref key = pk.key_prefix ? py::Ref::checked(PyUnicode_Concat(pk.key_prefix(), name.get())) : name;
  params.set(key, entry);
  return key;
}

// Adds every element of a parameter list; returns the keys in list order.
std::vector<py::Ref> add_parameters(py::Dict& params, const py::List& list, const ParamKind& pk,
                                    Py_ssize_t first_position) {
  std::vector<py::Ref> keys;
  keys.reserve(static_cast<std::size_t>(list.size()));
  for (Py_ssize_t i = 0; i < list.size(); ++i) {
    // Held: reading the node may run code that changes the list.
    const py::Ref param = py::Ref::borrow(list[i]);
    keys.push_back(add_parameter(params, param, pk, first_position + i));
  }
  return keys;
}

// Adds the default keys to the entry stored under `key`, if there is one.
void attach_default(py::Dict& params, py::Handle key, py::Handle expr) {
  py::Handle found = params.find(key);
  if (!found) {
    if (PyErr_Occurred()) py::raise();
    return;
  }
  if (!py::is_dict(found)) py::raise(PyExc_TypeError, "parameter entry is not a dict");
  py::Dict entry = py::Dict::borrow_dict(found);

  entry.set<"default">(types::literal_value(expr));
  std::string default_type = types::infer_type(expr);
  entry.set_str<"default_type">(default_type);
  entry.set_bool<"has_default">(true);
  entry.set_bool<"default_is_mutable">(is_mutable_default(expr));

  py::Handle type = entry.find<"type">();
  if (!type || !py::is_str(type)) return;
  std::string annotation = py::source_text(type);
  const bool compatible = types::types_compatible(annotation, default_type);
  entry.set_bool<"default_type_compatible">(compatible);
  if (!compatible) {
    std::string warning = "Parameter type '";
    warning += annotation;
    warning += "' may not match default type '";
    warning += default_type;
    warning += '\'';
    entry.set_str<"type_mismatch_warning">(warning);
  }
}

py::List as_list(const py::Ref& value) { return py::List::borrow_list(value); }

}  // namespace


py::Dict analyze_parameters(py::Handle node) {
  py::Dict params = py::Dict::make();
  py::Ref arguments = py::attr<"args">(node);

  // Positional-only parameters (optional: older trees have none).
  Py_ssize_t positional_only = 0;
  if (py::Ref posonly = py::opt_attr<"posonlyargs">(arguments); posonly && py::is_list(posonly)) {
    py::List list = as_list(posonly);
    add_parameters(params, list, kPositionalOnly, 0);
    positional_only = list.size();
  }

  // Ordinary parameters, then their defaults aligned from the right.
  py::Ref args = py::attr<"args">(arguments);
  if (py::is_list(args)) {
    py::List list = as_list(args);
    std::vector<py::Ref> keys = add_parameters(params, list, kRegular, positional_only);
    if (py::Ref defaults = py::opt_attr<"defaults">(arguments); defaults && py::is_list(defaults)) {
      py::List values = as_list(defaults);
      const Py_ssize_t offset = list.size() - values.size();
      for (Py_ssize_t j = 0; j < values.size(); ++j) {
        const Py_ssize_t index = offset + j;
        if (index < 0 || index >= static_cast<Py_ssize_t>(keys.size())) continue;
        attach_default(params, keys[static_cast<std::size_t>(index)], py::Ref::borrow(values[j]));
      }
    }
  }

  // Keyword-only parameters and their defaults (None marks "no default").
  py::Ref kwonly = py::attr<"kwonlyargs">(arguments);
  if (py::is_list(kwonly)) {
    std::vector<py::Ref> keys = add_parameters(params, as_list(kwonly), kKeywordOnly, 0);
    if (py::Ref kw_defaults = py::opt_attr<"kw_defaults">(arguments); kw_defaults && py::is_list(kw_defaults)) {
      py::List values = as_list(kw_defaults);
      for (Py_ssize_t j = 0; j < values.size(); ++j) {
        if (values[j].is_none() || j >= static_cast<Py_ssize_t>(keys.size())) continue;
        attach_default(params, keys[static_cast<std::size_t>(j)], py::Ref::borrow(values[j]));
      }
    }
  }

  if (py::Ref vararg = py::attr<"vararg">(arguments); !vararg.is_none()) {
    add_parameter(params, vararg, kVararg, 0);
  }
  if (py::Ref kwarg = py::attr<"kwarg">(arguments); !kwarg.is_none()) {
    add_parameter(params, kwarg, kKwarg, 0);
  }
  return params;
}

bool is_mutable_default(py::Handle node) {
  switch (kind_of(node)) {
    case Kind::List:
    case Kind::Dict:
    case Kind::Set:
      return true;
    case Kind::Call: {
      py::Ref func = py::attr<"func">(node);
      if (kind_of(func) != Kind::Name) return false;
      py::Ref id = py::attr<"id">(func);
      return match::equals_any(py::utf8(id), kMutableFactories);
    }
    default:
      return false;
  }
}

}  // namespace ovra::function
