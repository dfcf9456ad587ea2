// Annotation texts: rendering an annotation node to text, and the string
// predicates and splits asked of such texts.
#include <algorithm>
#include <array>
#include <optional>
#include <span>

#include "analysis/text_match.hpp"
#include "host/kinds.hpp"
#include "types/types.hpp"

namespace ovra::types {

namespace {

using match::contains;
using match::contains_any;

constexpr bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// The UTF-8 forms of the whitespace characters beyond ASCII (U+0085, U+00A0,
// U+1680, U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000).
constexpr std::array<std::string_view, 19> kWideSpaces{
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81",
    "\xE2\x80\x82", "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86",
    "\xE2\x80\x87", "\xE2\x80\x88", "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8",
    "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F", "\xE3\x80\x80",
};

// Byte length of the whitespace character that `s` starts (or ends) with; 0 for none.
constexpr std::size_t leading_space(std::string_view s) {
  if (s.empty()) return 0;
  if (is_space(s.front())) return 1;
  if (static_cast<unsigned char>(s.front()) < 0x80) return 0;
  for (std::string_view w : kWideSpaces) {
    if (s.starts_with(w)) return w.size();
  }
  return 0;
}
constexpr std::size_t trailing_space(std::string_view s) {
  if (s.empty()) return 0;
  if (is_space(s.back())) return 1;
  if (static_cast<unsigned char>(s.back()) < 0x80) return 0;
  for (std::string_view w : kWideSpaces) {
    if (s.ends_with(w)) return w.size();
  }
  return 0;
}

// Strips surrounding whitespace, ASCII or not.
constexpr std::string_view trim(std::string_view s) {
  for (std::size_t n; (n = leading_space(s)) > 0;) s.remove_prefix(n);
  for (std::size_t n; (n = trailing_space(s)) > 0;) s.remove_suffix(n);
  return s;
}

constexpr bool opens(char c) { return c == '(' || c == '['; }
constexpr bool closes(char c) { return c == ')' || c == ']'; }

// The ways an optional member is written next to a `|`, in the order
// unwrap_optional tries them.
constexpr std::array<std::string_view, 4> kNoneUnionPatterns{" | None", "None | ", "|None", "None|"};

constexpr std::string_view kUnion = "Union[";

// Every piece of `text` between occurrences of `sep`, trimmed; empty pieces stay.
std::vector<std::string> split_trimmed(std::string_view text, std::string_view sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = text.find(sep, start);
    const std::string_view piece = trim(text.substr(start, at == std::string_view::npos ? at : at - start));
    out.emplace_back(piece);
    if (at == std::string_view::npos) return out;
    start = at + sep.size();
  }
}

// ---------------------------------------------------------------- rendering

void render(py::Handle node, std::string& out);

void render_slice(py::Handle slice, std::string& out);

// Renders each element of `elts`, joined by ", ".
void render_joined(py::Handle elts, std::string& out) {
  bool first = true;
  for (py::Handle elt : py::items(elts)) {
    if (!first) out += ", ";
    first = false;
    render(elt, out);
  }
}

// A constant renders as its text when it is a str and as `other` otherwise.
void render_constant(py::Handle constant, std::string_view other, std::string& out) {
  py::Ref value = py::attr<"value">(constant);
  if (py::is_str(value)) {
    out += py::source_text(value);
  } else {
    out += value.is_none() ? other : std::string_view("unknown");
  }
}

// A direct operand of a `|` union, where a None constant stands for None.
void render_union_operand(py::Handle operand, std::string& out) {
  if (kind_of(operand) == Kind::Constant) {
    render_constant(operand, "None", out);
  } else {
    render(operand, out);
  }
}

void render(py::Handle node, std::string& out) {
  py::DepthGuard guard;
  switch (kind_of(node)) {
    case Kind::Name:
      out += py::utf8(py::attr<"id">(node));
      return;
    case Kind::Attribute: {
      py::Ref attr = py::attr<"attr">(node);
      const std::string_view name = py::utf8(attr);
      render(py::attr<"value">(node), out);
      out += '.';
      out += name;
      return;
    }
    case Kind::Subscript:
      render(py::attr<"value">(node), out);
      out += '[';
      render_slice(py::attr<"slice">(node), out);
      out += ']';
      return;
    case Kind::Constant:
      render_constant(node, "unknown", out);
      return;
    case Kind::Str:
      out += py::source_text(py::attr<"s">(node));
      return;
    case Kind::BinOp: {
      py::Ref op = py::opt_attr<"op">(node);
      if (!op || kind_of(op) != Kind::BitOr) {
        out += "unknown";
        return;
      }
      py::Ref left = py::opt_attr<"left">(node);
      py::Ref right = left ? py::opt_attr<"right">(node) : py::Ref();
      if (!right) {
        out += "unknown";
        return;
      }
      render_union_operand(left, out);
      out += " | ";
      render_union_operand(right, out);
      return;
    }
    case Kind::Tuple: {
      py::Ref elts = py::attr<"elts">(node);
      if (!py::is_list(elts)) {
        out += "tuple";
        return;
      }
      out += "tuple[";
      render_joined(elts, out);
      out += ']';
      return;
    }
    case Kind::List: {
      py::Ref elts = py::attr<"elts">(node);
      if (!py::is_list(elts) || PyList_GET_SIZE(elts.get()) != 1) {
        out += "list";
        return;
      }
      out += "list[";
      render(py::Ref::borrow(PyList_GET_ITEM(elts.get(), 0)), out);
      out += ']';
      return;
    }
    default:
      out += "unknown";
      return;
  }
}

void render_slice(py::Handle slice, std::string& out) {
  py::DepthGuard guard;
  switch (kind_of(slice)) {
    case Kind::Name:
    case Kind::Attribute:
    case Kind::Subscript:
      render(slice, out);
      return;
    case Kind::Tuple: {
      py::Ref elts = py::attr<"elts">(slice);
      if (py::is_list(elts)) {
        render_joined(elts, out);
      } else {
        out += "unknown";
      }
      return;
    }
    case Kind::Index:
      render_slice(py::attr<"value">(slice), out);
      return;
    default:
      out += "unknown";
      return;
  }
}

}  // namespace

std::string annotation_to_text(py::Handle node) {
  std::string out;
  render(node, out);
  return out;
}

std::string slice_to_text(py::Handle slice) {
  std::string out;
  render_slice(slice, out);
  return out;
}

// ---------------------------------------------------------------- predicates

bool is_generic(std::string_view text) {
  return contains(text, "[") && contains(text, "]") && !text.starts_with("Literal[");
}

bool is_union(std::string_view text) {
  return contains(text, kUnion) || contains(text, " | ") || (contains(text, "|") && !contains(text, "Literal["));
}

bool is_optional(std::string_view text) {
  return text.starts_with("Optional[") || (contains(text, kUnion) && contains(text, "None")) ||
         contains_any(text, kNoneUnionPatterns);
}

bool is_literal(std::string_view text) {
  return text.starts_with("Literal[") || contains(text, "typing_extensions.Literal[");
}

bool is_protocol(std::string_view text) { return contains(text, "Protocol"); }

bool is_callable(std::string_view text) {
  return text.starts_with("Callable[") || contains(text, "typing.Callable[") || text == "Callable" ||
         contains(text, "collections.abc.Callable");
}

int nesting_depth(std::string_view text) {
  int depth = 0, deepest = 0;
  for (char c : text) {
    if (opens(c)) {
      deepest = std::max(deepest, ++depth);
    } else if (closes(c) && depth > 0) {
      --depth;
    }
  }
  return deepest;
}

int parameter_count(std::string_view text) {
  if (!is_generic(text)) return 0;
  int depth = 0, count = 1;
  for (char c : text) {
    if (opens(c)) {
      ++depth;
    } else if (closes(c)) {
      --depth;
    } else if (c == ',' && depth == 1) {
      ++count;
    }
  }
  return count;
}

// ---------------------------------------------------------------- splitting

std::vector<std::string> split_top_level(std::string_view text) {
  std::vector<std::string> out;
  int depth = 0;
  std::size_t start = 0;
  auto end_piece = [&](std::size_t end) {
    const std::string_view piece = trim(text.substr(start, end - start));
    if (!piece.empty()) out.emplace_back(piece);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (opens(c)) {
      ++depth;
    } else if (closes(c)) {
      --depth;
    } else if (c == ',' && depth == 0) {
      end_piece(i);
      start = i + 1;
    }
  }
  end_piece(text.size());
  return out;
}

namespace {

// The text between the first "Union[" and the last "]", when that "]"
// follows the "Union[".
std::optional<std::string_view> union_body(std::string_view text) {
  const std::size_t open = text.find(kUnion);
  const std::size_t close = text.rfind(']');
  if (open == std::string_view::npos || close == std::string_view::npos) return std::nullopt;
  const std::size_t start = open + kUnion.size();
  if (close < start) return std::nullopt;
  return text.substr(start, close - start);
}

}  // namespace

std::vector<std::string> union_members(std::string_view text) {
  if (contains(text, kUnion)) {
    std::vector<std::string> members;
    if (const auto body = union_body(text)) members = split_top_level(*body);
    if (members.empty()) members.emplace_back(text);  // never empty
    return members;
  }
  if (contains(text, " | ")) return split_trimmed(text, " | ");
  if (contains(text, "|")) return split_trimmed(text, "|");
  return {std::string(text)};
}

std::string unwrap_optional(std::string_view text) {
  constexpr std::string_view kOptional = "Optional[";
  if (text.starts_with(kOptional) && text.ends_with("]")) {
    return std::string(text.substr(kOptional.size(), text.size() - kOptional.size() - 1));
  }
  if (!contains(text, kUnion)) {
    for (std::string_view pattern : kNoneUnionPatterns) {
      const std::size_t first = text.find(pattern);
      if (first == std::string_view::npos) continue;
      std::string out(text.substr(0, first));
      std::size_t from = first + pattern.size();
      for (std::size_t at; (at = text.find(pattern, from)) != std::string_view::npos; from = at + pattern.size()) {
        out += text.substr(from, at - from);
      }
      out += text.substr(from);
      return out;
    }
    return std::string(text);
  }
  const auto body = union_body(text);
  if (!body) return "unknown";
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = body->find(',', start);
    const std::string_view piece =
        trim(body->substr(start, comma == std::string_view::npos ? comma : comma - start));
    if (piece != "None") return std::string(piece);
    if (comma == std::string_view::npos) return "unknown";
    start = comma + 1;
  }
}

// ---------------------------------------------------------------- TypeAnalysis

namespace {

py::List str_list(const std::vector<std::string>& texts) {
  py::List list = py::List::make();
  for (const std::string& t : texts) list.append_str(t);
  return list;
}

}  // namespace

py::Dict analyze_type_text(std::string_view text) {
  const bool generic = is_generic(text);
  const bool is_union_text = is_union(text);
  py::Dict d = py::Dict::make();
  d.set_bool<"is_generic">(generic);
  d.set_bool<"is_union">(is_union_text);
  d.set_bool<"is_optional">(is_optional(text));
  d.set_bool<"is_literal">(is_literal(text));
  d.set_bool<"is_protocol">(is_protocol(text));
  d.set_bool<"is_callable">(is_callable(text));
  d.set_int<"nesting_depth">(nesting_depth(text));
  d.set_int<"parameter_count">(parameter_count(text));
  if (is_union_text) d.set<"union_types">(str_list(union_members(text)));
  if (generic) {
    const std::size_t open = text.find('[');
    const std::size_t close = text.rfind(']');
    if (close > open) {
      d.set_str<"base_type">(text.substr(0, open));
      d.set<"type_parameters">(str_list(split_top_level(text.substr(open + 1, close - open - 1))));
    } else {
      // A last "]" before the first "[" (only string annotations produce it).
      d.set_str<"base_type">(text);
      d.set<"type_parameters">(py::List::make());
    }
  }
  return d;
}

void add_annotation_keys(py::Dict& entry, std::string_view text) {
  entry.set<"type_analysis">(analyze_type_text(text));
  const bool optional = is_optional(text);
  entry.set_bool<"is_optional">(optional);
  if (optional) entry.set_str<"base_type">(unwrap_optional(text));
  entry.set_bool<"is_generic">(is_generic(text));
  entry.set_bool<"is_union">(is_union(text));
  entry.set_bool<"is_literal">(is_literal(text));
  entry.set_bool<"is_protocol">(is_protocol(text));
  entry.set_bool<"is_callable">(is_callable(text));
  entry.set_int<"type_nesting_depth">(nesting_depth(text));
  entry.set_int<"type_parameter_count">(parameter_count(text));
}

}  // namespace ovra::types
