// Type analysis: annotation texts, their predicates, literal values and
// inferred types of expressions.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/py.hpp"

namespace ovra::types {

// Annotation rendering. Failed required reads propagate as py::ErrorAlreadySet.
std::string annotation_to_text(py::Handle node);
std::string slice_to_text(py::Handle slice);

// Predicates on an annotation text.
bool is_generic(std::string_view text);
bool is_union(std::string_view text);
bool is_optional(std::string_view text);
bool is_literal(std::string_view text);
bool is_protocol(std::string_view text);
bool is_callable(std::string_view text);
int nesting_depth(std::string_view text);
int parameter_count(std::string_view text);

std::vector<std::string> split_top_level(std::string_view text);
std::vector<std::string> union_members(std::string_view text);
std::string unwrap_optional(std::string_view text);

// The TypeAnalysis dict of a text.
py::Dict analyze_type_text(std::string_view text);

// Adds the keys that describe an annotation text, from `type_analysis` to
// `type_parameter_count` (`base_type` only for an optional).
void add_annotation_keys(py::Dict& entry, std::string_view text);

// Expression inference.
py::Ref literal_value(py::Handle node);
std::string infer_type(py::Handle node);
std::string python_type_name(std::string_view class_name);
bool types_compatible(std::string_view annotation, std::string_view inferred);

}  // namespace ovra::types
