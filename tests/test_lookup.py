import pytest

import ovra_python
from conftest import analyze

FUNCTIONS_RECORDED = analyze("def f(): pass")["functions"] != {}
METHODS_RECORDED = "m" in analyze("class K:\n    def m(self): pass")["classes"].get("K", {}).get("methods", {})

needs_functions = pytest.mark.skipif(not FUNCTIONS_RECORDED, reason="function records are not built yet")
needs_methods = pytest.mark.skipif(not METHODS_RECORDED, reason="method records are not built yet")


MIXED = """\
import os

def a():
    def inner(): pass

class K:
    x = 1
    def b(self): pass
    async def c(self): pass
    class Nested:
        def hidden(self): pass
    if True:
        def guarded(self): pass

if TYPE_CHECKING:
    def typed(): pass

try:
    def tried(): pass
except ImportError:
    pass

async def d():
    pass

def a():
    pass
"""


# ---------------------------------------------------------------- get_method_names


def test_method_names_lists_top_level_functions_and_direct_methods_in_order(write_file):
    path = write_file("mixed.py", MIXED)
    assert ovra_python.get_method_names(path) == ["a", "b", "c", "d", "a"]


def test_method_names_are_not_qualified_and_repeat_per_definition(write_file):
    path = write_file(
        "same.py",
        """\
        def run(): pass
        class Runner:
            def run(self): pass
        class Other:
            def run(self): pass
        """,
    )
    assert ovra_python.get_method_names(path) == ["run", "run", "run"]


@pytest.mark.parametrize(
    "content",
    [
        pytest.param("", id="empty"),
        pytest.param("x = 1\nprint(x)\n", id="no-definitions"),
        pytest.param("def f(:\n", id="syntax-error"),
        pytest.param(b"def f(): return '\xff'\n", id="not-utf8"),
        pytest.param("def f():\n    return '\0'\n", id="nul-in-source"),
    ],
)
def test_method_names_without_definitions_or_unparsable_is_empty(write_file, content):
    assert ovra_python.get_method_names(write_file("f.py", content)) == []


@pytest.mark.parametrize(
    "path",
    [
        pytest.param("/nonexistent/dir/file.py", id="missing"),
        pytest.param("/", id="directory"),
        pytest.param("a\0b.py", id="nul-in-path"),
    ],
)
def test_unreadable_file_gives_empty_answers(path):
    assert ovra_python.get_method_names(path) == []
    assert ovra_python.count_test_methods(path) == 0
    assert ovra_python.analyze_specific_method(path, "f") == {
        "error": "Method 'f' not found in file",
        "success": False,
    }


# ---------------------------------------------------------------- count_test_methods

TESTS = """\
def test_x(): pass
def testv(): pass
def check_test_u(): pass

class TestZ:
    def test_y(self): pass
    def helper(self): pass
    class TestInner:
        def test_nested(self): pass

if True:
    def test_w(): pass
else:
    def test_in_else(): pass

async def test_v():
    def test_t(): pass

for _ in range(1):
    def test_in_for(): pass

while False:
    def test_in_while(): pass

with ctx():
    def test_in_with(): pass

try:
    def test_in_try(): pass
except Exception:
    def test_in_handler(): pass
finally:
    def test_in_finally(): pass

match x:
    case 1:
        def test_in_case(): pass
"""


def test_count_test_methods_on_mixed_file(write_file):
    # Counted: test_x, test_y, test_nested, test_w, test_v, and the bodies of
    # for, while, with and try. Not counted: testv, check_test_u, test_t
    # (inside a function), else/except/finally branches and match cases.
    assert ovra_python.count_test_methods(write_file("test_mixed.py", TESTS)) == 9


@pytest.mark.parametrize(
    ("source", "expected"),
    [
        ("", 0),
        ("def test_(): pass\n", 1),
        ("def Test_a(): pass\n", 0),
        ("test_a = lambda: None\n", 0),
        ("class test_case:\n    pass\n", 0),
        ("def f(:\n", 0),
    ],
)
def test_count_test_methods_name_rule(write_file, source, expected):
    assert ovra_python.count_test_methods(write_file("t.py", source)) == expected


def test_count_on_deeply_nested_blocks_does_not_crash(write_file):
    depth = 90  # within the parser's own nesting limit
    lines = [" " * i + "if x:" for i in range(depth)]
    lines.append(" " * depth + "def test_deep(): pass")
    assert ovra_python.count_test_methods(write_file("deep.py", "\n".join(lines) + "\n")) == 1


# ---------------------------------------------------------------- analyze_specific_method

SAME_NAME = """\
def run():
    return 1

class Runner:
    def run(self):
        return 2
    def only_here(self):
        pass

class Second:
    def only_here(self):
        pass
    async def later(self):
        pass
"""


def test_missing_name_gives_not_found(write_file):
    path = write_file("same.py", SAME_NAME)
    assert ovra_python.analyze_specific_method(path, "absent") == {
        "error": "Method 'absent' not found in file",
        "success": False,
    }


def test_unparsable_file_gives_not_found(write_file):
    path = write_file("bad.py", "def run(:\n")
    assert ovra_python.analyze_specific_method(path, "run") == {
        "error": "Method 'run' not found in file",
        "success": False,
    }


def test_arguments_are_checked():
    with pytest.raises(TypeError):
        ovra_python.analyze_specific_method("x.py")
    with pytest.raises(TypeError):
        ovra_python.analyze_specific_method("x.py", 3)
    with pytest.raises(TypeError):
        ovra_python.get_method_names(None)


@needs_functions
def test_function_wins_over_method_of_same_name(write_file):
    path = write_file("same.py", SAME_NAME)
    result = ovra_python.analyze_specific_method(path, "run")
    assert list(result) == ["metadata", "method_metadata", "success"]
    assert result["success"] is True
    assert result["metadata"] == ovra_python.analyze_python_file(path)["metadata"]
    match = result["method_metadata"]
    assert list(match) == ["type", "data"]
    assert match["type"] == "function"
    assert match["data"] == ovra_python.analyze_python_file(path)["functions"]["run"]


@needs_methods
@pytest.mark.parametrize(
    ("name", "owner"),
    [
        pytest.param("only_here", "Runner", id="first-class-wins"),
        pytest.param("later", "Second", id="later-class-async"),
    ],
)
def test_method_is_found_in_first_class_that_defines_it(write_file, name, owner):
    path = write_file("same.py", SAME_NAME)
    result = ovra_python.analyze_specific_method(path, name)
    assert list(result) == ["metadata", "method_metadata", "success"]
    assert result["success"] is True
    match = result["method_metadata"]
    assert list(match) == ["type", "class_name", "data"]
    assert match["type"] == "method"
    assert match["class_name"] == owner
    assert match["data"] == ovra_python.analyze_python_file(path)["classes"][owner]["methods"][name]


@needs_functions
def test_keyword_arguments_are_accepted(write_file):
    path = write_file("same.py", SAME_NAME)
    result = ovra_python.analyze_specific_method(method_name="run", file_path=path)
    assert result["method_metadata"]["type"] == "function"
