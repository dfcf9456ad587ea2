import gc
import tracemalloc

import pytest

import ovra_python
from conftest import analyze

EMPTY_SUMMARY = {
    "total_imports": 0, "typing_imports": 0, "stdlib_imports": 0, "framework_imports": 0,
    "frameworks_used": 0, "framework_list": [], "total_constants": 0, "annotated_constants": 0,
    "type_mismatches": 0, "generic_constants": 0, "union_constants": 0, "typing_import_percentage": 0,
    "constant_annotation_percentage": 0, "module_sophistication_score": 0, "module_type_quality_score": 0,
}


def test_empty_text():
    record = ovra_python.analyze_python_code("", None)
    assert list(record) == ["metadata", "classes", "functions", "imports", "constants", "module_summary", "success"]
    assert record["metadata"] == {"file_path": "string", "code_length": 0, "line_count": 0, "original_code": ""}
    assert record["classes"] == record["functions"] == record["imports"] == record["constants"] == {}
    assert record["module_summary"] == EMPTY_SUMMARY
    assert list(record["module_summary"]) == list(EMPTY_SUMMARY)
    assert record["success"] is True


@pytest.mark.parametrize("code,length,lines", [
    ("a", 1, 1),
    ("a\n", 2, 1),
    ("a\n\n", 3, 2),
    ("\n", 1, 1),
    ("x = 'é'\n", 9, 1),
    ("x = '€'\r\ny = 1", 16, 2),
])
def test_metadata_counts_bytes_and_lines(code, length, lines):
    meta = ovra_python.analyze_python_code(code, "m.py")["metadata"]
    assert meta == {"file_path": "m.py", "code_length": length, "line_count": lines, "original_code": code}


@pytest.mark.parametrize("code,error_start", [
    ("def f(:", "Parse error: SyntaxError: "),
    ("if x:\nfoo()", "Parse error: IndentationError: "),
    ("x = (" * 300 + "1" + ")" * 300, "Parse error: SyntaxError: too many nested parentheses"),
    ("x = " + "1+" * 20000 + "1", "Parse error: RecursionError: "),
])
def test_parse_errors(code, error_start):
    record = ovra_python.analyze_python_code(code, "bad.py")
    assert list(record) == ["metadata", "error", "success"]
    assert record["error"].startswith(error_start)
    assert record["success"] is False
    assert record["metadata"]["file_path"] == "bad.py"


def test_parse_error_text_is_type_and_message():
    assert analyze("def f(:")["error"] == "Parse error: SyntaxError: invalid syntax (<unknown>, line 1)"


def test_read_failures(tmp_path):
    bad = tmp_path / "latin1.py"
    bad.write_bytes(b"x = '\xe9'\n")
    cases = [
        (str(tmp_path / "missing.py"), "Failed to read file: No such file or directory (os error 2)"),
        (str(tmp_path), "Failed to read file: Is a directory (os error 21)"),
        (str(bad), "Failed to read file: stream did not contain valid UTF-8"),
        (str(tmp_path / "a\0b.py"), "Failed to read file: file name contained an unexpected NUL byte"),
    ]
    for path, error in cases:
        record = ovra_python.analyze_python_file(path)
        assert record == {"error": error, "success": False}
        assert list(record) == ["error", "success"]


def test_file_analysis_matches_code_analysis(write_file):
    source = "import os\nX = 1\n"
    path = write_file("mod.py", source)
    assert ovra_python.analyze_python_file(path) == ovra_python.analyze_python_code(source, path)


def test_import_entries():
    imports = analyze("""\
        import os.path as p
        import json
        from . import x
        from .sub import y as z
        from a import b, c
    """)["imports"]
    assert list(imports) == ["os.path", "json", "x", "sub.y", "a.b", "a.c"]
    assert imports["os.path"] == {"type": "import", "module": "os.path", "line_number": 1, "as": "p",
                                  "is_typing": False, "is_stdlib": True}
    assert imports["json"] == {"type": "import", "module": "json", "line_number": 2,
                               "is_typing": False, "is_stdlib": True}
    assert imports["x"] == {"type": "from_import", "name": "x", "line_number": 3,
                            "is_typing": False, "is_stdlib": False}
    assert imports["sub.y"] == {"type": "from_import", "name": "y", "line_number": 4, "module": "sub", "as": "z",
                                "is_typing": False, "is_stdlib": False}
    assert imports["a.c"]["line_number"] == 5


def test_only_top_level_statements_are_seen():
    record = analyze("""\
        from typing import TYPE_CHECKING
        if TYPE_CHECKING:
            import os
            X = 1
        try:
            import json
        except ImportError:
            pass
    """)
    assert list(record["imports"]) == ["typing.TYPE_CHECKING"]
    assert record["constants"] == {}


def test_redefinition_keeps_first_position_and_last_entry():
    record = analyze("""\
        import os
        X = 1
        import sys
        Y = 2
        import os as o
        X = 'a'
    """)
    assert list(record["imports"]) == ["os", "sys"]
    assert record["imports"]["os"]["as"] == "o"
    assert list(record["constants"]) == ["X", "Y"]
    assert record["constants"]["X"]["value"] == "a"


def test_summary_counts_and_scores():
    summary = analyze("""\
        import os
        import typing
        from typing import List, Optional
        import flask
        from flask import Flask
        import numpy as np
        A: int = 1
        B: Optional[int] = None
        C: List[int] = [1]
        D: str = 1
        E = 2
        F: int | str = 3
    """)["module_summary"]
    assert {k: v for k, v in summary.items() if k != "framework_list"} == {
        "total_imports": 7, "typing_imports": 3, "stdlib_imports": 4, "framework_imports": 3,
        "frameworks_used": 2, "total_constants": 6, "annotated_constants": 5, "type_mismatches": 2,
        "generic_constants": 2, "union_constants": 1, "typing_import_percentage": 42,
        "constant_annotation_percentage": 83,
        "module_sophistication_score": 1 + 2 * 2 + 2 * 3 + 3 * 5 + 2,
        "module_type_quality_score": 63,
    }
    assert sorted(summary["framework_list"]) == ["Flask", "NumPy"]


@pytest.mark.parametrize("plain,score", [(8, 1), (9, 0), (10, 0)])
def test_quality_score_is_zero_below_one(plain, score):
    # One mismatched annotation among 1 + plain constants: percentage - 10.
    source = "A: str = 1\n" + "".join(f"V{i} = {i}\n" for i in range(plain))
    summary = analyze(source)["module_summary"]
    assert summary["type_mismatches"] == 1
    assert summary["module_type_quality_score"] == score


def test_percentages_are_truncated_products():
    # 1 / 3 * 100 in double precision is 33.33..., 2 / 3 * 100 is 66.66...
    summary = analyze("import typing\nimport os\nimport sys\nfrom typing import Any\nimport re\nimport json\n")[
        "module_summary"]
    assert summary["typing_import_percentage"] == 33
    summary = analyze("A: int = 1\nB: int = 2\nC = 3\n")["module_summary"]
    assert summary["constant_annotation_percentage"] == 66


@pytest.mark.parametrize("source,names", [
    ("a, b = 1, 2", []),
    ("a = b = 1", ["a", "b"]),
    ("x.y = 1\nz[0] = 2", []),
    ("a, b = c = 1", ["c"]),
    ("(a): int = 1", ["a"]),
    ("self.x: int = 1", []),
])
def test_constant_targets(source, names):
    assert list(analyze(source)["constants"]) == names


def test_surrogate_literals_are_analysed():
    record = analyze('"""doc \\udc80"""\nX = "a\\ud800b"\n')
    assert record["success"] is True
    assert record["constants"]["X"]["value"] == "a\ud800b"


def test_large_file(write_file):
    line = "value_{0} = {{'key': [{0}, {0}.5, 'text']}}\n"
    source = "".join(line.format(i) for i in range(120_000))
    assert len(source) > 5_000_000
    path = write_file("big.py", source)
    record = ovra_python.analyze_python_file(path)
    assert record["success"] is True
    assert record["module_summary"]["total_constants"] == 120_000


@pytest.mark.parametrize("depth", [500, 2400])
def test_deep_expression_never_crashes(depth):
    record = analyze("x = " + "-" * depth + "1\ny = " + "(" * 150 + "1" + ")" * 150 + "\nz = " + "1+" * depth + "1")
    assert record["success"] is True
    assert record["constants"]["x"]["type"] == "int"
    assert record["constants"]["z"]["type"] == "int"


def test_repeated_calls_do_not_grow_memory():
    source = """\
        import os
        from typing import Optional
        A: Optional[int] = None
        B = {'a': [1, 2], 'b': (3,)}
        C: str = 1
        def f(a, b=1):
            return a + b
        class K:
            def m(self):
                pass
    """
    for _ in range(50):
        analyze(source)
        analyze("def f(:")
    gc.collect()
    tracemalloc.start()
    try:
        before, _ = tracemalloc.get_traced_memory()
        for _ in range(300):
            analyze(source)
            analyze("def f(:")
        gc.collect()
        after, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    assert after - before < 64 * 1024


def test_failure_to_import_ast_is_raised(monkeypatch):
    monkeypatch.setitem(__import__("sys").modules, "ast", None)
    with pytest.raises(ImportError):
        ovra_python.analyze_python_code("x = 1", None)


def test_statement_that_empties_the_module_body(monkeypatch):
    # The tree walked is whatever `ast.parse` returns; reading a statement may run
    # code that drops the statement from the body being walked.
    import ast
    import types

    class Assign:
        lineno = 1
        value = ast.Constant(1)

        def __init__(self, body):
            self.body = body

        @property
        def targets(self):
            self.body.clear()
            [Assign(None) for _ in range(50)]  # reuse the memory of what was dropped
            return [ast.Name("x")]

    def parse(text):
        body = []
        body += [Assign(body), Assign(body)]
        return types.SimpleNamespace(body=body)

    monkeypatch.setattr(ast, "parse", parse)
    for _ in range(200):
        record = ovra_python.analyze_python_code("x = 1", None)
        assert list(record["constants"]) == ["x"] and record["success"] is True


PLAIN_KEYS = ["name", "line_number", "has_annotation", "value", "type", "type_analysis",
              "is_generic", "is_union", "is_literal", "is_protocol", "is_callable"]
ANNOTATED_KEYS = ["name", "line_number", "has_annotation", "annotation", "type_analysis", "is_optional",
                  "is_generic", "is_union", "is_literal", "is_protocol", "is_callable",
                  "type_nesting_depth", "type_parameter_count", "value", "inferred_type"]


@pytest.mark.parametrize("source,keys,facts", [
    ("x = [1]", PLAIN_KEYS, {"has_annotation": False, "value": [1], "type": "list"}),
    ("x: int", ANNOTATED_KEYS + ["none_compatible", "type_mismatch_warning"],
     {"value": None, "inferred_type": "None", "none_compatible": False,
      "type_mismatch_warning": "Annotation 'int' does not allow None value"}),
    ("x: Optional[int]", ANNOTATED_KEYS[:6] + ["base_type"] + ANNOTATED_KEYS[6:] + ["none_compatible"],
     {"base_type": "int", "none_compatible": True}),
    ("x: int | None", ANNOTATED_KEYS[:6] + ["base_type"] + ANNOTATED_KEYS[6:] + ["none_compatible"],
     {"base_type": "int", "none_compatible": True}),
    ("x: Any", ANNOTATED_KEYS + ["none_compatible"], {"none_compatible": True}),
    ("x: 'None'", ANNOTATED_KEYS + ["none_compatible"], {"annotation": "None", "none_compatible": True}),
    ("x: None", ANNOTATED_KEYS + ["none_compatible", "type_mismatch_warning"],
     {"annotation": "unknown", "none_compatible": False}),
    ("x: int = 2", ANNOTATED_KEYS + ["type_compatible", "inferred_type_analysis"],
     {"has_annotation": True, "value": 2, "inferred_type": "int", "type_compatible": True}),
    ("x: List[int] = 1.5", ANNOTATED_KEYS + ["type_compatible", "type_mismatch_warning", "inferred_type_analysis"],
     {"type_compatible": False, "type_mismatch_warning": "Annotation 'List[int]' may not match inferred type 'float'",
      "type_nesting_depth": 1, "type_parameter_count": 1, "is_generic": True}),
])
def test_constant_entries(source, keys, facts):
    entry = analyze("import os\n" + source)["constants"]["x"]
    assert list(entry) == keys
    assert entry["name"] == "x" and entry["line_number"] == 2
    assert {k: entry[k] for k in facts} == facts


class _StrFails(Exception):
    def __str__(self):
        raise RuntimeError("no text")


class _Outer:
    class Inner(Exception):
        pass


@pytest.mark.parametrize("exc,error", [
    (ValueError("boom"), "Parse error: ValueError: boom"),
    (_StrFails(), "Parse error: _StrFails: <exception str() failed>"),
    (_Outer.Inner("x"), "Parse error: _Outer.Inner: x"),
])
def test_any_parse_exception_is_reported(monkeypatch, exc, error):
    import ast

    def parse(text):
        raise exc

    monkeypatch.setattr(ast, "parse", parse)
    assert ovra_python.analyze_python_code("x", None)["error"] == error


def _changed(monkeypatch, change):
    import ast

    parse = ast.parse

    def changed_parse(text):
        tree = parse(text)
        change(tree)
        return tree

    monkeypatch.setattr(ast, "parse", changed_parse)


@pytest.mark.parametrize("source,change,error", [
    ("x = 1", lambda t: setattr(t, "body", tuple(t.body)), TypeError),
    ("import os", lambda t: setattr(t.body[0].names[0], "name", 1), TypeError),
    ("from a import b", lambda t: setattr(t.body[0], "module", 1), TypeError),
    ("import os", lambda t: delattr(t.body[0], "lineno"), AttributeError),
    ("x = 1", lambda t: delattr(t.body[0], "value"), AttributeError),
    ("x: int = 1", lambda t: setattr(t.body[0].annotation, "id", None), TypeError),
])
def test_failed_reads_are_raised(monkeypatch, source, change, error):
    _changed(monkeypatch, change)
    with pytest.raises(error):
        ovra_python.analyze_python_code(source, None)


@pytest.mark.parametrize("source,change,key", [
    ("import os", lambda t: setattr(t.body[0], "names", ()), "imports"),
    ("from a import b", lambda t: setattr(t.body[0], "names", ()), "imports"),
    ("x = 1", lambda t: setattr(t.body[0], "targets", ()), "constants"),
    ("x: int = 1", lambda t: delattr(t.body[0].target, "id"), "constants"),
])
def test_unusable_statements_are_skipped(monkeypatch, source, change, key):
    _changed(monkeypatch, change)
    record = ovra_python.analyze_python_code(source, None)
    assert record["success"] is True and record[key] == {}


@pytest.mark.parametrize("stack_size", [128 * 1024, 256 * 1024])
def test_threads_with_small_stacks_analyse_ordinary_code(stack_size):
    import threading

    results = []
    source = "import os\nclass K(B):\n    def m(self, a: int = 1):\n        return -a + 1\ndef f(x):\n    return [x]\n"

    def run():
        try:
            results.append(ovra_python.analyze_python_code(source, None)["success"])
        except Exception as error:  # reported below
            results.append(error)

    old = threading.stack_size(stack_size)
    try:
        thread = threading.Thread(target=run)
        thread.start()
        thread.join()
    finally:
        threading.stack_size(old)
    assert results == [True]


def test_byte_order_mark_is_not_source_text(write_file):
    path = write_file("bom.py", b"\xef\xbb\xbfimport os\ndef f(): pass\n")
    record = ovra_python.analyze_python_file(path)
    assert record["success"] is True
    assert record["metadata"]["original_code"] == "import os\ndef f(): pass\n"
    assert record["metadata"]["code_length"] == 24
    assert list(record["imports"]) == ["os"] and list(record["functions"]) == ["f"]
    assert ovra_python.get_method_names(path) == ["f"]


def test_chained_assignment_shares_one_value():
    # Like the assignment itself, which binds one object to every name; a long
    # chain of names therefore costs one evaluation of the value.
    names = [f"a{i}" for i in range(2000)]
    source = " = ".join(names) + " = [" + ", ".join(map(str, range(2000))) + "]\n"
    constants = analyze(source)["constants"]
    assert list(constants) == names
    assert constants["a0"]["value"] == list(range(2000)) and constants["a0"]["type"] == "list"
    assert all(constants[name]["value"] is constants["a0"]["value"] for name in names)


@pytest.mark.parametrize("enabled", [True, False])
@pytest.mark.parametrize("call", [
    lambda: analyze("import os\ndef f(x=[]):\n    return x\nclass K:\n    pass\n"),
    lambda: analyze("def f(:"),
    lambda: ovra_python.get_method_names(__file__),
    lambda: analyze("x = {[1]}"),  # raises TypeError: unhashable set element
])
def test_collector_state_is_restored(call, enabled):
    was = gc.isenabled()
    (gc.enable if enabled else gc.disable)()
    try:
        try:
            call()
        except TypeError:
            pass
        assert gc.isenabled() is enabled
    finally:
        (gc.enable if was else gc.disable)()
