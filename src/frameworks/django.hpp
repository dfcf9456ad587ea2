// Django (and Django REST framework) view detection.
//
// Decorator entries are the DecoratorRecord dicts of a function record (only
// their str `name` is read); pass an empty handle, or anything that is not a
// list, for none. The class node is empty for a function.
#pragma once

#include <string>

#include "host/py.hpp"

namespace ovra::frameworks {

// Whether the decorators, or for a class its bases, mark a Django view.
bool is_django_view(py::Handle decorators, py::Handle class_node);

// The DjangoRecord of a view: `node` is the analysed node (the function, or
// the class itself), `class_node` the class or empty.
py::Dict analyze_django_view(py::Handle decorators, py::Handle node, py::Handle class_node);

// The id of a Name, the dotted name of an Attribute, else "Unknown".
std::string value_name(py::Handle expr);

// Sets `queryset_operations`, `context_processors` and `middleware_classes`
// of the record from the calls in the node's body.
void scan_django_queries(py::Handle node, py::Dict& record);

}  // namespace ovra::frameworks
