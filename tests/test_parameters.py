import pytest

from conftest import analyze


def params(source: str, name: str = "f") -> dict:
    record = analyze(source)
    assert record["success"] is True
    return record["functions"][name]["parameters"]


def test_kinds_keys_and_positions():
    p = params("def f(a, /, b, *args, c, d=1, **kw): pass")
    assert list(p) == ["pos_a", "b", "kw_c", "kw_d", "*args", "**kw"]
    assert p["pos_a"] == {"name": "a", "position": 0, "kind": "positional_only", "has_default": False}
    assert p["b"] == {"name": "b", "position": 1, "kind": "regular", "has_default": False}
    assert p["kw_c"] == {"name": "c", "position": 0, "kind": "keyword_only", "has_default": False}
    assert p["*args"] == {"name": "args", "kind": "vararg", "has_default": False}
    assert p["**kw"] == {"name": "kw", "kind": "kwarg", "has_default": False}
    assert p["kw_d"]["position"] == 1
    assert [k for k, v in p.items() if v["has_default"]] == ["kw_d"]


def test_no_parameters_give_an_empty_map():
    assert params("def f(): pass") == {}


def test_same_name_in_different_kinds_never_collides():
    p = params("def f(x, /, *, y, **x2): pass")
    assert list(p) == ["pos_x", "kw_y", "**x2"]


def test_annotated_regular_parameter_has_type_details():
    p = params("def f(x: Optional[int] = None): pass")["x"]
    assert list(p) == [
        "name", "position", "kind", "has_default", "type", "type_analysis", "is_optional", "base_type",
        "is_generic", "is_union", "is_literal", "is_protocol", "is_callable", "type_nesting_depth",
        "type_parameter_count", "default", "default_type", "default_is_mutable", "default_type_compatible",
    ]
    assert p["type"] == "Optional[int]"
    assert p["is_optional"] is True and p["base_type"] == "int"
    assert p["is_generic"] is True and p["type_nesting_depth"] == 1 and p["type_parameter_count"] == 1
    assert p["type_analysis"]["is_optional"] is True
    assert p["has_default"] is True
    assert p["default"] is None and p["default_type"] == "None"
    # An optional annotation accepts None.
    assert p["default_type_compatible"] is True


def test_positional_only_annotation_has_type_details():
    p = params("def f(x: List[int], /): pass")["pos_x"]
    assert p["type"] == "List[int]"
    assert p["is_generic"] is True
    assert "base_type" not in p and p["is_optional"] is False


def test_type_mismatch_warning():
    p = params('def f(x: int = "a"): pass')["x"]
    assert p["default"] == "a" and p["default_type"] == "str"
    assert p["default_type_compatible"] is False
    assert p["type_mismatch_warning"] == "Parameter type 'int' may not match default type 'str'"
    assert list(p)[-5:] == [
        "default", "default_type", "default_is_mutable", "default_type_compatible", "type_mismatch_warning",
    ]


@pytest.mark.parametrize("annotation,default,compatible", [
    ("float", "1", True),
    ("str", "b'x'", False),
    ("Union[str, int]", "3", True),
    ("int | None", "None", True),
])
def test_default_compatibility(annotation, default, compatible):
    p = params(f"def f(x: {annotation} = {default}): pass")["x"]
    assert p["default_type_compatible"] is compatible
    assert ("type_mismatch_warning" in p) is (not compatible)


def test_keyword_only_and_variadic_annotations_carry_only_the_type():
    p = params('def f(*args: int, key: str = "k", **kw: Any): pass')
    assert p["kw_key"] == {
        "name": "key", "position": 0, "kind": "keyword_only", "has_default": True, "type": "str",
        "default": "k", "default_type": "str", "default_is_mutable": False, "default_type_compatible": True,
    }
    assert p["*args"] == {"name": "args", "kind": "vararg", "has_default": False, "type": "int"}
    assert p["**kw"] == {"name": "kw", "kind": "kwarg", "has_default": False, "type": "Any"}


def test_unannotated_default_has_no_compatibility_keys():
    p = params("def f(x=1.5): pass")["x"]
    assert p == {
        "name": "x", "position": 0, "kind": "regular", "has_default": True,
        "default": 1.5, "default_type": "float", "default_is_mutable": False,
    }


@pytest.mark.parametrize("source,expected", [
    # Defaults align with the ordinary parameters from the right; those that
    # fall on positional-only parameters are not attached.
    ("def f(a=1, /, b=2): pass", {"pos_a": None, "b": 2}),
    ("def f(a, b=5, /, c=6, d=7): pass", {"pos_a": None, "pos_b": None, "c": 6, "d": 7}),
    ("def f(a, b=1, c=2): pass", {"a": None, "b": 1, "c": 2}),
    ("def f(*, a, b=2, c): pass", {"kw_a": None, "kw_b": 2, "kw_c": None}),
    ("def f(a=1, *, b=2): pass", {"a": 1, "kw_b": 2}),
])
def test_default_alignment(source, expected):
    p = params(source)
    assert {k: (v["default"] if v["has_default"] else None) for k, v in p.items()} == expected
    assert all(("default" in v) is v["has_default"] for v in p.values())


@pytest.mark.parametrize("default,literal,inferred", [
    ("-1", None, "int"),
    ("os.sep", None, "unknown"),
    ("(1, 'a')", (1, "a"), "tuple"),
    ("{'a': [1, 2], 'b': (3,)}", {"a": [1, 2], "b": (3,)}, "dict"),
    ("None", None, "None"),
    ("...", Ellipsis, "ellipsis"),
    ("'\\ud800'", "\ud800", "str"),
])
def test_default_values(default, literal, inferred):
    p = params(f"def f(x={default}): pass")["x"]
    assert p["default"] == literal and p["default_type"] == inferred


@pytest.mark.parametrize("default,mutable", [
    ("[]", True),
    ("{}", True),
    ("{1}", True),
    ("list()", True),
    ("dict(a=1)", True),
    ("set()", True),
    ("()", False),
    ("tuple()", False),
    ("frozenset()", False),
    ("collections.defaultdict(list)", False),
    ("list.copy()", False),
    ("[i for i in range(3)]", False),
    ("None", False),
])
def test_mutable_defaults(default, mutable):
    assert params(f"def f(items={default}): pass")["items"]["default_is_mutable"] is mutable
    assert params(f"def f(*, items={default}): pass")["kw_items"]["default_is_mutable"] is mutable


def test_lone_surrogate_annotation_reaches_the_warning():
    p = params("def f(x: '\\ud800' = 1): pass")["x"]
    assert p["type"] == "\ud800"
    assert p["type_mismatch_warning"] == "Parameter type '\ud800' may not match default type 'int'"
