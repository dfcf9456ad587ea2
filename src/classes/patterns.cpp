#include <array>
#include <string>
#include <string_view>

#include "classes/class_parts.hpp"
#include "frameworks/text_match.hpp"
#include "host/kinds.hpp"

namespace ovra::classes {

namespace {

using frameworks::contains_any;
using frameworks::starts_with_any;

// Full Unicode lower-casing of a str (str.lower()), with an ASCII fast path.
std::string lower(py::Handle s) {
  if (PyUnicode_IS_ASCII(s.get())) {
    std::string text(py::utf8(s));
    for (char& c : text) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
  }
  py::Ref lowered = py::Ref::checked(PyObject_CallMethodNoArgs(s.get(), py::interned<"lower">()));
  return py::source_text(lowered);
}

// Method names, lower-cased: contains for factories and observers, starts
// with for builders. Assignment targets, lower-cased, mark an instance
// holder when they contain "instance".
constexpr std::array<std::string_view, 4> kFactoryMethodWords{"create", "make", "build", "factory"};
constexpr std::array<std::string_view, 4> kObserverMethodWords{"notify", "subscribe", "unsubscribe", "update"};
constexpr std::array<std::string_view, 3> kBuilderMethodPrefixes{"with_", "set_", "add_"};

// Class name, lower-cased: contains.
constexpr std::array<std::string_view, 3> kObserverNameWords{"observer", "listener", "subscriber"};
constexpr std::array<std::string_view, 2> kStrategyNameWords{"strategy", "algorithm"};
constexpr std::array<std::string_view, 2> kAdapterNameWords{"adapter", "wrapper"};
constexpr std::array<std::string_view, 2> kFacadeNameWords{"facade", "interface"};

struct BodySigns {
  bool has_new = false, factory_method = false, observer_method = false, builder_method = false;
  bool instance_holder = false;
};

BodySigns body_signs(py::Handle body) {
  BodySigns signs;
  if (!py::is_list(body)) return signs;
  for (py::Handle stmt : py::items(body)) {
    switch (kind_of(stmt)) {
      case Kind::FunctionDef:
      case Kind::AsyncFunctionDef: {
        py::Ref name = py::opt_attr<"name">(stmt);
        if (!name || !py::is_str(name)) break;
        if (py::utf8(name) == "__new__") signs.has_new = true;
        const std::string m = lower(name);
        signs.factory_method = signs.factory_method || contains_any(m, kFactoryMethodWords);
        signs.observer_method = signs.observer_method || contains_any(m, kObserverMethodWords);
        signs.builder_method = signs.builder_method || starts_with_any(m, kBuilderMethodPrefixes);
        break;
      }
      case Kind::Assign: {
        py::Ref targets = py::opt_attr<"targets">(stmt);
        if (!targets || !py::is_list(targets)) break;
        for (py::Handle target : py::items(targets)) {
          py::Ref id = py::opt_attr<"id">(target);
          if (id && py::is_str(id) && lower(id).find("instance") != std::string::npos) {
            signs.instance_holder = true;
          }
        }
        break;
      }
      default:
        break;
    }
  }
  return signs;
}

}  // namespace

py::Dict design_patterns(py::Handle name, py::Handle body) {
  const std::string c = lower(name);
  auto has = [&c](std::string_view w) { return c.find(w) != std::string::npos; };
  const BodySigns signs = body_signs(body);

  struct Verdict {
    std::string_view label;
    bool value;
  };
  const std::array<Verdict, 8> verdicts{{
      {"singleton", has("singleton") || (signs.instance_holder && signs.has_new)},
      {"factory", has("factory") || signs.factory_method},
      {"observer", contains_any(c, kObserverNameWords) || signs.observer_method},
      {"strategy", contains_any(c, kStrategyNameWords)},
      {"abstract_factory", has("factory") && has("abstract")},
      {"builder", has("builder") || signs.builder_method},
      {"adapter", contains_any(c, kAdapterNameWords)},
      {"facade", contains_any(c, kFacadeNameWords)},
  }};

  py::Dict d = py::Dict::make();
  d.set_bool<"singleton_class">(verdicts[0].value);
  d.set_bool<"factory_class">(verdicts[1].value);
  d.set_bool<"observer_class">(verdicts[2].value);
  d.set_bool<"strategy_class">(verdicts[3].value);
  d.set_bool<"abstract_factory">(verdicts[4].value);
  d.set_bool<"builder_class">(verdicts[5].value);
  d.set_bool<"adapter_class">(verdicts[6].value);
  d.set_bool<"facade_class">(verdicts[7].value);
  py::List detected = py::List::make();
  for (const Verdict& v : verdicts) {
    if (v.value) detected.append_str(v.label);
  }
  d.set<"detected_class_patterns">(detected);
  d.set_int<"class_pattern_count">(detected.size());
  return d;
}

py::Dict anti_patterns(py::Handle body) {
  long long methods = 0, accessors = 0, business = 0;
  const bool readable = body && py::is_list(body);
  if (readable) {
    for (py::Handle stmt : py::items(body)) {
      const Kind kind = kind_of(stmt);
      if (kind != Kind::FunctionDef && kind != Kind::AsyncFunctionDef) continue;
      ++methods;
      py::Ref name = py::opt_attr<"name">(stmt);
      if (!name || !py::is_str(name)) continue;
      const std::string_view n = py::utf8(name);
      if (n.starts_with("get_") || n.starts_with("set_")) {
        ++accessors;
      } else if (!n.starts_with("__")) {
        ++business;
      }
    }
  }

  struct Verdict {
    std::string_view label;
    bool value;
  };
  const std::array<Verdict, 6> verdicts{{
      {"god_object", readable && methods >= 21},
      {"anemic_model", readable && accessors > business && business < 3},
      {"feature_envy", false},
      {"inappropriate_intimacy", false},
      {"lazy_class", readable && methods < 3},
      {"data_class", readable && business == 0 && accessors > 0},
  }};

  py::Dict d = py::Dict::make();
  d.set_bool<"god_object">(verdicts[0].value);
  d.set_bool<"anemic_model">(verdicts[1].value);
  d.set_bool<"feature_envy">(verdicts[2].value);
  d.set_bool<"inappropriate_intimacy">(verdicts[3].value);
  d.set_bool<"lazy_class">(verdicts[4].value);
  d.set_bool<"data_class">(verdicts[5].value);
  py::List detected = py::List::make();
  for (const Verdict& v : verdicts) {
    if (v.value) detected.append_str(v.label);
  }
  d.set<"detected_anti_patterns">(detected);
  d.set_int<"anti_pattern_count">(detected.size());
  return d;
}

}  // namespace ovra::classes
