#include "frameworks/django.hpp"

#include <array>
#include <string_view>
#include <vector>

#include "analysis/naming.hpp"
#include "frameworks/text_match.hpp"
#include "host/kinds.hpp"

namespace ovra::frameworks {

namespace {

// A decorator entry name equals one of these...
constexpr std::array<std::string_view, 15> kViewDecorators{
    "api_view",         "APIView",          "permission_classes", "authentication_classes", "throttle_classes",
    "action",           "detail_route",     "list_route",         "admin.register",         "admin.action",
    "cache_page",       "cache_control",    "login_required",     "permission_required",    "user_passes_test",
};
// ...or contains one of these.
constexpr std::array<std::string_view, 4> kViewDecoratorFragments{"django", "admin.", "api_view", "permission_"};

// A base's dotted name equals one of these...
constexpr std::array<std::string_view, 19> kViewBases{
    "View",          "TemplateView",          "ListView",          "DetailView",
    "CreateView",    "UpdateView",            "DeleteView",        "FormView",
    "APIView",       "GenericAPIView",        "ListAPIView",       "RetrieveAPIView",
    "CreateAPIView", "UpdateAPIView",         "DestroyAPIView",    "ListCreateAPIView",
    "RetrieveUpdateAPIView", "RetrieveDestroyAPIView", "RetrieveUpdateDestroyAPIView",
};
// ...or ends with one of these.
constexpr std::array<std::string_view, 2> kViewBaseSuffixes{"View", "APIView"};

// The first word that a queryset call name contains is recorded.
constexpr std::array<std::string_view, 7> kQuerysetWords{"filter", "exclude", "get", "all", "create", "update", "delete"};

struct DjangoView {
  std::string_view framework_type = "unknown";
  std::string view_type;  // empty: None
  bool has_view_type = false;
  std::string model_name, form_class, serializer_class;
  bool has_model_name = false, has_form_class = false, has_serializer_class = false;
  bool login_required = false;
  bool is_generic_view = false;
  bool is_api_view = false;
  bool is_function_based = false;
  bool is_class_based = false;
  bool has_custom_queryset = false;
};

py::Ref optional_text(bool present, const std::string& text) {
  return present ? py::str(text) : py::none();
}

py::List text_list(const std::vector<std::string>& texts) {
  py::List list = py::List::make();
  for (const std::string& t : texts) list.append_str(t);
  return list;
}

void apply_decorators(py::Handle decorators, DjangoView& view) {
  if (!decorators || !py::is_list(decorators)) return;
  for (py::Handle entry : py::items(decorators)) {
    std::optional<std::string_view> name = decorator_entry_name(entry);
    if (!name) continue;
    if (*name == "api_view" || *name == "action") {
      view.framework_type = "django_rest_framework";
      view.is_api_view = true;
    } else if (*name == "login_required") {
      view.framework_type = "django_auth";
      view.login_required = true;
    } else if (*name == "permission_required") {
      view.framework_type = "django_auth";
    } else if (*name == "cache_page") {
      view.framework_type = "django_cache";
    }
  }
}

void apply_bases(py::Handle class_node, DjangoView& view) {
  py::Ref bases = py::attr<"bases">(class_node);
  if (!py::is_list(bases)) return;
  for (py::Handle base : py::items(bases)) {
    std::string name = analysis::dotted_name(base);
    if (contains(name, "APIView") || contains(name, "GenericAPIView")) {
      view.framework_type = "django_rest_framework";
      view.is_api_view = true;
    } else if (contains(name, "View")) {
      view.framework_type = "django";
    }
    if (contains(name, "Generic")) view.is_generic_view = true;
    view.view_type = std::move(name);
    view.has_view_type = true;
  }
}

void apply_class_attributes(py::Handle class_node, DjangoView& view) {
  py::Ref body = py::attr<"body">(class_node);
  if (!py::is_list(body)) return;
  for (py::Handle stmt : py::items(body)) {
    if (kind_of(stmt) != Kind::Assign) continue;
    py::Ref targets = py::attr<"targets">(stmt);
    if (!py::is_list(targets) || PyList_GET_SIZE(targets.get()) == 0) continue;
    py::Handle first = PyList_GET_ITEM(targets.get(), 0);
    if (kind_of(first) != Kind::Name) continue;
    py::Ref id = py::attr<"id">(first);
    if (!py::is_str(id)) continue;
    std::string_view name = py::utf8(id);
    if (name == "model") {
      view.model_name = value_name(py::attr<"value">(stmt));
      view.has_model_name = true;
    } else if (name == "form_class") {
      view.form_class = value_name(py::attr<"value">(stmt));
      view.has_form_class = true;
    } else if (name == "serializer_class") {
      view.serializer_class = value_name(py::attr<"value">(stmt));
      view.has_serializer_class = true;
    } else if (name == "queryset") {
      view.has_custom_queryset = true;
    }
  }
}

void classify_django_call(py::Handle expr, std::vector<std::string>& queries, std::vector<std::string>& contexts) {
  if (kind_of(expr) != Kind::Call) return;
  std::string name = analysis::dotted_name(py::attr<"func">(expr));
  if (contains(name, "objects.")) {
    for (std::string_view word : kQuerysetWords) {
      if (contains(name, word)) {
        queries.emplace_back(word);
        break;
      }
    }
  }
  if (contains(name, "context")) contexts.push_back(std::move(name));
}

void walk_django_statements(py::Handle statements, std::vector<std::string>& queries,
                            std::vector<std::string>& contexts) {
  py::DepthGuard guard;
  if (!py::is_list(statements)) return;
  for (py::Handle stmt : py::items(statements)) {
    switch (kind_of(stmt)) {
      case Kind::Expr:
      case Kind::Assign:
        classify_django_call(py::attr<"value">(stmt), queries, contexts);
        break;
      case Kind::If:
      case Kind::For:
      case Kind::While:
      case Kind::Try:
        walk_django_statements(py::attr<"body">(stmt), queries, contexts);
        walk_django_statements(py::attr<"orelse">(stmt), queries, contexts);
        break;
      default:
        break;
    }
  }
}

}  // namespace

bool is_django_view(py::Handle decorators, py::Handle class_node) {
  if (decorators && py::is_list(decorators)) {
    for (py::Handle entry : py::items(decorators)) {
      std::optional<std::string_view> name = decorator_entry_name(entry);
      if (name && (equals_any(*name, kViewDecorators) || contains_any(*name, kViewDecoratorFragments))) return true;
    }
  }
  if (class_node) {
    py::Ref bases = py::attr<"bases">(class_node);
    if (py::is_list(bases)) {
      for (py::Handle base : py::items(bases)) {
        const std::string name = analysis::dotted_name(base);
        if (equals_any(name, kViewBases) || ends_with_any(name, kViewBaseSuffixes)) return true;
      }
    }
  }
  return false;
}

py::Dict analyze_django_view(py::Handle decorators, py::Handle node, py::Handle class_node) {
  DjangoView view;
  view.is_function_based = kind_of(node) == Kind::FunctionDef;
  view.is_class_based = static_cast<bool>(class_node);
  apply_decorators(decorators, view);
  if (class_node) {
    apply_bases(class_node, view);
    apply_class_attributes(class_node, view);
  }

  py::Dict record = py::Dict::make();
  record.set_str<"framework_type">(view.framework_type);
  record.set<"view_type">(optional_text(view.has_view_type, view.view_type));
  record.set<"http_methods">(py::List::make());
  record.set<"url_pattern">(Py_None);
  record.set<"model_name">(optional_text(view.has_model_name, view.model_name));
  record.set<"template_name">(Py_None);
  record.set<"form_class">(optional_text(view.has_form_class, view.form_class));
  record.set<"serializer_class">(optional_text(view.has_serializer_class, view.serializer_class));
  py::List permissions = py::List::make();
  if (view.login_required) permissions.append_str("login_required");
  record.set<"permission_classes">(permissions);
  record.set<"authentication_classes">(py::List::make());
  record.set<"throttle_classes">(py::List::make());
  record.set<"queryset_operations">(py::List::make());
  record.set<"context_processors">(py::List::make());
  record.set<"middleware_classes">(py::List::make());
  record.set_bool<"is_generic_view">(view.is_generic_view);
  record.set_bool<"is_api_view">(view.is_api_view);
  record.set_bool<"is_admin_view">(false);
  record.set_bool<"is_function_based">(view.is_function_based);
  record.set_bool<"is_class_based">(view.is_class_based);
  if (view.has_custom_queryset) record.set_bool<"has_custom_queryset">(true);
  scan_django_queries(node, record);
  return record;
}

std::string value_name(py::Handle expr) {
  switch (kind_of(expr)) {
    case Kind::Name: {
      py::Ref id = py::opt_attr<"id">(expr);
      if (!id || !py::is_str(id)) return "Unknown";
      return std::string(py::utf8(id));
    }
    case Kind::Attribute:
      return analysis::dotted_name(expr);
    default:
      return "Unknown";
  }
}

void scan_django_queries(py::Handle node, py::Dict& record) {
  std::vector<std::string> queries, contexts;
  walk_django_statements(py::attr<"body">(node), queries, contexts);
  record.set<"queryset_operations">(text_list(queries));
  record.set<"context_processors">(text_list(contexts));
  record.set<"middleware_classes">(py::List::make());
}

}  // namespace ovra::frameworks
