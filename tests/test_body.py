import ast
import os
import subprocess
import sys
import textwrap
import threading

import pytest

from conftest import Unreadable, analyze

pytestmark = pytest.mark.skipif(
    analyze("def f(): pass")["functions"] == {}, reason="function records are not built yet"
)

BODY_KEYS = [
    "exceptions", "control_flow", "comprehensions", "context_managers", "has_yield", "returns",
    "async_info", "complexity", "pattern_matching", "loop_traits", "function_calls", "walrus_count",
    "state_effects", "local_variables", "literals", "safety_smells", "type_checks", "logging_calls",
    "has_recursion", "sloc",
]


def record(body: str, header: str = "def f(a, b, c):") -> dict:
    """The function record of `f` whose body is the given (dedented) text."""
    source = header + "\n" + textwrap.indent(textwrap.dedent(body), "    ")
    return analyze(source)["functions"]["f"]


def calls(rec: dict) -> list:
    """Call entries without the inferred type, which the type inference owns."""
    return [{k: v for k, v in e.items() if k != "inferred_return_type"} for e in rec["function_calls"]]


def test_pass_body_defaults():
    rec = record("pass")
    assert [k for k in rec if k in BODY_KEYS] == BODY_KEYS
    assert rec["exceptions"] == rec["control_flow"] == rec["local_variables"] == {}
    assert rec["comprehensions"] == rec["context_managers"] == rec["function_calls"] == rec["logging_calls"] == []
    assert rec["has_yield"] is False and rec["has_recursion"] is False
    assert rec["returns"] == {
        "num_returns": 0, "num_returns_with_value": 0, "num_returns_without_value": 0,
        "has_explicit_return": False, "may_return_none_implicitly": True,
    }
    assert rec["async_info"] == {"await_count": 0, "has_async_for": False, "has_async_with": False}
    assert rec["complexity"] == {"cyclomatic": 1, "max_nesting": 0}
    assert rec["pattern_matching"] == {"has_match": False, "match_count": 0}
    assert rec["loop_traits"] == {
        "has_for_else": False, "has_while_else": False, "has_break": False, "has_continue": False,
    }
    assert rec["walrus_count"] == 0
    assert rec["state_effects"] == {"has_global": False, "has_nonlocal": False, "self_mutations": []}
    assert rec["literals"] == {"has_fstring": False, "large_literals": []}
    assert rec["safety_smells"] == {
        "has_eval": False, "has_exec": False, "has_subprocess": False, "io_operations": [],
    }
    assert rec["type_checks"] == {"isinstance_count": 0, "assert_count": 0, "typing_cast_count": 0}
    assert rec["sloc"] == 1


@pytest.mark.parametrize("body,cyclomatic,max_nesting,sloc", [
    ("if a:\n    x = 1\nelif b:\n    x = 1", 3, 2, 4),
    ("if a:\n    pass\nelse:\n    pass", 2, 1, 3),
    ("try:\n    pass\nexcept A:\n    pass\nexcept B:\n    pass", 4, 1, 4),
    ("with open(p) as f, lock:\n    pass", 2, 1, 2),
    ("for x in a:\n    for y in x:\n        while y:\n            pass", 4, 3, 4),
    ("for x in a:\n    pass\nelse:\n    pass", 2, 1, 3),
    ("x = a and b or c", 3, 0, 1),
    ("x = a if b else c", 2, 0, 1),
    ("return f(a or b)", 2, 0, 1),
    ("match a:\n    case 1:\n        pass\n    case _:\n        pass", 4, 1, 3),
    ("async def g():\n    async for x in a:\n        pass", 1, 0, 1),
    # Conditions of the branch tests count too; for/with expressions are not walked.
    ("while a and b:\n    pass", 3, 1, 2),
    ("for x in (a if b else c):\n    pass", 2, 1, 2),
    # try/except* is not looked into.
    ("try:\n    if a: pass\nexcept* E:\n    pass", 1, 0, 1),
    # The else and finally blocks of a try are not walked.
    ("try:\n    pass\nexcept E:\n    pass\nelse:\n    if a: pass\nfinally:\n    if b: pass", 3, 1, 3),
])
def test_complexity_nesting_and_sloc(body, cyclomatic, max_nesting, sloc):
    rec = record(body)
    assert rec["complexity"] == {"cyclomatic": cyclomatic, "max_nesting": max_nesting}
    assert rec["sloc"] == sloc


def test_async_statements():
    rec = record("""\
        async for x in a:
            await g(x)
        async with b:
            if x:
                pass
        """, header="async def f():")
    assert rec["async_info"] == {"await_count": 1, "has_async_for": True, "has_async_with": True}
    assert rec["complexity"] == {"cyclomatic": 4, "max_nesting": 2}
    assert rec["context_managers"] == []


def test_nested_definitions_are_not_entered():
    rec = record("""\
        def inner():
            if a:
                return g(1)
        class C:
            x = h()
        lam = lambda: k()
        """)
    assert rec["sloc"] == 3
    assert rec["complexity"] == {"cyclomatic": 1, "max_nesting": 0}
    assert rec["returns"]["num_returns"] == 0
    assert rec["function_calls"] == []
    assert rec["local_variables"] == {"lam": "assigned"}


@pytest.mark.parametrize("body,expected", [
    ("try:\n    pass\nexcept (KeyError, ValueError) as e:\n    pass",
     {"catches_Unknown": True, "binds_e": "Unknown"}),
    ("try:\n    pass\nexcept errors.NotFound as e:\n    pass\nexcept:\n    pass",
     {"catches_NotFound": True, "binds_e": "NotFound", "catches_all": True}),
    ("try:\n    pass\nexcept E:\n    pass\nelse:\n    pass\nfinally:\n    pass",
     {"has_try_else": True, "has_finally": True, "catches_E": True}),
    ("try:\n    pass\nfinally:\n    pass", {"has_finally": True}),
    ('raise errors.NotFound("x")', {"raises_NotFound": True}),
    ("raise", {"has_reraise": True}),
    ("raise ValueError from exc", {"raises_ValueError": True, "has_chained_exception": True,
                                   "chains_from_exc": True}),
    ("raise make()() from None", {"raises_make": True, "has_chained_exception": True,
                                  "chains_from_Unknown": True}),
    # Raises inside handlers are seen; the try's own facts come first.
    ("try:\n    raise A\nexcept B:\n    raise C", {"catches_B": True, "raises_A": True, "raises_C": True}),
])
def test_exceptions(body, expected):
    exceptions = record(body)["exceptions"]
    assert exceptions == expected
    assert list(exceptions) == list(expected)


@pytest.mark.parametrize("body,with_value,without_value", [
    ("return", 0, 1),
    ("return None", 0, 1),
    ("return x", 1, 0),
    ("return 0", 1, 0),
    ("if a:\n    return x\nreturn", 1, 1),
])
def test_returns(body, with_value, without_value):
    returns = record(body)["returns"]
    assert returns["num_returns"] == with_value + without_value
    assert returns["num_returns_with_value"] == with_value
    assert returns["num_returns_without_value"] == without_value
    assert returns["has_explicit_return"] is True
    assert returns["may_return_none_implicitly"] is False


def test_control_flow_and_loop_traits():
    rec = record("""\
        while a:
            continue
        else:
            pass
        for x in b:
            if x:
                break
        """)
    assert list(rec["control_flow"].items()) == [("has_while", True), ("has_for", True), ("has_if", True)]
    assert rec["loop_traits"] == {
        "has_for_else": False, "has_while_else": True, "has_break": True, "has_continue": True,
    }


def test_context_managers():
    rec = record("with open(p) as f, lock, a.b.c(), (x or y):\n    pass")
    assert rec["context_managers"] == [
        {"type": "open", "line_number": 2}, {"type": "lock", "line_number": 2},
        {"type": "c", "line_number": 2}, {"type": "Unknown", "line_number": 2},
    ]
    # The context expressions are not walked.
    assert rec["function_calls"] == []


def test_assignment_targets_and_declarations():
    rec = record("""\
        global counter
        nonlocal total
        x: int
        y = z = 1
        a, [b, *rest] = g
        self.a, self.b = 1, 2
        other.c = 1
        self.d += 1
        self.e: int = 0
        d[k] = v
        self.x.y = 1
        """)
    assert rec["local_variables"] == {
        "global_counter": "global", "nonlocal_total": "nonlocal",
        "x": "assigned", "y": "assigned", "z": "assigned", "a": "assigned", "b": "assigned",
    }
    assert rec["state_effects"] == {
        "has_global": True, "has_nonlocal": True,
        "self_mutations": [
            {"attribute": "a", "line_number": 7}, {"attribute": "b", "line_number": 7},
            {"attribute": "d", "line_number": 9}, {"attribute": "e", "line_number": 10},
        ],
    }


@pytest.mark.parametrize("body,has_yield", [
    ("yield 1", True),
    ("yield from g()", True),
    ("x = (yield)", False),
    ("return (yield)", False),
    ("def g():\n    yield 1", False),
])
def test_has_yield(body, has_yield):
    assert record(body)["has_yield"] is has_yield


@pytest.mark.parametrize("body,expected", [
    ("eval(s)", [{"name": "eval", "line_number": 2}]),
    ("exec(s)", [{"name": "exec", "line_number": 2}]),
    ("isinstance(x, int)", [{"name": "isinstance", "line_number": 2, "is_type_check": True}]),
    ("subprocess.run(cmd)", [{"name": "subprocess.run", "line_number": 2, "is_subprocess": True}]),
    ("logging.info('x')", [{"name": "logging.info", "line_number": 2, "is_logging": True}]),
    ("logger.info('x')", [{"name": "logger.info", "line_number": 2}]),
    ("typing.cast(int, x)", [{"name": "typing.cast", "line_number": 2, "is_type_cast": True}]),
    ("cast(int, x)", [{"name": "cast", "line_number": 2}]),
    ("f(n - 1)", [{"name": "f", "line_number": 2, "is_recursive": True}]),
    ("self.f()", [{"name": "self.f", "line_number": 2}]),
    ("threading.Thread(target=g)", [{"name": "threading.Thread", "line_number": 2, "is_io_operation": True}]),
    ("open(p).read()", [
        {"name": "unknown.read", "line_number": 2, "is_io_operation": True},
        {"name": "open", "line_number": 2, "is_io_operation": True},
    ]),
    ("str(x)", [{"name": "str", "line_number": 2, "is_type_constructor": True, "constructs_type": "str"}]),
    ("bytes(x)", [{"name": "bytes", "line_number": 2}]),
    ("Callable(x)", [{"name": "Callable", "line_number": 2, "is_higher_order": True}]),
    # First matching rule wins: "logging.open" is a logging call, not I/O.
    ("logging.open()", [{"name": "logging.open", "line_number": 2, "is_logging": True}]),
    # Outer call first, then the callee, the arguments and the keyword values.
    ("a.b().c(g(), k=h())", [
        {"name": "unknown.c", "line_number": 2}, {"name": "a.b", "line_number": 2},
        {"name": "g", "line_number": 2}, {"name": "h", "line_number": 2},
    ]),
    ("x[0]()", [{"name": "unknown", "line_number": 2}]),
])
def test_call_classification(body, expected):
    assert calls(record(body, header="def f(n):")) == expected


def test_call_effects_on_the_record():
    rec = record("""\
        eval(s)
        exec(s)
        isinstance(a, int)
        isinstance(b, str)
        subprocess.call(c)
        typing.cast(int, x)
        f()
        logging.warning('w')
        data = fh.read()
        """)
    assert rec["safety_smells"] == {
        "has_eval": True, "has_exec": True, "has_subprocess": True,
        "io_operations": [{"operation": "fh.read", "line_number": 10}],
    }
    assert rec["type_checks"] == {"isinstance_count": 2, "assert_count": 0, "typing_cast_count": 1}
    assert rec["has_recursion"] is True


def test_logging_entries_are_the_call_entries():
    rec = record("x = 1\nlogging.info(g())\nlogging.debug('d')")
    by_name = {e["name"]: e for e in rec["function_calls"]}
    assert [e["name"] for e in rec["function_calls"]] == ["logging.info", "g", "logging.debug"]
    assert len(rec["logging_calls"]) == 2
    assert rec["logging_calls"][0] is by_name["logging.info"]
    assert rec["logging_calls"][1] is by_name["logging.debug"]


@pytest.mark.parametrize("body,types", [
    ("x = int(a)", ["int"]),
    ("x = foo(a)", ["unknown"]),
    ("x = a.int()", ["unknown"]),
])
def test_inferred_return_type(body, types):
    assert [e["inferred_return_type"] for e in record(body)["function_calls"]] == types


@pytest.mark.parametrize("body,names", [
    # Walked places.
    ("if g():\n    h()", ["g", "h"]),
    ("while g():\n    pass", ["g"]),
    ("assert g(), h()", ["g"]),
    ("x: int = g()", ["g"]),
    ("x += g()", ["g"]),
    ("match g():\n    case 1:\n        h()", ["g", "h"]),
    ("return [g(x) for x in h()]", ["g"]),
    ("x = {g(k): h(v) for k, v in items}", []),
    ("x = {'k': g(), h(): 1}", ["g"]),
    ("x = f'{g()}'", ["g"]),
    ("x = (y := g())", ["g"]),
    ("x = -g() + h()[i()] < j()", ["g", "h", "i", "j"]),
    ("x = await g()", ["g"]),
    ("x = g().attr", ["g"]),
    ("x = (g(), [h()], {i()})", ["g", "h", "i"]),
    # Not walked.
    ("for x in g():\n    h()", ["h"]),
    ("with g() as x:\n    h()", ["h"]),
    ("raise g()", []),
    ("del g()[0]", []),
    ("x = lambda: g()", []),
    ("x = g(*h(), **i())", ["g", "i"]),
    ("yield g()", []),
    ("x[g()] = 1", []),
])
def test_walked_expressions(body, names):
    assert [e["name"] for e in record(body, header="async def f():")["function_calls"]] == names


@pytest.mark.parametrize("body,expected", [
    ("[x for x in y if x if z for w in x]",
     {"type": "list", "line_number": 2, "if_clauses": 2, "has_if_clause": True, "nesting_depth": 2}),
    ("{x for x in y}", {"type": "set", "line_number": 2, "has_if_clause": False, "nesting_depth": 1}),
    ("{k: v for k, v in items}", {"type": "dict", "line_number": 2, "has_if_clause": False, "nesting_depth": 1}),
    ("sum(x for x in y if x for z in w if z if x if y)",
     {"type": "generator", "line_number": 2, "if_clauses": 3, "has_if_clause": True, "nesting_depth": 2}),
])
def test_comprehension_entries(body, expected):
    entries = record(body)["comprehensions"]
    assert entries == [expected]
    assert list(entries[0]) == list(expected)


def test_nested_comprehensions_in_element_are_listed():
    rec = record("x = [[a for a in r] for r in rows]")
    assert [c["type"] for c in rec["comprehensions"]] == ["list", "list"]


@pytest.mark.parametrize("body,expected", [
    ('x = "a" * 200', []),
    ("x = '" + "a" * 100 + "'", []),
    ("x = '" + "a" * 101 + "'", [{"type": "string", "size": 101, "line_number": 2}]),
    # Size in UTF-8 bytes: 51 two-byte characters.
    ("x = '" + "é" * 51 + "'", [{"type": "string", "size": 102, "line_number": 2}]),
    ("x = '" + "\\ud800" * 34 + "'", [{"type": "string", "size": 102, "line_number": 2}]),
    # A long docstring is a string constant like any other.
    ('"""' + "d" * 120 + '"""', [{"type": "string", "size": 120, "line_number": 2}]),
    ("x = 1000000", []),
    ("x = -1000000", []),
    ("x = 1000001", [{"type": "int", "value": 1000001, "line_number": 2}]),
    # The minus sign is an operator: the constant itself is positive.
    ("x = -1000001", [{"type": "int", "value": 1000001, "line_number": 2}]),
    ("x = 2 ** 70 + 123456789012345678901234", []),
    ("x = 10000000.0", []),
    ("x = b'" + "a" * 200 + "'", []),
    ("x = {'k': 5000000}", [{"type": "int", "value": 5000000, "line_number": 2}]),
    # Dict keys are not walked.
    ("x = {5000000: 'k'}", []),
])
def test_large_literals(body, expected):
    assert record(body)["literals"]["large_literals"] == expected


@pytest.mark.parametrize("class_name", ["str", "int"])
def test_constant_of_a_foreign_class_named_like_a_builtin(monkeypatch, class_name):
    real_parse = ast.parse
    foreign = type(class_name, (), {"__len__": lambda self: 500, "__index__": lambda self: 10 ** 9})

    def parse(text, *args, **kwargs):
        tree = real_parse(text, *args, **kwargs)
        for node in ast.walk(tree):
            if type(node).__name__ == "Constant":
                node.value = foreign()
        return tree

    with monkeypatch.context() as patch:
        patch.setattr(ast, "parse", parse)
        rec = record("x = 'abc'")
    assert rec["literals"]["large_literals"] == []


def test_fstring_and_walrus():
    rec = record("if (n := len(a)) > 1:\n    print(f'{n}')")
    assert rec["literals"]["has_fstring"] is True
    assert rec["walrus_count"] == 1


@pytest.fixture
def deep_parse():
    """Lets the parser build very deep trees."""
    limit = sys.getrecursionlimit()
    sys.setrecursionlimit(30000)
    yield
    sys.setrecursionlimit(limit)


def test_deeply_nested_expression(deep_parse):
    rec = record("x = " + "+".join(["1"] * 2900) + "\nreturn g(" + "+".join(["h()"] * 2900) + ")")
    assert rec["sloc"] == 2
    assert rec["local_variables"] == {"x": "assigned"}
    assert [e["name"] for e in rec["function_calls"]] == ["g"] + ["h"] * 2900


@pytest.mark.parametrize("stack_size", [0, 1 << 20])
def test_too_deep_expression_drops_only_the_deep_part(deep_parse, stack_size):
    source = "def f():\n    x = 1\n    return g(" + "+".join(["h()"] * 9000) + ")\n"
    results = []
    old = threading.stack_size(stack_size)
    try:
        thread = threading.Thread(target=lambda: results.append(analyze(source)))
        thread.start()
        thread.join()
    finally:
        threading.stack_size(old)
    rec = results[0]["functions"]["f"]
    names = [e["name"] for e in rec["function_calls"]]
    assert names[0] == "g" and set(names[1:]) == {"h"} and 1000 < len(names) < 9001
    assert rec["sloc"] == 2 and rec["returns"]["num_returns"] == 1


def test_deep_elif_chain():
    depth = 400
    rec = record("if a:\n    pass\n" + "elif a:\n    pass\n" * depth)
    assert rec["complexity"] == {"cyclomatic": depth + 2, "max_nesting": depth + 1}
    assert rec["sloc"] == 2 * depth + 2




@pytest.fixture
def broken(patched_node):
    """Analyses `f` whose n-th node (breadth first) of a kind fails to read one attribute."""

    def run(body, kind, attr, nth=0):
        with patched_node(kind, attr, nth):
            return record(body)

    return run


# Reads inside a handed-over expression, and the optional statement reads, are skipped.
@pytest.mark.parametrize("body,kind,attr,nth,names,extra", [
    ("assert h([y for y in z], g())", "ListComp", "lineno", 0, ["h", "g"], {"comprehensions": []}),
    ("assert h(k(m()), g())", "Call", "func", 1, ["h", "m", "g"], {}),
    ("assert h(k(m()), g())", "Name", "id", 1, ["h", "g"], {}),
    ("assert h(g(), x=k())", "Call", "args", 0, ["h", "k"], {}),
    ("assert h('" + "a" * 200 + "')", "Constant", "value", 0, ["h"], {"literals": {"has_fstring": False, "large_literals": []}}),
    ("assert g()", "Assert", "test", 0, [], {"type_checks": {"isinstance_count": 0, "assert_count": 1, "typing_cast_count": 0}}),
    ("if g():\n    h()", "If", "test", 0, ["h"], {"control_flow": {"has_if": True}}),
    ("match g():\n    case 1:\n        h()", "Match", "subject", 0, ["h"], {}),
    ("with a:\n    h()", "With", "body", 0, [],
     {"context_managers": [{"type": "a", "line_number": 2}], "complexity": {"cyclomatic": 2, "max_nesting": 0}}),
    ("try:\n    h()\nfinally:\n    pass", "Try", "finalbody", 0, ["h"], {"exceptions": {}}),
    ("try:\n    h()\nexcept E as e:\n    g()", "ExceptHandler", "type", 0, ["h", "g"], {"exceptions": {}}),
    ("try:\n    h()\nexcept E as e:\n    g()", "ExceptHandler", "name", 0, ["h", "g"],
     {"exceptions": {"catches_E": True}}),
    ("x, self.a = h()", "Attribute", "lineno", 0, ["h"],
     {"local_variables": {"x": "assigned"}, "state_effects": {"has_global": False, "has_nonlocal": False, "self_mutations": []}}),
])
def test_tolerated_failures(broken, body, kind, attr, nth, names, extra):
    rec = broken(body, kind, attr, nth)
    assert [e["name"] for e in rec["function_calls"]] == names
    for key, value in extra.items():
        assert rec[key] == value


def test_unreadable_call_line_leaves_the_key_out(broken):
    rec = broken("assert h(g())", "Call", "lineno", 1)
    assert calls(rec) == [{"name": "h", "line_number": 2}, {"name": "g"}]
    rec = broken("assert open(p)", "Call", "lineno")
    assert rec["safety_smells"]["io_operations"] == [{"operation": "open"}]


# Required reads, and failures on the handed-over expression itself, fail the analysis.
@pytest.mark.parametrize("body,kind,attr", [
    ("if a:\n    pass", "If", "body"),
    ("while a:\n    pass", "While", "orelse"),
    ("try:\n    pass\nexcept E:\n    pass", "ExceptHandler", "body"),
    ("with a:\n    pass", "withitem", "context_expr"),
    ("with a:\n    pass", "With", "lineno"),
    ("raise E", "Raise", "cause"),
    ("return x", "Return", "value"),
    ("assert [y for y in z]", "ListComp", "lineno"),
    ("assert g()", "Name", "id"),
    ("x = '" + "a" * 200 + "'", "Constant", "value"),
])
def test_required_failures_are_raised(broken, body, kind, attr):
    with pytest.raises(Unreadable):
        broken(body, kind, attr)


# A node read that drops the node being walked from its list must not leave the
# walker with a freed node; the debug allocator makes such a use crash.
DROP_SCRIPT = """
import ast, sys
import ovra_python

source, kind, attr, owner_kind, owner_attr = sys.argv[1:]
real_parse = ast.parse

def parse(text, *args, **kwargs):
    tree = real_parse(text, *args, **kwargs)
    owner = next(n for n in ast.walk(tree) if type(n).__name__ == owner_kind)
    node = next(n for n in ast.walk(tree) if type(n).__name__ == kind)
    real = getattr(node, attr)

    def read(self):
        getattr(owner, owner_attr).clear()
        return real

    node.__class__ = type(kind, (type(node),), {attr: property(read)})
    return tree

ast.parse = parse
record = ovra_python.analyze_python_code(source, None)["functions"]["f"]
print(record["sloc"], [e["name"] for e in record["function_calls"]])
"""


@pytest.mark.parametrize("source,kind,attr,owner_kind,owner_attr,expected", [
    ("def f():\n    if a:\n        g()\n    else:\n        h()\n", "If", "test", "FunctionDef", "body", "3 ['g', 'h']"),
    ("def f():\n    x = (g(), h())\n", "Call", "func", "Tuple", "elts", "1 ['g']"),
    ("def f():\n    self.a, b = g()\n", "Attribute", "value", "Tuple", "elts", "1 ['g']"),
])
def test_node_dropped_during_its_walk(source, kind, attr, owner_kind, owner_attr, expected):
    env = dict(os.environ, PYTHONMALLOC="debug", PYTHONPATH=os.pathsep.join(sys.path))
    done = subprocess.run([sys.executable, "-c", DROP_SCRIPT, source, kind, attr, owner_kind, owner_attr],
                          env=env, capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == expected
