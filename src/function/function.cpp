#include "function/function.hpp"

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "analysis/naming.hpp"
#include "analysis/text_match.hpp"
#include "body/body.hpp"
#include "function/parameters.hpp"
#include "function/summaries.hpp"
#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::function {

namespace {

// Decorator names that come with Python itself (equals).
constexpr std::array<std::string_view, 9> kBuiltinDecorators{
    "property", "staticmethod", "classmethod", "cached_property", "abstractmethod",
    "dataclass", "lru_cache",   "wraps",       "singledispatch",
};

// One DecoratorRecord per element of `decorator_list`, in source order.
py::List decorator_records(py::Handle node) {
  py::List records = py::List::make();
  py::Ref decorators = py::attr<"decorator_list">(node);
  if (!py::is_list(decorators)) return records;
  for (py::Handle decorator : py::items(decorators)) {
    py::Dict record = py::Dict::make();
    std::string name = analysis::decorator_name(decorator);
    record.set_str<"name">(name);
    record.set_bool<"is_builtin">(match::equals_any(name, kBuiltinDecorators));
    const bool call = kind_of(decorator) == Kind::Call;
    record.set_bool<"has_args">(call);
    if (call) {
      // Argument counts are optional facts: an unreadable list leaves the key out.
      if (py::Ref args = py::opt_attr<"args">(decorator); args && py::is_list(args)) {
        record.set_int<"num_args">(PyList_GET_SIZE(args.get()));
      }
      if (py::Ref keywords = py::opt_attr<"keywords">(decorator); keywords && py::is_list(keywords)) {
        record.set_int<"num_kwargs">(PyList_GET_SIZE(keywords.get()));
      }
    }
    records.append(record);
  }
  return records;
}

// Copies the body facts into the record, deriving `is_async_generator`.
void add_body_facts(py::Dict& record, const py::Dict& body, bool is_async) {
  record.copy_present<"exceptions", "control_flow", "comprehensions", "context_managers">(body);
  bool has_yield = false;
  if (py::Handle value = body.find<"has_yield">()) {
    has_yield = py::is_true_bool(value);
    record.set_bool<"has_yield">(has_yield);
  }
  record.set_bool<"is_async_generator">(is_async && has_yield);
  record.copy_present<"returns", "async_info", "complexity", "pattern_matching", "loop_traits",
                      "function_calls", "walrus_count", "state_effects", "local_variables", "literals",
                      "safety_smells", "type_checks", "logging_calls", "has_recursion", "sloc">(body);
}

}  // namespace

void add_return_type_keys(py::Dict& record, py::Handle returns) {
  if (returns.is_none()) return;
  const std::string text = types::annotation_to_text(returns);
  record.set_str<"return_type">(text);
  record.set<"return_type_analysis">(types::analyze_type_text(text));
  const bool optional = types::is_optional(text);
  record.set_bool<"return_is_optional">(optional);
  if (optional) record.set_str<"return_base_type">(types::unwrap_optional(text));
  record.set_bool<"return_is_generic">(types::is_generic(text));
  record.set_bool<"return_is_union">(types::is_union(text));
  record.set_bool<"return_is_literal">(types::is_literal(text));
  record.set_bool<"return_is_protocol">(types::is_protocol(text));
  record.set_bool<"return_is_callable">(types::is_callable(text));
}

void analyze_function(py::Handle node, py::Dict& functions) {
  py::Dict record = py::Dict::make();

  py::Ref name = py::require_str(py::attr<"name">(node), "function name");
  const std::string_view function_name = py::utf8(name);
  record.set<"name">(name);
  record.set<"line_number">(py::attr<"lineno">(node));
  record.set<"docstring">(analysis::docstring_of(node));
  const bool is_async = kind_of(node) == Kind::AsyncFunctionDef;
  record.set_bool<"is_async">(is_async);

  py::List decorators = decorator_records(node);
  record.set<"decorators">(decorators);
  record.set<"parameters">(analyze_parameters(node));
  add_return_type_keys(record, py::attr<"returns">(node));

  py::Dict body = body::analyze_body(node, function_name);
  add_body_facts(record, body, is_async);

  record.set<"docstring_parity">(docstring_parity(record, body));
  record.set<"type_summary">(type_usage_summary(record));

  // The framework sections (Flask, FastAPI, Sanic, Django, database, job,
  // e-mail, Tornado, Pyramid, machine learning) add their keys here, from
  // `decorators`, `function_name`, `node` and `body`.

  functions.set(name, record);
}

}  // namespace ovra::function
