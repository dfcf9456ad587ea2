// The module object, its function table and initialisation.
#include <array>

#include "analysis/driver.hpp"
#include "analysis/lookup.hpp"
#include "host/py.hpp"
#include "machine/machine_info.hpp"
#include "module/binding.hpp"

namespace ovra::module {

namespace {

constexpr const char* kVersion = "0.1.7";
constexpr const char* kAuthor = "ovra-python native analyzer";
constexpr const char* kModuleDoc = "Fast Python AST analyzer for static analysis and test generation";

PyObject* send_async_job_request(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guarded([&]() -> py::Ref {
    static constexpr std::array<const char*, 9> names{
        "submit_url", "_status_url_template", "headers", "file_path", "method",
        "user_config", "dependency_content", "dependency_filename", "_progress_callback"};
    auto a = bind("send_async_job_request", names, args, nargs, kwnames);
    to_str(a[0], names[0]);
    to_str(a[1], names[1]);
    to_headers(a[2], names[2]);
    to_str(a[3], names[3]);
    to_str(a[4], names[4]);
    to_optional_str(a[6], names[6]);
    to_optional_str(a[7], names[7]);
    py::raise(PyExc_NotImplementedError, "send_async_job_request: job submission is not built yet");
  });
}

PyObject* get_method_names(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guarded([&]() -> py::Ref {
    static constexpr std::array<const char*, 1> names{"file_path"};
    auto a = bind("get_method_names", names, args, nargs, kwnames);
    return analysis::get_method_names(to_str(a[0], names[0]));
  });
}

PyObject* get_machine_info(PyObject*, PyObject*) {
  return py::guarded([&]() -> py::Ref { return machine::get_machine_info(); });
}

PyObject* analyze_python_file(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guarded([&]() -> py::Ref {
    static constexpr std::array<const char*, 1> names{"file_path"};
    auto a = bind("analyze_python_file", names, args, nargs, kwnames);
    return analysis::analyze_file(to_str(a[0], names[0]));
  });
}

PyObject* analyze_python_code(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guarded([&]() -> py::Ref {
    static constexpr std::array<const char*, 2> names{"code", "file_path"};
    auto a = bind("analyze_python_code", names, args, nargs, kwnames);
    to_str(a[0], names[0]);
    auto path = to_optional_str(a[1], names[1]);
    return analysis::analyze_text(a[0], path);
  });
}

PyObject* analyze_specific_method(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guarded([&]() -> py::Ref {
    static constexpr std::array<const char*, 2> names{"file_path", "method_name"};
    auto a = bind("analyze_specific_method", names, args, nargs, kwnames);
    std::string_view path = to_str(a[0], names[0]);
    std::string_view method = to_str(a[1], names[1]);
    return analysis::analyze_specific_method(path, method);
  });
}

PyObject* count_test_methods(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return py::guarded([&]() -> py::Ref {
    static constexpr std::array<const char*, 1> names{"file_path"};
    auto a = bind("count_test_methods", names, args, nargs, kwnames);
    return analysis::count_test_methods(to_str(a[0], names[0]));
  });
}

template <auto F>
constexpr PyCFunction fastcall() {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(F));
}

constexpr int kFast = METH_FASTCALL | METH_KEYWORDS;

// Table order is the order the functions are added to the module.
PyMethodDef kFunctions[] = {
    {"send_async_job_request", fastcall<send_async_job_request>(), kFast,
     "send_async_job_request(submit_url, _status_url_template, headers, file_path, method, user_config, "
     "dependency_content, dependency_filename, _progress_callback)\n--\n\n"},
    {"get_method_names", fastcall<get_method_names>(), kFast,
     "get_method_names(file_path)\n--\n\nGet method names from a Python file"},
    {"get_machine_info", get_machine_info, METH_NOARGS,
     "get_machine_info()\n--\n\nGet comprehensive machine information"},
    {"analyze_python_file", fastcall<analyze_python_file>(), kFast,
     "analyze_python_file(file_path)\n--\n\nAnalyze a Python file and return comprehensive analysis"},
    {"analyze_python_code", fastcall<analyze_python_code>(), kFast,
     "analyze_python_code(code, file_path)\n--\n\nAnalyze Python code from string"},
    {"analyze_specific_method", fastcall<analyze_specific_method>(), kFast,
     "analyze_specific_method(file_path, method_name)\n--\n\nAnalyze a specific method in a file"},
    {"count_test_methods", fastcall<count_test_methods>(), kFast,
     "count_test_methods(file_path)\n--\n\nCount test methods in a file"},
};

PyModuleDef kModuleDef = {
    PyModuleDef_HEAD_INIT, "ovra_python", "Python module definition", -1, nullptr, nullptr, nullptr, nullptr, nullptr,
};

// Appends `name` to the module's __all__ (creating it), then sets the attribute.
void add_exported(PyObject* module, const char* name, py::Ref value) {
  PyObject* dict = PyModule_GetDict(module);  // borrowed
  PyObject* all = PyDict_GetItemString(dict, "__all__");
  py::Ref owned_all;
  if (all == nullptr) {
    owned_all = py::Ref::checked(PyList_New(0));
    py::check_status(PyDict_SetItemString(dict, "__all__", owned_all.get()));
    all = owned_all.get();
  }
  py::Ref text = py::Ref::checked(PyUnicode_FromString(name));
  py::check_status(PyList_Append(all, text.get()));
  py::check_status(PyObject_SetAttrString(module, name, value.get()));
}

PyObject* create_module() {
  py::Ref module = py::Ref::checked(PyModule_Create2(&kModuleDef, 1013));
  try {
    py::Ref module_name = py::Ref::checked(PyUnicode_FromString(kModuleDef.m_name));
    for (PyMethodDef& def : kFunctions) {
      add_exported(module.get(), def.ml_name,
                   py::Ref::checked(PyCFunction_NewEx(&def, module.get(), module_name.get())));
    }
    add_exported(module.get(), "__version__", py::Ref::checked(PyUnicode_FromString(kVersion)));
    add_exported(module.get(), "__author__", py::Ref::checked(PyUnicode_FromString(kAuthor)));
    add_exported(module.get(), "__doc__", py::Ref::checked(PyUnicode_FromString(kModuleDoc)));
  } catch (const py::ErrorAlreadySet&) {
    return nullptr;
  }
  return module.release();
}

}  // namespace

}  // namespace ovra::module

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_ovra_python() {
  static PyInterpreterState* first_interpreter = nullptr;
  static PyObject* cached = nullptr;
  PyInterpreterState* current = PyInterpreterState_Get();
  if (first_interpreter == nullptr) first_interpreter = current;
  if (first_interpreter != current) {
    PyErr_SetString(PyExc_ImportError, "ovra_python does not support sub-interpreters");
    return nullptr;
  }
  if (cached != nullptr) return Py_NewRef(cached);
  PyObject* module = ovra::module::create_module();
  if (module == nullptr) return nullptr;
  cached = Py_NewRef(module);
  return module;
}
