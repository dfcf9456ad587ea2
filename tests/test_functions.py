import ast

import pytest

from conftest import Unreadable, analyze
from conftest import unreadable as _unreadable

BODY_KEYS = [
    "exceptions", "control_flow", "comprehensions", "context_managers", "has_yield", "is_async_generator",
    "returns", "async_info", "complexity", "pattern_matching", "loop_traits", "function_calls", "walrus_count",
    "state_effects", "local_variables", "literals", "safety_smells", "type_checks", "logging_calls",
    "has_recursion", "sloc",
]
RETURN_KEYS = [
    "return_type", "return_type_analysis", "return_is_optional", "return_base_type", "return_is_generic",
    "return_is_union", "return_is_literal", "return_is_protocol", "return_is_callable",
]
NO_TYPES = {
    "uses_generics": False, "uses_unions": False, "uses_literals": False, "uses_protocols": False,
    "uses_callables": False, "max_type_nesting_depth": 0, "total_type_parameters": 0, "type_mismatches": 0,
    "mutable_defaults": 0, "type_sophistication_score": 0, "type_quality_score": 100, "type_quality_issues": 0,
}


def function(source: str, name: str = "f") -> dict:
    record = analyze(source)
    assert record["success"] is True, record.get("error")
    return record["functions"][name]


def test_key_order():
    rec = function("""
        @app.route("/x")
        def f(x) -> Optional[int]:
            \"\"\"Doc.\"\"\"
            return x
    """)
    assert list(rec) == (
        ["name", "line_number", "docstring", "is_async", "decorators", "parameters"]
        + RETURN_KEYS + BODY_KEYS + ["docstring_parity", "type_summary"]
    )
    assert list(rec["type_summary"]) == list(NO_TYPES)
    assert list(rec["docstring_parity"]) == [
        "has_docstring", "documented_params", "actual_params", "param_parity", "has_return_doc",
        "has_actual_return", "return_parity", "has_raises_doc", "has_actual_raises", "raises_parity",
        "overall_parity_score",
    ]


def test_basic_facts_and_body_copy():
    rec = function("""
        import os

        def f(x):
            if x:
                return 1
    """)
    assert rec["name"] == "f" and rec["line_number"] == 4
    assert rec["is_async"] is False and rec["decorators"] == []
    assert "return_type" not in rec
    assert rec["returns"]["has_explicit_return"] is True
    assert rec["control_flow"]
    assert rec["sloc"] == 2
    assert rec["type_summary"] == NO_TYPES


@pytest.mark.parametrize("body,docstring", [
    ("...", Ellipsis),
    ("pass", None),
    ("42", 42),
    ("'Doc text.'", "Doc text."),
    ("x = 'not a docstring'", None),
    ("'\\ud800 broken'", "\ud800 broken"),
])
def test_docstring(body, docstring):
    assert function(f"def f():\n    {body}\n")["docstring"] == docstring


@pytest.mark.parametrize("source,is_async,has_yield,async_gen", [
    ("async def f():\n    yield 1", True, True, True),
    ("def f():\n    yield 1", False, True, False),
    ("async def f():\n    return 1", True, False, False),
    ("def f():\n    pass", False, False, False),
])
def test_async_and_generators(source, is_async, has_yield, async_gen):
    rec = function(source)
    assert rec["is_async"] is is_async
    assert rec["has_yield"] is has_yield
    assert rec["is_async_generator"] is async_gen


@pytest.mark.parametrize("decorator,expected", [
    ("functools.lru_cache(maxsize=None)",
     {"name": "lru_cache", "is_builtin": True, "has_args": True, "num_args": 0, "num_kwargs": 1}),
    ("property", {"name": "property", "is_builtin": True, "has_args": False}),
    ('app.route("/x", methods=["GET"])',
     {"name": "route", "is_builtin": False, "has_args": True, "num_args": 1, "num_kwargs": 1}),
    ("functools.wraps(g)", {"name": "wraps", "is_builtin": True, "has_args": True, "num_args": 1, "num_kwargs": 0}),
    ("a.b.c.login_required", {"name": "login_required", "is_builtin": False, "has_args": False}),
    ("handlers[0]", {"name": "<Subscript>", "is_builtin": False, "has_args": False}),
    ("make()()", {"name": "make", "is_builtin": False, "has_args": True, "num_args": 0, "num_kwargs": 0}),
])
def test_decorator_records(decorator, expected):
    rec = function(f"@{decorator}\ndef f(): pass\n")
    assert rec["decorators"] == [expected]
    assert list(rec["decorators"][0]) == list(expected)


def test_decorators_keep_source_order():
    rec = function("@staticmethod\n@cached_property\n@custom\ndef f(): pass\n")
    assert [(d["name"], d["is_builtin"]) for d in rec["decorators"]] == [
        ("staticmethod", True), ("cached_property", True), ("custom", False),
    ]


@pytest.mark.parametrize("annotation,expected", [
    ("None", {"return_type": "unknown", "return_is_optional": False, "return_is_generic": False}),
    ("Optional[int]", {"return_type": "Optional[int]", "return_is_optional": True, "return_base_type": "int",
                       "return_is_generic": True}),
    ("int | None", {"return_type": "int | None", "return_is_optional": True, "return_base_type": "int",
                    "return_is_union": True}),
    ("Callable[[int], str]", {"return_is_callable": True, "return_is_optional": False}),
    ("Literal['a']", {"return_is_literal": True}),
])
def test_return_type(annotation, expected):
    rec = function(f"def f() -> {annotation}: pass\n")
    assert {k: rec[k] for k in expected} == expected
    keys = [k for k in rec if k.startswith("return_")]
    assert keys == [k for k in RETURN_KEYS if k != "return_base_type" or rec["return_is_optional"]]
    assert rec["return_type_analysis"]["is_optional"] is rec["return_is_optional"]


def test_same_name_twice_keeps_first_position_with_second_record():
    record = analyze("def f(): pass\ndef g(): pass\nasync def f(x): pass\n")
    assert list(record["functions"]) == ["f", "g"]
    assert record["functions"]["f"]["is_async"] is True
    assert record["functions"]["f"]["line_number"] == 3


def test_methods_are_not_function_records():
    record = analyze("class C:\n    def m(self): pass\n\nif True:\n    def h(): pass\n")
    assert record["functions"] == {}


# ---------------------------------------------------------------- docstring parity

def parity(source: str) -> dict:
    return function(source)["docstring_parity"]


def test_no_docstring_gives_a_single_key():
    assert parity("def f(a): return a") == {"has_docstring": False}


@pytest.mark.parametrize("source,expected", [
    ('def f():\n    "Do the thing."',
     dict(documented_params=0, actual_params=0, param_parity=True, has_return_doc=False, has_actual_return=False,
          return_parity=True, has_raises_doc=False, has_actual_raises=False, raises_parity=True,
          overall_parity_score=1.0)),
    ('def f(a, b):\n    "Args: a: first. Returns: sum."\n    return a + b',
     dict(documented_params=1, actual_params=2, param_parity=False, has_return_doc=True, has_actual_return=True,
          return_parity=True, has_raises_doc=False, has_actual_raises=False, raises_parity=True,
          overall_parity_score=(0.5 + 1 + 1) / 3)),
    ('def f():\n    "Raises ValueError sometimes."',
     dict(has_raises_doc=True, has_actual_raises=False, raises_parity=False, overall_parity_score=2 / 3)),
    ('def f(x):\n    "Check x and fail."\n    raise ValueError(x)',
     dict(documented_params=1, has_raises_doc=False, has_actual_raises=True, raises_parity=False)),
    ('def f():\n    "On error an exception is logged."\n    try:\n        g()\n    except OSError:\n        pass',
     dict(has_raises_doc=True, has_actual_raises=False)),
    ('def f():\n    "Yields rows."\n    yield 1',
     dict(has_return_doc=True, has_actual_return=False, return_parity=False)),
    ('def f():\n    "Nothing to report."\n    return',
     dict(has_return_doc=False, has_actual_return=True, return_parity=False)),
    ('def f():\n    ...',
     dict(documented_params=0, has_return_doc=False, has_raises_doc=False, overall_parity_score=1.0)),
    ('def f(x):\n    42',
     dict(documented_params=0, actual_params=1, param_parity=False)),
])
def test_parity(source, expected):
    p = parity(source)
    assert p["has_docstring"] is True
    assert {k: p[k] for k in expected} == expected


@pytest.mark.parametrize("signature,docstring,documented", [
    ("a, b", "A: THE FIRST. B IS SECOND", 2),  # the docstring is lowercased
    ("userId", "userid: the user", 0),  # the parameter name is not
    ("*, c", "c: the count", 1),
    ("*args", "args: extra values", 1),
    ("**kwargs", "Accepts kwargs as options", 1),
    ("kw_args", "args: keyword", 1),  # markers are removed anywhere in the key
    ("x", "fix it", 1),  # plain substring tests
    ("self", "the value itself is returned", 1),
    ("value", "param value", 1),
    ("value", "arg value", 1),
    ("value", "the value.", 0),
    ("é", "É: accented", 1),
    ("i", "İ: full case mapping adds a combining dot", 0),
])
def test_documented_params(signature, docstring, documented):
    p = parity(f'def f({signature}):\n    """{docstring}"""\n')
    assert p["documented_params"] == documented


def test_parity_with_lone_surrogate_in_docstring():
    p = parity('def f(a):\n    "a: \\ud800 returns it"\n    return a\n')
    assert p["documented_params"] == 1 and p["return_parity"] is True


# ---------------------------------------------------------------- type usage summary

def summary(source: str) -> dict:
    return function(source)["type_summary"]


@pytest.mark.parametrize("source,expected", [
    ("def f(a, b=1, *args, **kw): pass", NO_TYPES),
    ("def f(a: Dict[str, List[int]]) -> Optional[int]: pass",
     dict(uses_generics=True, uses_unions=False, max_type_nesting_depth=2, total_type_parameters=3,
          type_sophistication_score=5)),
    ("def f(cb: Callable[[int], str], p: SupportsProtocol): pass",
     dict(uses_callables=True, uses_protocols=True)),
    ("def f(x: Union[int, str]) -> Literal['a', 'b']: pass",
     dict(uses_unions=True, uses_literals=True, uses_generics=True)),
    ("def f(a=[], b={}, c: int = 'x'): pass",
     dict(mutable_defaults=2, type_mismatches=1, type_quality_issues=3, type_quality_score=70)),
    ("def f(*, x: List[int], y: int = 'no', z=[]): pass",
     dict(uses_generics=False, max_type_nesting_depth=0, total_type_parameters=0, type_mismatches=1,
          mutable_defaults=1, type_quality_score=80)),
    # The return annotation alone sets the flags, the depth and the count.
    ("def f(x) -> Dict[str, List[int]]: pass",
     dict(uses_generics=True, max_type_nesting_depth=2, total_type_parameters=2, type_sophistication_score=5)),
    ("def f() -> Callable[[], SupportsProtocol]: pass", dict(uses_callables=True, uses_protocols=True)),
    ("def f(x: int) -> int: pass",
     dict(uses_generics=False, max_type_nesting_depth=0, total_type_parameters=0, type_sophistication_score=0)),
])
def test_type_summary(source, expected):
    s = summary(source)
    assert list(s) == list(NO_TYPES)
    assert {k: s[k] for k in expected} == expected


@pytest.mark.parametrize("count,score", [(9, 10), (10, 0), (11, 0)])
def test_type_quality_score_is_clamped(count, score):
    args = ", ".join(f"a{i}=[]" for i in range(count))
    s = summary(f"def f({args}): pass")
    assert s["mutable_defaults"] == count and s["type_quality_score"] == score


def test_sophistication_score_sums_all_terms():
    # Literal[...] is not generic; the return Union[int, str] adds two type parameters.
    s = summary(
        "def f(a: Dict[str, List[int]], b: Callable[[int], str], c: MyProtocol, d: Literal['x'])"
        " -> Union[int, str]: pass"
    )
    assert (s["uses_generics"], s["uses_unions"], s["uses_literals"], s["uses_protocols"],
            s["uses_callables"]) == (True, True, True, True, True)
    assert (s["max_type_nesting_depth"], s["total_type_parameters"]) == (2, 6)
    assert s["type_sophistication_score"] == 2 + 2 + 1 + 1 + 3 + 2 + 3


# ---------------------------------------------------------------- failed reads



READS_SOURCE = '''
@app.route("/x", methods=["GET"])
def f(a, /, b=1, *args, c=2, **kw) -> int:
    "Doc."
    return b
'''


@pytest.fixture
def broken(patched_node):
    """The record of `f` in READS_SOURCE whose n-th node (breadth first) of a kind gives `getter` for one
    attribute."""

    def run(kind, attr, nth=0, getter=_unreadable):
        with patched_node(kind, attr, nth, getter):
            return function(READS_SOURCE)

    return run


@pytest.mark.parametrize("kind,attr,nth", [
    ("FunctionDef", "name", 0),
    ("FunctionDef", "lineno", 0),
    ("FunctionDef", "body", 0),
    ("FunctionDef", "decorator_list", 0),
    ("FunctionDef", "args", 0),
    ("FunctionDef", "returns", 0),
    ("Call", "func", 0),  # the decorator's name
    ("Attribute", "attr", 0),
    ("arguments", "args", 0),
    ("arguments", "kwonlyargs", 0),
    ("arguments", "vararg", 0),
    ("arguments", "kwarg", 0),
    ("arg", "arg", 0),
    ("arg", "annotation", 1),
    ("arg", "annotation", 4),
    ("Constant", "value", 0),  # a keyword-only default
    ("Name", "id", 0),  # the return annotation
])
def test_required_reads_fail_the_analysis(broken, kind, attr, nth):
    with pytest.raises(Unreadable):
        broken(kind, attr, nth)


@pytest.mark.parametrize("kind,attr,getter", [
    ("FunctionDef", "name", lambda self: 5),
    ("arg", "arg", lambda self: 5),
])
def test_names_must_be_str(broken, kind, attr, getter):
    with pytest.raises(TypeError, match="must be a str, not int"):
        broken(kind, attr, getter=getter)


DECORATOR = {"name": "route", "is_builtin": False, "has_args": True, "num_args": 1, "num_kwargs": 1}


# Optional reads and lists of the wrong type only leave keys or entries out.
@pytest.mark.parametrize("kind,attr,getter,decorators,defaults", [
    ("Call", "args", _unreadable, [dict(DECORATOR, num_args=None)], {"b": 1, "kw_c": 2}),
    ("Call", "keywords", lambda self: (), [dict(DECORATOR, num_kwargs=None)], {"b": 1, "kw_c": 2}),
    ("FunctionDef", "decorator_list", lambda self: (), [], {"b": 1, "kw_c": 2}),
    ("arguments", "defaults", _unreadable, [DECORATOR], {"kw_c": 2}),
    ("arguments", "defaults", lambda self: None, [DECORATOR], {"kw_c": 2}),
    ("arguments", "kw_defaults", _unreadable, [DECORATOR], {"b": 1}),
    ("arguments", "kw_defaults", lambda self: [ast.Constant(2), ast.Constant(3)], [DECORATOR], {"b": 1, "kw_c": 2}),
    ("arguments", "posonlyargs", _unreadable, [DECORATOR], {"b": 1, "kw_c": 2}),
])
def test_tolerated_failures(broken, kind, attr, getter, decorators, defaults):
    rec = broken(kind, attr, getter=getter)
    assert rec["decorators"] == [{k: v for k, v in d.items() if v is not None} for d in decorators]
    assert {k: p["default"] for k, p in rec["parameters"].items() if p["has_default"]} == defaults
    assert rec["return_type"] == "int"


def test_unreadable_positional_only_list_shifts_no_position(broken):
    p = broken("arguments", "posonlyargs", getter=lambda self: ())["parameters"]
    assert list(p) == ["b", "kw_c", "*args", "**kw"]
    assert p["b"]["position"] == 0


@pytest.mark.parametrize("lists,index,kind,attr,value", [
    (("decorator_list",), 0, "Name", "id", "dec"),
    (("args", "args"), 0, "arg", "arg", "a"),
    (("args", "defaults"), 0, "List", "elts", []),
    (("args", "kw_defaults"), 1, "Constant", "value", 3),
])
def test_list_emptied_by_a_read_is_not_crashed_on(monkeypatch, lists, index, kind, attr, value):
    real_parse = ast.parse

    def parse(text, *args, **kwargs):
        tree = real_parse(text, *args, **kwargs)
        holder = tree.body[0]
        for name in lists:
            holder = getattr(holder, name)

        def getter(self):
            holder.clear()
            return value

        node = holder[index]
        node.__class__ = type(kind, (type(node),), {attr: property(getter)})
        return tree

    monkeypatch.setattr(ast, "parse", parse)
    for _ in range(50):
        rec = function("@dec\ndef f(a=[1], b=2, *, c, d=3): pass\n")
        junk = [object() for _ in range(500)]  # reuse freed memory
        assert rec["name"] == "f" and junk
