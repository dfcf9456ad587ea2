// Accumulators shared by the statement and expression walkers for one body.
#pragma once

#include <string_view>

#include "host/kinds.hpp"
#include "host/py.hpp"

namespace ovra::body {

struct BodyWalkState {
  explicit BodyWalkState(std::string_view name) : function_name(name) {}

  py::Dict exceptions = py::Dict::make();
  py::Dict control_flow = py::Dict::make();
  py::List comprehensions = py::List::make();
  py::List context_managers = py::List::make();
  py::List function_calls = py::List::make();
  py::List self_mutations = py::List::make();
  py::Dict local_variables = py::Dict::make();
  py::List large_literals = py::List::make();
  py::List io_operations = py::List::make();
  py::List logging_calls = py::List::make();

  long long num_returns = 0;
  long long num_returns_with_value = 0;
  long long num_returns_without_value = 0;
  long long await_count = 0;
  long long cyclomatic = 1;
  long long depth = 0;
  long long max_nesting = 0;
  long long match_count = 0;
  long long walrus_count = 0;
  long long isinstance_count = 0;
  long long typing_cast_count = 0;
  long long assert_count = 0;
  long long sloc = 0;

  bool has_yield = false;
  bool has_async_for = false;
  bool has_async_with = false;
  bool has_match = false;
  bool has_for_else = false;
  bool has_while_else = false;
  bool has_break = false;
  bool has_continue = false;
  bool has_global = false;
  bool has_nonlocal = false;
  bool has_fstring = false;
  bool has_eval = false;
  bool has_exec = false;
  bool has_subprocess = false;
  bool has_recursion = false;

  // The name of the analysed function; a call to it is recursive.
  std::string_view function_name;
};

// Walks a list of statements, entering nested blocks but never nested
// definitions. Host errors propagate.
void walk_statements(py::Handle statements, BodyWalkState& state);

// Walks one expression handed over by the statement walker. Errors on the
// expression itself propagate; errors inside its children are dropped.
void walk_expression(py::Handle node, Kind kind, BodyWalkState& state);
inline void walk_expression(py::Handle node, BodyWalkState& state) { walk_expression(node, kind_of(node), state); }

}  // namespace ovra::body
