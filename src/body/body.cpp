#include "body/body.hpp"

#include "body/state.hpp"

namespace ovra::body {

namespace {

py::Dict result_of(BodyWalkState& s) {
  py::Dict out = py::Dict::make();
  out.set<"exceptions">(s.exceptions);
  out.set<"control_flow">(s.control_flow);
  out.set<"comprehensions">(s.comprehensions);
  out.set<"context_managers">(s.context_managers);
  out.set_bool<"has_yield">(s.has_yield);

  py::Dict returns = py::Dict::make();
  returns.set_int<"num_returns">(s.num_returns);
  returns.set_int<"num_returns_with_value">(s.num_returns_with_value);
  returns.set_int<"num_returns_without_value">(s.num_returns_without_value);
  returns.set_bool<"has_explicit_return">(s.num_returns >= 1);
  returns.set_bool<"may_return_none_implicitly">(s.num_returns == 0);
  out.set<"returns">(returns);

  py::Dict async_info = py::Dict::make();
  async_info.set_int<"await_count">(s.await_count);
  async_info.set_bool<"has_async_for">(s.has_async_for);
  async_info.set_bool<"has_async_with">(s.has_async_with);
  out.set<"async_info">(async_info);

  py::Dict complexity = py::Dict::make();
  complexity.set_int<"cyclomatic">(s.cyclomatic);
  complexity.set_int<"max_nesting">(s.max_nesting);
  out.set<"complexity">(complexity);

  py::Dict pattern_matching = py::Dict::make();
  pattern_matching.set_bool<"has_match">(s.has_match);
  pattern_matching.set_int<"match_count">(s.match_count);
  out.set<"pattern_matching">(pattern_matching);

  py::Dict loop_traits = py::Dict::make();
  loop_traits.set_bool<"has_for_else">(s.has_for_else);
  loop_traits.set_bool<"has_while_else">(s.has_while_else);
  loop_traits.set_bool<"has_break">(s.has_break);
  loop_traits.set_bool<"has_continue">(s.has_continue);
  out.set<"loop_traits">(loop_traits);

  out.set<"function_calls">(s.function_calls);
  out.set_int<"walrus_count">(s.walrus_count);

  py::Dict state_effects = py::Dict::make();
  state_effects.set_bool<"has_global">(s.has_global);
  state_effects.set_bool<"has_nonlocal">(s.has_nonlocal);
  state_effects.set<"self_mutations">(s.self_mutations);
  out.set<"state_effects">(state_effects);

  out.set<"local_variables">(s.local_variables);

  py::Dict literals = py::Dict::make();
  literals.set_bool<"has_fstring">(s.has_fstring);
  literals.set<"large_literals">(s.large_literals);
  out.set<"literals">(literals);

  py::Dict safety = py::Dict::make();
  safety.set_bool<"has_eval">(s.has_eval);
  safety.set_bool<"has_exec">(s.has_exec);
  safety.set_bool<"has_subprocess">(s.has_subprocess);
  safety.set<"io_operations">(s.io_operations);
  out.set<"safety_smells">(safety);

  py::Dict type_checks = py::Dict::make();
  type_checks.set_int<"isinstance_count">(s.isinstance_count);
  type_checks.set_int<"assert_count">(s.assert_count);
  type_checks.set_int<"typing_cast_count">(s.typing_cast_count);
  out.set<"type_checks">(type_checks);

  out.set<"logging_calls">(s.logging_calls);
  out.set_bool<"has_recursion">(s.has_recursion);
  out.set_int<"sloc">(s.sloc);
  return out;
}

}  // namespace

py::Dict analyze_body(py::Handle node, std::string_view function_name) {
  BodyWalkState state(function_name);
  py::Ref body = py::attr<"body">(node);
  if (py::is_list(body)) walk_statements(body, state);
  return result_of(state);
}

}  // namespace ovra::body
