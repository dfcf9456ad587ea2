import importlib
import inspect
import sys

import pytest

import ovra_python

FUNCTIONS = [
    ("send_async_job_request",
     "(submit_url, _status_url_template, headers, file_path, method, user_config, "
     "dependency_content, dependency_filename, _progress_callback)", None),
    ("get_method_names", "(file_path)", "Get method names from a Python file"),
    ("get_machine_info", "()", "Get comprehensive machine information"),
    ("analyze_python_file", "(file_path)", "Analyze a Python file and return comprehensive analysis"),
    ("analyze_python_code", "(code, file_path)", "Analyze Python code from string"),
    ("analyze_specific_method", "(file_path, method_name)", "Analyze a specific method in a file"),
    ("count_test_methods", "(file_path)", "Count test methods in a file"),
]


def test_module_attributes():
    assert ovra_python.__version__ == "0.1.7"
    assert ovra_python.__doc__ == "Fast Python AST analyzer for static analysis and test generation"
    assert isinstance(ovra_python.__author__, str) and ovra_python.__author__
    assert ovra_python.__all__ == [name for name, _, _ in FUNCTIONS] + ["__version__", "__author__", "__doc__"]


@pytest.mark.parametrize("name,signature,doc", FUNCTIONS)
def test_function_table(name, signature, doc):
    f = getattr(ovra_python, name)
    assert inspect.isbuiltin(f)
    assert f.__text_signature__ == signature
    assert f.__doc__ == doc
    assert f.__module__ == "ovra_python"
    assert f.__self__ is ovra_python


def test_import_twice_gives_same_module():
    again = importlib.import_module("ovra_python")
    assert again is ovra_python
    del sys.modules["ovra_python"]
    try:
        reloaded = importlib.import_module("ovra_python")
        assert reloaded.analyze_python_code("import os", None)["success"] is True
    finally:
        sys.modules["ovra_python"] = ovra_python


@pytest.mark.parametrize("call,message", [
    (lambda: ovra_python.analyze_python_code("x = 1"),
     "analyze_python_code() missing 1 required positional argument: 'file_path'"),
    (lambda: ovra_python.analyze_specific_method(),
     "analyze_specific_method() missing 2 required positional arguments: 'file_path' and 'method_name'"),
    (lambda: ovra_python.analyze_python_file("a", "b"),
     "analyze_python_file() takes 1 positional argument but 2 were given"),
    (lambda: ovra_python.analyze_python_file(path="a"),
     "analyze_python_file() got an unexpected keyword argument 'path'"),
    (lambda: ovra_python.analyze_python_file(**{"\udc80": "a"}),
     "analyze_python_file() got an unexpected keyword argument '\udc80'"),
    (lambda: ovra_python.analyze_python_code("x", None, code="y"),
     "analyze_python_code() got multiple values for argument 'code'"),
])
def test_binding_errors(call, message):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value) == message


def test_get_machine_info_takes_no_arguments():
    with pytest.raises(TypeError):
        ovra_python.get_machine_info(1)


@pytest.mark.parametrize("call,prefix", [
    (lambda: ovra_python.analyze_python_file(b"x.py"), "argument 'file_path': "),
    (lambda: ovra_python.analyze_python_file(file_path=3), "argument 'file_path': "),
    (lambda: ovra_python.analyze_python_code(b"x = 1", None), "argument 'code': "),
    (lambda: ovra_python.analyze_python_code("x = 1", 5), "argument 'file_path': "),
    (lambda: ovra_python.analyze_specific_method("a.py", None), "argument 'method_name': "),
    (lambda: ovra_python.count_test_methods(None), "argument 'file_path': "),
    (lambda: ovra_python.get_method_names(["a"]), "argument 'file_path': "),
    (lambda: ovra_python.send_async_job_request("u", "t", {"a": 1}, "f.py", "m", None, None, None, None),
     "argument 'headers': "),
    (lambda: ovra_python.send_async_job_request("u", "t", {1: "a"}, "f.py", "m", None, None, None, None),
     "argument 'headers': "),
    (lambda: ovra_python.send_async_job_request("u", "t", [], "f.py", "m", None, None, None, None),
     "argument 'headers': "),
    (lambda: ovra_python.send_async_job_request("u", 1, None, "f.py", "m", None, None, None, None),
     "argument '_status_url_template': "),
    (lambda: ovra_python.send_async_job_request("u", "t", None, "f.py", "m", None, 1, None, None),
     "argument 'dependency_content': "),
])
def test_conversion_errors_name_the_parameter(call, prefix):
    with pytest.raises(TypeError) as info:
        call()
    assert str(info.value).startswith(prefix)


def test_path_objects_are_not_str(tmp_path):
    with pytest.raises(TypeError, match="^argument 'file_path': "):
        ovra_python.analyze_python_file(tmp_path / "x.py")


def test_lone_surrogate_argument_raises_unicode_error():
    with pytest.raises(UnicodeEncodeError):
        ovra_python.analyze_python_code("x = 1", "bad\udc80.py")


def test_keywords_are_accepted(tmp_path):
    path = tmp_path / "m.py"
    path.write_text("x = 1\n")
    assert ovra_python.analyze_python_file(file_path=str(path))["success"] is True
    assert ovra_python.analyze_python_code(file_path=None, code="x = 1")["success"] is True


@pytest.mark.parametrize("callback", [1, print, None])
@pytest.mark.parametrize("user_config", [None, {"a": 1}, object()])
def test_job_request_converts_then_stops_before_submission(callback, user_config):
    with pytest.raises(NotImplementedError):
        ovra_python.send_async_job_request("u", "t", {"k": "v"}, "f.py", "m", user_config, "c", "n", callback)
