"""Annotation texts, their predicates, literal values, inferred types and
compatibility, seen through the module-level constants of an analysis."""

import time

import pytest

from conftest import analyze

PREDICATES = ("is_generic", "is_union", "is_optional", "is_literal", "is_protocol", "is_callable")


def constant(source: str) -> dict:
    return analyze(source)["constants"]["x"]


def annotated(annotation_source: str, value_source: str = "1") -> dict:
    return constant(f"x: {annotation_source} = {value_source}\n")


def text_entry(text: str, value_source: str = "1") -> dict:
    """A constant annotated with a string, which is taken verbatim as the text."""
    return annotated(repr(text), value_source)


# ---------------------------------------------------------------- rendering


@pytest.mark.parametrize(
    "annotation, text",
    [
        ("int", "int"),
        ("typing.List", "typing.List"),
        ("a.b.c", "a.b.c"),
        ("Dict[str, List[int]]", "Dict[str, List[int]]"),
        ("Callable[[int], str]", "Callable[list[int], str]"),
        ('Literal["a", "b"]', "Literal[a, b]"),
        ('Literal["a"]', "Literal[unknown]"),
        ("Literal[1]", "Literal[unknown]"),
        ("tuple[int, ...]", "tuple[int, unknown]"),
        ("dict[str, None]", "dict[str, unknown]"),
        ("List[None]", "List[unknown]"),
        ("Tuple[()]", "Tuple[]"),
        ("list[int][str]", "list[int][str]"),
        ("Annotated[int, 'meta']", "Annotated[int, meta]"),
        ("'MyClass'", "MyClass"),
        ("'List[\"Fwd\"]'", 'List["Fwd"]'),
        ("None", "unknown"),
        ("1", "unknown"),
        ("f()", "unknown"),
        ("(int, str)", "tuple[int, str]"),
        ("()", "tuple[]"),
        ("[int]", "list[int]"),
        ("[int, str]", "list"),
        ("[]", "list"),
        # `|` unions; a None operand stands for None
        ("int | None", "int | None"),
        ("None | int", "None | int"),
        ("int | str | None", "int | str | None"),
        ("int | 'Fwd'", "int | Fwd"),
        ("int | 1", "int | unknown"),
        ("Dict[str, int | None]", "Dict[str, int | None]"),
        ("Optional[int | None]", "Optional[unknown]"),
        ("List[int] | None", "List[int] | None"),
        ("int + str", "unknown"),
        ("int & None", "unknown"),
    ],
)
def test_annotation_text(annotation, text):
    assert annotated(annotation)["annotation"] == text


def test_string_annotation_with_lone_surrogate_is_kept():
    entry = annotated(r"'X\ud800'", r"'\udc00'")
    assert entry["annotation"] == "X\ud800"
    assert entry["value"] == "\udc00"
    assert entry["type_mismatch_warning"] == "Annotation 'X\ud800' may not match inferred type 'str'"


# ---------------------------------------------------------------- predicates


@pytest.mark.parametrize(
    "text, true_predicates",
    [
        ("int", set()),
        ("unknown", set()),
        ("List[int]", {"is_generic"}),
        ("Optional[int]", {"is_generic", "is_optional"}),
        ("Union[int, None]", {"is_generic", "is_union", "is_optional"}),
        ("Union[int, str]", {"is_generic", "is_union"}),
        ("int | str | None", {"is_union", "is_optional"}),
        ("int|None", {"is_union", "is_optional"}),
        ("None|int", {"is_union", "is_optional"}),
        ("a|b", {"is_union"}),
        ("NoneType | int", {"is_union"}),
        ("Literal[a|b]", {"is_literal"}),
        ("Literal[a | b]", {"is_literal", "is_union"}),
        ("Literal[1, 2]", {"is_literal"}),
        ("typing_extensions.Literal[x]", {"is_literal", "is_generic"}),
        ("MyLiteral[x]", {"is_generic"}),
        ("Callable", {"is_callable"}),
        ("MyCallable", set()),
        ("Callable[[int], str]", {"is_callable", "is_generic"}),
        ("typing.Callable[..., int]", {"is_callable", "is_generic"}),
        ("collections.abc.Callable[[int], str]", {"is_callable", "is_generic"}),
        ("collections.abc.Callable", {"is_callable"}),
        ("MyProtocolHandler", {"is_protocol"}),
        ("typing.Protocol", {"is_protocol"}),
        ("a]b[", {"is_generic"}),
        ("[x", set()),
    ],
)
def test_predicates(text, true_predicates):
    entry = text_entry(text)
    analysis = entry["type_analysis"]
    assert {p for p in PREDICATES if analysis[p] is True} == true_predicates
    assert all(analysis[p] is False for p in PREDICATES if p not in true_predicates)
    for p in PREDICATES:  # the record copies agree with the dict
        assert entry[p] is analysis[p]


@pytest.mark.parametrize(
    "text, depth, count",
    [
        ("int", 0, 0),
        ("List[int]", 1, 1),
        ("Dict[str, List[int]]", 2, 2),
        ("Dict[str, int]", 1, 2),
        ("Callable[[int, str], bool]", 2, 2),
        ("List[Dict[str, int]]", 2, 1),
        ("Tuple[()]", 2, 1),
        ("Literal[1, 2]", 1, 0),
        ("a]]b[", 1, 1),
        # closing brackets never push the depth below 0, but the comma
        # counter is not clamped
        ("]], x[a, b]", 1, 1),
        ("f(a, b)[c]", 1, 2),
    ],
)
def test_nesting_depth_and_parameter_count(text, depth, count):
    entry = text_entry(text)
    assert (entry["type_analysis"]["nesting_depth"], entry["type_analysis"]["parameter_count"]) == (depth, count)
    assert (entry["type_nesting_depth"], entry["type_parameter_count"]) == (depth, count)


# ---------------------------------------------------------------- TypeAnalysis

BASE_KEYS = [*PREDICATES, "nesting_depth", "parameter_count"]


@pytest.mark.parametrize(
    "text, keys",
    [
        ("int", BASE_KEYS),
        ("a | b", [*BASE_KEYS, "union_types"]),
        ("List[int]", [*BASE_KEYS, "base_type", "type_parameters"]),
        ("Union[int, str]", [*BASE_KEYS, "union_types", "base_type", "type_parameters"]),
    ],
)
def test_type_analysis_keys_in_order(text, keys):
    assert list(text_entry(text)["type_analysis"]) == keys


@pytest.mark.parametrize(
    "text, members",
    [
        ("int | str | None", ["int", "str", "None"]),
        ("Union[int, Dict[str, int]]", ["int", "Dict[str, int]"]),
        ("Union[ int ,, str ]", ["int", "str"]),
        ("Union[int,\u00a0str\u3000]", ["int", "str"]),
        ("a\u2003|\u2028b", ["a", "b"]),
        # the last "]" of the whole text closes the members
        ("Dict[str, Union[int, str]]", ["int", "str]"]),
        # " | " splits without looking inside brackets
        ("Optional[int | str]", ["Optional[int", "str]"]),
        ("a |  | b", ["a", "", "b"]),
        ("a||b", ["a", "", "b"]),
        ("Literal[a | b]", ["Literal[a", "b]"]),
        # texts only a string annotation produces: the text is the only member
        ("Union[int", ["Union[int"]),
        ("Union[]", ["Union[]"]),
        ("x] Union[a, b", ["x] Union[a, b"]),
    ],
)
def test_union_types(text, members):
    assert text_entry(text)["type_analysis"]["union_types"] == members


@pytest.mark.parametrize(
    "text, base, parameters",
    [
        ("Dict[str, int]", "Dict", ["str", "int"]),
        ("List[int] | None", "List", ["int"]),
        ("Dict[str, List[int]]", "Dict", ["str", "List[int]"]),
        ("Callable[[int, str], bool]", "Callable", ["[int, str]", "bool"]),
        ("Tuple[()]", "Tuple", ["()"]),
        ("Dict[ a ,, b ]", "Dict", ["a", "b"]),
        ("Dict[\u00a0a\u0085, \u00c2]", "Dict", ["a", "\u00c2"]),
        ("List[]", "List", []),
        ("typing_extensions.Literal[x]", "typing_extensions.Literal", ["x"]),
        # a last "]" before the first "[": the whole text, no parameters
        ("a]b[c", "a]b[c", []),
        ("x] Union[a, b", "x] Union[a, b", []),
    ],
)
def test_base_type_and_parameters(text, base, parameters):
    analysis = text_entry(text)["type_analysis"]
    assert (analysis["base_type"], analysis["type_parameters"]) == (base, parameters)


@pytest.mark.parametrize(
    "text, inner",
    [
        ("Optional[List[int]]", "List[int]"),
        ("Optional[Union[int, None]]", "Union[int, None]"),
        ("Optional[int] | None", "Optional[int]"),
        ("int | None", "int"),
        ("None | str", "str"),
        ("int|None", "int"),
        ("None|int", "int"),
        ("int | None | None", "int"),
        ("str | None | int", "str | int"),
        ("Union[None, int]", "int"),
        ("Union[ None , str ]", "str"),
        ("Union[\u205fNone\u00a0, str]", "str"),
        ("Union[Dict[str, int], None]", "Dict[str"),
        ("Union[str, int] | None", "str"),
        ("Union[None]", "unknown"),
        ("Union[None, None]", "unknown"),
        # no "]" after the "Union[": nothing to unwrap
        ("Union[int, None", "unknown"),
        ("x] Union[None, int", "unknown"),
    ],
)
def test_optional_base_type(text, inner):
    entry = text_entry(text)
    assert entry["is_optional"] is True
    assert entry["base_type"] == inner


@pytest.mark.parametrize("text", ["int", "List[int]", "Optional", "NoneType | int"])
def test_no_base_type_for_non_optional(text):
    entry = text_entry(text)
    assert entry["is_optional"] is False
    assert "base_type" not in entry


# ---------------------------------------------------------------- literal values and inferred types


@pytest.mark.parametrize(
    "expression, value, inferred",
    [
        ("1", 1, "int"),
        ("1.5", 1.5, "float"),
        ("2j", 2j, "complex"),
        ("'s'", "s", "str"),
        ("b'x'", b"x", "bytes"),
        ("True", True, "bool"),
        ("None", None, "None"),
        ("...", ..., "ellipsis"),
        ("-1", None, "int"),
        ("not True", None, "bool"),
        ("not x", None, "unknown"),
        ("[1, 'a', None]", [1, "a", None], "list"),
        ("(1,)", (1,), "tuple"),
        ("()", (), "tuple"),
        ("{1, 2}", {1, 2}, "set"),
        ("{}", {}, "dict"),
        ("{'a': [1, 2], 'b': (3,)}", {"a": [1, 2], "b": (3,)}, "dict"),
        ("{**other, 'a': 1}", {None: None, "a": 1}, "dict"),
        ("[x, f(), 1 + 2]", [None, None, None], "list"),
        ("[[1], {2: (3, ...)}]", [[1], {2: (3, ...)}], "list"),
        ("x", None, "unknown"),
        ("a.b", None, "unknown"),
        ("a < b", None, "bool"),
        ("a and b", None, "bool"),
        ("lambda: 0", None, "unknown"),
        ("f'{x}'", None, "unknown"),
        ("[i for i in y]", None, "unknown"),
        # conditional expressions
        ("1 if c else 'a'", None, "Union[int, str]"),
        ("1 if c else 2", None, "int"),
        ("1 if a else (2 if b else 'x')", None, "Union[int, Union[int, str]]"),
        # arithmetic
        ("'a' * 3", None, "unknown"),
        ("'a' + 'b'", None, "str"),
        ("'a' - 'b'", None, "unknown"),
        ("'a' + 1.0", None, "float"),
        ("2 ** 0.5", None, "float"),
        ("7 / 2", None, "int"),
        ("7 % 2", None, "int"),
        ("1 + 'a'", None, "unknown"),
        ("True + 1", None, "unknown"),
        ("-1 - -2", None, "int"),
        ("x @ y", None, "unknown"),
        # bitwise operators ignore their operands
        ("1 << 4", None, "int"),
        ("'a' | x", None, "int"),
        ("a ^ b", None, "int"),
        # constructor calls
        ("dict(a=1)", None, "dict"),
        ("frozenset()", None, "frozenset"),
        ("bytes(3)", None, "bytes"),
        ("collections.OrderedDict()", None, "unknown"),
        ("Int()", None, "unknown"),
        ("f()()", None, "unknown"),
    ],
)
def test_literal_value_and_inferred_type(expression, value, inferred):
    entry = constant(f"x = {expression}\n")
    assert entry["value"] == value
    assert type(entry["value"]) is type(value)
    assert entry["type"] == inferred
    assert entry["type_analysis"]["is_union"] is inferred.startswith("Union[")


def test_deeply_nested_expression():
    entry = constant("x = " + "-" * 2000 + "(1 if c else 2.0)\n")
    assert (entry["value"], entry["type"]) == (None, "Union[int, float]")


@pytest.mark.parametrize("expression", ["{[1]}", "{[1]: 2}", "{{}: 1}"])
def test_unhashable_literal_raises(expression):
    with pytest.raises(TypeError):
        analyze(f"x = {expression}\n")


# ---------------------------------------------------------------- compatibility


@pytest.mark.parametrize(
    "annotation, value, compatible",
    [
        ("int", "1", True),
        ("int", "1.5", True),
        ("complex", "1", True),
        ("float", "2j", True),
        ("int", "True", False),
        ("str", "b'x'", False),
        ("Any", "b'x'", True),
        ("'NoneType'", "None", True),
        ("Optional[int]", "1", True),
        ("Optional[int]", "None", True),
        ("int | None", "None", True),
        ("Optional[int]", "'a'", False),
        ("Optional[Union[int, str]]", "'a'", True),
        ("Union[str, int]", "1", True),
        ("Union[str, bytes]", "1", False),
        ("int | str", "1.5", True),
        ("List[int]", "[1]", False),
        ("list", "[1]", True),
        ("Dict[str, int] | None", "{}", False),
        ("Literal[1, 2]", "1", False),
        ("str", "'a' + 'b'", True),
        ("float", "x", False),
        # inferred unions and optionals
        ("int", "1 if c else 2.0", True),
        ("str", "'a' if c else 1", True),
        ("bytes", "'a' if c else 1", False),
        ("int", "1 if c else None", True),
        ("Optional[str]", "1 if c else 2.5", False),
        # texts whose union members are the text itself do not loop
        ("'Union[int'", "1", False),
        ("'Union[]'", "1", False),
        ("'Union[int'", "'x' if c else 1", False),
    ],
)
def test_type_compatible(annotation, value, compatible):
    entry = annotated(annotation, value)
    assert entry["type_compatible"] is compatible
    if compatible:
        assert "type_mismatch_warning" not in entry
    else:
        assert entry["type_mismatch_warning"] == (
            f"Annotation '{entry['annotation']}' may not match inferred type '{entry['inferred_type']}'"
        )


def test_mismatches_are_counted_in_summary():
    record = analyze(
        """
        a: int = 1
        b: str = 1
        c: Optional[int] = None
        """
    )
    assert record["module_summary"]["type_mismatches"] == 1


@pytest.mark.parametrize(
    "text",
    [
        "Optional[" * 2000 + "int" + "]" * 2000,
        "Union[" * 2000 + "int" + "]" * 2000,
        "Union[" * 5000,
        "a | " * 5000 + "a",
        "[" * 20000 + "]" * 20000,
    ],
)
def test_pathological_string_annotations_finish(text):
    start = time.perf_counter()
    entry = text_entry(text, "'s' if c else 1")
    assert entry["type_compatible"] in (True, False)
    assert time.perf_counter() - start < 5


# ---------------------------------------------------------------- older trees


def old(kind, **fields):
    """A node of a kind that current interpreters no longer produce."""
    return type(kind, (), fields)()


def with_nodes(monkeypatch, source, **nodes):
    import ast

    parse = ast.parse

    def changed_parse(text):
        tree = parse(text)
        for field, node in nodes.items():
            setattr(tree.body[0], field, node)
        return tree

    monkeypatch.setattr(ast, "parse", changed_parse)
    return analyze(source)["constants"]["x"]


@pytest.mark.parametrize(
    "node, value, inferred",
    [
        (old("Name", id="None"), None, "NoneType"),
        (old("Name", id="False"), None, "bool"),
        (old("NameConstant", value=None), None, "NoneType"),
        (old("NameConstant", value=True), True, "bool"),
        (old("Num", n=5), 5, "int"),
        (old("Num", n=1.5), 1.5, "float"),
        (old("Str", s="s"), "s", "str"),
        (old("Bytes", s=b"x"), b"x", "bytes"),
        (old("Ellipsis"), ..., "ellipsis"),
    ],
)
def test_older_value_nodes(monkeypatch, node, value, inferred):
    entry = with_nodes(monkeypatch, "x: 'None' = 0\n", value=node)
    assert (entry["value"], entry["inferred_type"]) == (value, inferred)
    assert type(entry["value"]) is type(value)
    assert entry["type_compatible"] is (inferred in ("None", "NoneType"))


@pytest.mark.parametrize(
    "node, text",
    [
        (old("Str", s="Fwd"), "Fwd"),
        (old("Subscript", value=old("Name", id="List"), slice=old("Index", value=old("Name", id="int"))),
         "List[int]"),
        (old("Subscript", value=old("Name", id="Dict"),
             slice=old("Index", value=old("Tuple", elts=[old("Name", id="str"), old("Str", s="V")]))),
         "Dict[str, V]"),
        (old("Subscript", value=old("Name", id="List"), slice=old("Index", value=old("Num", n=1))),
         "List[unknown]"),
    ],
)
def test_older_annotation_nodes(monkeypatch, node, text):
    assert with_nodes(monkeypatch, "x: int = 0\n", annotation=node)["annotation"] == text
