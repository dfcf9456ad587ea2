// Node kinds: the `__class__.__name__` of an ast node, mapped once per node
// to an enum so dispatch is a switch.
#pragma once

#include <string_view>

#include "host/py.hpp"

namespace ovra {

#define OVRA_NODE_KINDS(X)                                                       \
  X(FunctionDef) X(AsyncFunctionDef) X(ClassDef) X(Return) X(Assign) X(AugAssign) \
  X(AnnAssign) X(For) X(AsyncFor) X(While) X(If) X(With) X(AsyncWith) X(Match)   \
  X(Raise) X(Try) X(TryStar) X(Assert) X(Import) X(ImportFrom) X(Global)          \
  X(Nonlocal) X(Expr) X(Break) X(Continue) X(Pass) X(Delete)                      \
  X(BoolOp) X(NamedExpr) X(BinOp) X(UnaryOp) X(Lambda) X(IfExp) X(Set)            \
  X(ListComp) X(SetComp) X(DictComp) X(GeneratorExp) X(Await) X(Yield)            \
  X(YieldFrom) X(Compare) X(Call) X(FormattedValue) X(JoinedStr) X(Constant)      \
  X(Attribute) X(Subscript) X(Starred) X(Name) X(List) X(Tuple) X(Dict) X(Slice)  \
  X(Add) X(Sub) X(Mult) X(MatMult) X(Div) X(FloorDiv) X(Mod) X(Pow) X(BitOr)      \
  X(BitAnd) X(BitXor) X(LShift) X(RShift)                                         \
  X(Module) X(ExceptHandler) X(arguments) X(arg) X(keyword) X(alias)              \
  X(withitem) X(match_case) X(comprehension)                                      \
  X(Num) X(Str) X(Bytes) X(NameConstant) X(Ellipsis) X(Index)

enum class Kind {
  Other,
#define OVRA_ENUM(k) k,
  OVRA_NODE_KINDS(OVRA_ENUM)
#undef OVRA_ENUM
};

// The kind named by a class name; Kind::Other for names outside the table.
Kind kind_from_name(std::string_view name);

// The kind of a node, from its class name.
inline Kind kind_of(py::Handle node) { return kind_from_name(py::type_name(node)); }

}  // namespace ovra
