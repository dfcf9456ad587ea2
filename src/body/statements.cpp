// Statement walker: control flow, exceptions, context managers, returns,
// declarations and assignment targets. Nested definitions are not entered.
#include <string>
#include <string_view>

#include "analysis/naming.hpp"
#include "body/state.hpp"
#include "host/kinds.hpp"

namespace ovra::body {

namespace {

void set_true(py::Dict& dict, std::string_view prefix, std::string_view name) {
  std::string key;
  key.reserve(prefix.size() + name.size());
  key += prefix;
  key += name;
  dict.set(key, Py_True);
}

// Walks a block one level deeper; a block that is not a list is skipped.
void enter_block(py::Handle block, BodyWalkState& state) {
  if (!block || !py::is_list(block)) return;
  if (++state.depth > state.max_nesting) state.max_nesting = state.depth;
  walk_statements(block, state);
  --state.depth;
}

bool is_nonempty_list(py::Handle o) { return o && py::is_list(o) && PyList_GET_SIZE(o.get()) > 0; }

// ---------------------------------------------------------------- try / raise

void walk_try(py::Handle orelse, py::Handle finalbody, py::Handle handlers, py::Dict& exceptions) {
  if (is_nonempty_list(orelse)) exceptions.set_bool<"has_try_else">(true);
  if (is_nonempty_list(finalbody)) exceptions.set_bool<"has_finally">(true);
  if (!py::is_list(handlers)) return;
  for (py::Handle handler : py::items(handlers)) {
    py::Ref type = py::opt_attr<"type">(handler);
    if (!type) continue;
    if (type.is_none()) {
      exceptions.set_bool<"catches_all">(true);
      continue;
    }
    std::string type_name = analysis::callee_name(type);
    set_true(exceptions, "catches_", type_name);
    py::Ref name = py::opt_attr<"name">(handler);
    if (name && py::is_str(name)) {
      std::string key = "binds_";
      key += py::utf8(name);
      exceptions.set(key, py::str(type_name));
    }
  }
}

void walk_try_statement(py::Handle node, BodyWalkState& state) {
  ++state.cyclomatic;
  py::Ref orelse = py::attr<"orelse">(node);
  py::Ref finalbody = py::opt_attr<"finalbody">(node);
  py::Ref handlers = py::attr<"handlers">(node);
  walk_try(orelse, finalbody, handlers, state.exceptions);
  enter_block(py::attr<"body">(node), state);
  if (!py::is_list(handlers)) return;
  state.cyclomatic += PyList_GET_SIZE(handlers.get());
  for (py::Handle handler : py::items(handlers)) enter_block(py::attr<"body">(handler), state);
}

void walk_raise(py::Handle node, BodyWalkState& state) {
  py::Ref exc = py::attr<"exc">(node);
  if (exc.is_none()) {
    state.exceptions.set_bool<"has_reraise">(true);
  } else {
    set_true(state.exceptions, "raises_", analysis::callee_name(exc));
  }
  py::Ref cause = py::attr<"cause">(node);
  if (!cause.is_none()) {
    state.exceptions.set_bool<"has_chained_exception">(true);
    set_true(state.exceptions, "chains_from_", analysis::callee_name(cause));
  }
}

// ---------------------------------------------------------------- control flow

void walk_if(py::Handle node, BodyWalkState& state) {
  state.control_flow.set_bool<"has_if">(true);
  ++state.cyclomatic;
  py::Ref body = py::attr<"body">(node);
  if (py::is_list(body)) {
    if (py::Ref test = py::opt_attr<"test">(node)) walk_expression(test, state);
    enter_block(body, state);
  }
  enter_block(py::attr<"orelse">(node), state);
}

void walk_for(py::Handle node, BodyWalkState& state) {
  state.control_flow.set_bool<"has_for">(true);
  ++state.cyclomatic;
  enter_block(py::attr<"body">(node), state);
  py::Ref orelse = py::attr<"orelse">(node);
  if (is_nonempty_list(orelse)) {
    state.has_for_else = true;
    enter_block(orelse, state);
  }
}

void walk_while(py::Handle node, BodyWalkState& state) {
  state.control_flow.set_bool<"has_while">(true);
  ++state.cyclomatic;
  py::Ref body = py::attr<"body">(node);
  if (py::is_list(body)) {
    if (py::Ref test = py::opt_attr<"test">(node)) walk_expression(test, state);
    enter_block(body, state);
  }
  py::Ref orelse = py::attr<"orelse">(node);
  if (is_nonempty_list(orelse)) {
    state.has_while_else = true;
    enter_block(orelse, state);
  }
}

void walk_with(py::Handle node, BodyWalkState& state) {
  py::Ref items = py::attr<"items">(node);
  if (py::is_list(items)) {
    py::Ref line;
    for (py::Handle item : py::items(items)) {
      py::Ref expr = py::attr<"context_expr">(item);
      std::string type = analysis::callee_name(expr);
      if (!line) line = py::attr<"lineno">(node);
      py::Dict entry = py::Dict::make();
      entry.set_str<"type">(type);
      entry.set<"line_number">(line);
      state.context_managers.append(entry);
    }
  }
  ++state.cyclomatic;
  enter_block(py::opt_attr<"body">(node), state);
}

void walk_match(py::Handle node, BodyWalkState& state) {
  ++state.match_count;
  state.has_match = true;
  ++state.cyclomatic;
  if (py::Ref subject = py::opt_attr<"subject">(node)) walk_expression(subject, state);
  py::Ref cases = py::opt_attr<"cases">(node);
  if (!cases || !py::is_list(cases)) return;
  state.cyclomatic += PyList_GET_SIZE(cases.get());
  for (py::Handle c : py::items(cases)) enter_block(py::opt_attr<"body">(c), state);
}

// ---------------------------------------------------------------- returns

void walk_return(py::Handle node, BodyWalkState& state) {
  ++state.num_returns;
  py::Ref value = py::attr<"value">(node);
  if (value.is_none()) {
    ++state.num_returns_without_value;
    return;
  }
  Kind kind = kind_of(value);
  if ((kind == Kind::Constant || kind == Kind::NameConstant) && py::attr<"value">(value).is_none()) {
    ++state.num_returns_without_value;
  } else {
    ++state.num_returns_with_value;
  }
  walk_expression(value, kind, state);
}

// ---------------------------------------------------------------- declarations and targets

void record_declared(py::Handle node, std::string_view prefix, PyObject* marker, BodyWalkState& state) {
  py::Ref names = py::opt_attr<"names">(node);
  if (!names || !py::is_list(names)) return;
  for (py::Handle name : py::items(names)) {
    if (!py::is_str(name)) continue;
    std::string key(prefix);
    key += py::utf8(name);
    state.local_variables.set(key, marker);
  }
}

bool is_self_name(py::Handle node) {
  if (kind_of(node) != Kind::Name) return false;
  py::Ref id = py::opt_attr<"id">(node);
  return id && py::is_str(id) && PyUnicode_CompareWithASCIIString(id.get(), "self") == 0;
}

void record_target(py::Handle target, BodyWalkState& state) {
  py::DepthGuard guard;
  switch (kind_of(target)) {
    case Kind::Name: {
      py::Ref id = py::opt_attr<"id">(target);
      if (id && py::is_str(id)) state.local_variables.set(id, py::interned<"assigned">());
      break;
    }
    case Kind::Attribute: {
      py::Ref value = py::opt_attr<"value">(target);
      if (!value || !is_self_name(value)) break;
      py::Ref attr = py::opt_attr<"attr">(target);
      py::Ref line = py::opt_attr<"lineno">(target);
      if (!attr || !line) break;
      py::Dict entry = py::Dict::make();
      entry.set<"attribute">(attr);
      entry.set<"line_number">(line);
      state.self_mutations.append(entry);
      break;
    }
    case Kind::Tuple:
    case Kind::List: {
      py::Ref elts = py::opt_attr<"elts">(target);
      if (!elts || !py::is_list(elts)) break;
      for (py::Handle element : py::items(elts)) record_target(element, state);
      break;
    }
    default:
      break;
  }
}

template <py::Name N>
void record_target_attr(py::Handle node, BodyWalkState& state) {
  if (py::Ref target = py::opt_attr<N>(node)) record_target(target, state);
}

void walk_assign(py::Handle node, BodyWalkState& state) {
  py::Ref targets = py::opt_attr<"targets">(node);
  if (targets && py::is_list(targets)) {
    for (py::Handle target : py::items(targets)) record_target(target, state);
  }
  if (py::Ref value = py::opt_attr<"value">(node)) walk_expression(value, state);
}

void walk_statement(py::Handle statement, BodyWalkState& state) {
  switch (kind_of(statement)) {
    case Kind::Try:
      walk_try_statement(statement, state);
      break;
    case Kind::Raise:
      walk_raise(statement, state);
      break;
    case Kind::If:
      walk_if(statement, state);
      break;
    case Kind::For:
      walk_for(statement, state);
      break;
    case Kind::While:
      walk_while(statement, state);
      break;
    case Kind::AsyncFor:
      state.has_async_for = true;
      ++state.cyclomatic;
      enter_block(py::opt_attr<"body">(statement), state);
      break;
    case Kind::With:
      walk_with(statement, state);
      break;
    case Kind::AsyncWith:
      state.has_async_with = true;
      ++state.cyclomatic;
      enter_block(py::opt_attr<"body">(statement), state);
      break;
    case Kind::Return:
      walk_return(statement, state);
      break;
    case Kind::Expr: {
      py::Ref value = py::attr<"value">(statement);
      Kind kind = kind_of(value);
      if (kind == Kind::Yield || kind == Kind::YieldFrom) state.has_yield = true;
      walk_expression(value, kind, state);
      break;
    }
    case Kind::Match:
      walk_match(statement, state);
      break;
    case Kind::Break:
      state.has_break = true;
      break;
    case Kind::Continue:
      state.has_continue = true;
      break;
    case Kind::Global:
      state.has_global = true;
      record_declared(statement, "global_", py::interned<"global">(), state);
      break;
    case Kind::Nonlocal:
      state.has_nonlocal = true;
      record_declared(statement, "nonlocal_", py::interned<"nonlocal">(), state);
      break;
    case Kind::Assign:
      walk_assign(statement, state);
      break;
    case Kind::AnnAssign: {
      record_target_attr<"target">(statement, state);
      py::Ref value = py::opt_attr<"value">(statement);
      if (value && !value.is_none()) walk_expression(value, state);
      break;
    }
    case Kind::AugAssign: {
      record_target_attr<"target">(statement, state);
      if (py::Ref value = py::opt_attr<"value">(statement)) walk_expression(value, state);
      break;
    }
    case Kind::Assert: {
      ++state.assert_count;
      if (py::Ref test = py::opt_attr<"test">(statement)) walk_expression(test, state);
      break;
    }
    default:
      // Nested definitions and every other kind: nothing inside is visited.
      break;
  }
}

}  // namespace

void walk_statements(py::Handle statements, BodyWalkState& state) {
  py::DepthGuard guard;
  for (py::Handle statement : py::items(statements)) {
    ++state.sloc;
    walk_statement(statement, state);
  }
}

}  // namespace ovra::body
