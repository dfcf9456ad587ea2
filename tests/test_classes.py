import pytest

from conftest import Unreadable, analyze
from conftest import unreadable as _unreadable

BODY_KEYS = [
    "exceptions", "control_flow", "comprehensions", "context_managers", "has_yield", "returns", "async_info",
    "complexity", "pattern_matching", "loop_traits", "function_calls", "walrus_count", "state_effects",
    "local_variables", "literals", "safety_smells", "type_checks", "logging_calls", "has_recursion", "sloc",
]


def only_class(source):
    classes = analyze(source)["classes"]
    assert len(classes) == 1
    return next(iter(classes.values()))


def lines(*statements, indent=4):
    pad = " " * indent
    return "".join(pad + s + "\n" for s in statements)


# ---------------------------------------------------------------- class record


def test_class_record_keys_and_basics():
    record = only_class('''
        @dataclass
        @functools.total_ordering
        class Point(Base):
            """A point."""
            x = 0
    ''')
    assert list(record) == [
        "name", "line_number", "docstring", "base_classes", "inheritance_analysis", "decorators", "is_django",
        "methods", "constructor_params", "instance_attributes", "class_attributes", "type_summary",
        "design_patterns", "quality_metrics", "anti_patterns",
    ]
    assert record["name"] == "Point"
    assert record["line_number"] == 4
    assert record["docstring"] == "A point."
    assert record["base_classes"] == ["Base"]
    assert record["decorators"] == ["dataclass", "total_ordering"]
    assert record["is_django"] is False
    assert record["methods"] == record["constructor_params"] == record["instance_attributes"] == {}


def test_classes_filed_in_source_order_and_redefinition_replaces():
    classes = analyze("""
        class B: pass
        class A: pass
        class B:
            x = 1
    """)["classes"]
    assert list(classes) == ["B", "A"]
    assert classes["B"]["line_number"] == 4
    assert list(classes["B"]["class_attributes"]) == ["x"]


@pytest.mark.parametrize("header,bases,expected", [
    ("class A(B, C):", ["B", "C"], dict(base_count=2, has_protocol_bases=False, has_abc_bases=False,
                                         inheritance_complexity_score=2, has_multiple_inheritance=True,
                                         mro_complexity="high")),
    ("class P(Protocol):", ["Protocol"], dict(base_count=1, has_protocol_bases=True, has_abc_bases=False,
                                              inheritance_complexity_score=4, has_multiple_inheritance=False,
                                              mro_complexity="simple")),
    ("class M(abc.ABC):", ["abc.ABC"], dict(base_count=1, has_abc_bases=True, inheritance_complexity_score=2)),
    ("class N:", [], dict(base_count=0, has_protocol_bases=False, inheritance_complexity_score=0,
                          has_multiple_inheritance=False, mro_complexity="none")),
    ("class G(Generic[T], AbstractBase):", ["<Subscript>", "AbstractBase"],
     dict(has_generic_bases=False, has_abc_bases=True, complex_bases=0, inheritance_complexity_score=3)),
    ("class Q(typing.Protocol, ABC, metaclass=Meta):", ["typing.Protocol", "ABC"],
     dict(base_count=2, has_protocol_bases=True, has_abc_bases=True, inheritance_complexity_score=6)),
    ("class L(make_base()):", ["<Call>"], dict(base_count=1, mro_complexity="simple")),
])
def test_inheritance_analysis(header, bases, expected):
    record = only_class(header + "\n    pass\n")
    assert record["base_classes"] == bases
    analysis = record["inheritance_analysis"]
    assert list(analysis) == [
        "base_count", "has_generic_bases", "has_protocol_bases", "has_abc_bases", "complex_bases",
        "inheritance_complexity_score", "has_multiple_inheritance", "mro_complexity",
    ]
    assert analysis.items() >= expected.items()
    assert record["type_summary"]["inheritance_complexity"] == analysis["inheritance_complexity_score"]


def test_class_attributes():
    attributes = only_class("""
        class Config:
            annotated: int = 0
            a = b = 1
            (c, d) = 1, 2
            obj.attr = 3
            e = 1
            e = "x"
            items = []
            handler = make_handler()
            def method(self):
                local = 1
    """)["class_attributes"]
    assert list(attributes) == ["a", "b", "e", "items", "handler"]
    assert attributes["items"] == {
        "name": "items", "value": [], "type": "list", "type_analysis": attributes["items"]["type_analysis"],
        "is_generic": False, "is_union": False, "is_literal": False, "is_protocol": False, "is_callable": False,
        "line_number": 9,
    }
    assert list(attributes["items"]) == [
        "name", "value", "type", "type_analysis", "is_generic", "is_union", "is_literal", "is_protocol",
        "is_callable", "line_number",
    ]
    assert attributes["a"]["value"] == attributes["b"]["value"] == 1
    assert attributes["a"]["line_number"] == attributes["b"]["line_number"] == 4
    assert (attributes["e"]["value"], attributes["e"]["type"], attributes["e"]["line_number"]) == ("x", "str", 8)
    assert (attributes["handler"]["value"], attributes["handler"]["type"]) == (None, "unknown")


def test_nested_classes_are_described_not_analysed():
    record = only_class('''
        class Outer:
            x = 1
            @total_ordering
            class Meta(Base, mixins.Extra):
                """Options."""
                ordering = ["name"]
                def inner(self): pass
            class Error(Exception):
                pass
    ''')
    attributes = record["class_attributes"]
    assert list(attributes) == ["x", "__nested_classes__"]
    assert attributes["__nested_classes__"] == {
        "Meta": {"name": "Meta", "line_number": 5, "docstring": "Options.",
                 "base_classes": ["Base", "mixins.Extra"], "decorators": ["total_ordering"]},
        "Error": {"name": "Error", "line_number": 9, "docstring": None, "base_classes": ["Exception"],
                  "decorators": []},
    }
    assert record["methods"] == {}
    summary = record["type_summary"]
    assert (summary["total_attributes"], summary["typed_attributes"], summary["attribute_type_coverage"]) == (2, 1, 50)


def test_nested_class_named_type_does_not_count_as_typed():
    summary = only_class("""
        class Outer:
            class type:
                pass
    """)["type_summary"]
    assert (summary["total_attributes"], summary["typed_attributes"]) == (1, 0)


def test_class_without_nested_classes_has_no_nested_key():
    assert "__nested_classes__" not in only_class("class A:\n    x = 1\n")["class_attributes"]


# ---------------------------------------------------------------- method record


def test_method_record_key_order():
    method = only_class('''
        class A:
            async def fetch(self, url: str) -> Optional[bytes]:
                """Fetch it."""
                return await get(url)
    ''')["methods"]["fetch"]
    head = ["name", "line_number", "docstring", "is_async", "decorators", "method_type", "is_property",
            "parameters", "return_type", "return_type_analysis", "return_is_optional", "return_base_type",
            "return_is_generic", "return_is_union", "return_is_literal", "return_is_protocol",
            "return_is_callable"]
    assert list(method) == head + BODY_KEYS
    assert "is_async_generator" not in method
    assert (method["name"], method["line_number"], method["docstring"], method["is_async"]) == \
        ("fetch", 3, "Fetch it.", True)
    assert (method["return_type"], method["return_is_optional"], method["return_base_type"],
            method["return_is_generic"]) == ("Optional[bytes]", True, "bytes", True)


@pytest.mark.parametrize("source,method_type,is_property", [
    ("@property\ndef area(self) -> float: ...", "instance", True),
    ("@staticmethod\ndef make(x, y): ...", "static", False),
    ("@classmethod\ndef build(cls, n): ...", "class", False),
    ("@staticmethod\n@classmethod\ndef both(cls): ...", "class", False),
    ("@classmethod\n@staticmethod\ndef both(x): ...", "static", False),
    ("@functools.cached_property\ndef cached(self): ...", "instance", False),
    ("@area.setter\ndef area(self, v): ...", "instance", False),
    ("@abc.abstractmethod\n@property\ndef shape(self): ...", "instance", True),
    ("@builtins.staticmethod\ndef qualified(x): ...", "static", False),
])
def test_method_type_and_property(source, method_type, is_property):
    body = "".join("    " + line + "\n" for line in source.splitlines())
    method = next(iter(only_class("class A:\n" + body)["methods"].values()))
    assert (method["method_type"], method["is_property"]) == (method_type, is_property)


@pytest.mark.parametrize("signature,expected", [
    ("def area(self) -> float", {}),
    ("def make(x, y)", {"x": 0, "y": 1}),
    ("def build(cls, n)", {"n": 1}),
    ("def odd(a, self)", {"a": 0, "self": 1}),
    ("def f(self, *args, **kw)", {}),
    ("def f(self, /, b, *args, c, d=1, **kw)", {"b": 0}),
    ("def f(self, a, /, b)", {"b": 0}),
    ("def f(*, key)", {}),
])
def test_method_parameters_cover_regular_parameters_only(signature, expected):
    methods = only_class(f"class A:\n    {signature}: pass\n")["methods"]
    parameters = next(iter(methods.values()))["parameters"]
    assert {name: entry["position"] for name, entry in parameters.items()} == expected
    assert list(parameters) == list(expected)


def test_annotated_parameter_entry():
    parameters = only_class("""
        class A:
            def f(self, plain, name: Optional[str] = None, table: Dict[str, List[int]] = None): pass
    """)["methods"]["f"]["parameters"]
    assert parameters["plain"] == {"name": "plain", "position": 1}
    name = parameters["name"]
    assert list(name) == [
        "name", "position", "type", "type_analysis", "is_optional", "base_type", "is_generic", "is_union",
        "is_literal", "is_protocol", "is_callable", "type_nesting_depth", "type_parameter_count",
    ]
    assert (name["type"], name["is_optional"], name["base_type"], name["position"]) == ("Optional[str]", True, "str", 2)
    table = parameters["table"]
    assert "base_type" not in table
    assert (table["type"], table["is_generic"], table["type_nesting_depth"], table["type_parameter_count"]) == \
        ("Dict[str, List[int]]", True, 2, 2)
    assert "default" not in table


def test_async_generator_method_keeps_body_facts_unchanged():
    method = only_class("class A:\n    async def stream(self):\n        yield 1\n")["methods"]["stream"]
    assert (method["is_async"], method["has_yield"]) == (True, True)
    assert "is_async_generator" not in method


def test_method_without_return_annotation_has_no_return_keys():
    method = only_class("class A:\n    def f(self): pass\n")["methods"]["f"]
    assert not any(key.startswith("return_") for key in method)


def test_same_name_methods_keep_the_later():
    methods = only_class("""
        class A:
            @property
            def value(self): return self._v
            @value.setter
            def value(self, v): self._v = v
    """)["methods"]
    assert list(methods) == ["value"]
    assert (methods["value"]["line_number"], methods["value"]["is_property"]) == (6, False)
    assert list(methods["value"]["parameters"]) == ["v"]


def test_init_fills_constructor_params_and_instance_attributes():
    record = only_class("""
        class Account:
            def __init__(self, a: int, b: str = "x"):
                self.a = a
                self.items = []
                self.x = other.y = 5
                self.a = "again"
                obj.z = 1
                self.n: int = 0
                if a:
                    self.hidden = 1
            def reset(self):
                self.y = 2
    """)
    init = record["methods"]["__init__"]
    assert record["constructor_params"] == {"parameters": init["parameters"]}
    assert list(init["parameters"]) == ["a", "b"]
    attributes = record["instance_attributes"]
    assert list(attributes) == ["a", "items", "x"]
    assert (attributes["a"]["value"], attributes["a"]["type"], attributes["a"]["line_number"]) == ("again", "str", 7)
    assert (attributes["items"]["value"], attributes["items"]["type"]) == ([], "list")
    assert attributes["x"]["value"] == 5
    assert record["methods"]["reset"]["state_effects"]["self_mutations"] == [{"attribute": "y", "line_number": 13}]
    summary = record["type_summary"]
    assert (summary["total_attributes"], summary["typed_attributes"], summary["attribute_type_coverage"]) == (3, 3, 100)


def test_first_parameter_named_self_that_is_an_attribute_target():
    record = only_class("""
        class A:
            def __init__(this, value):
                this.value = value
    """)
    assert record["instance_attributes"] == {}
    assert list(record["constructor_params"]["parameters"]) == ["this", "value"]


# ---------------------------------------------------------------- type summary and quality metrics

TYPE_SUMMARY_KEYS = [
    "total_methods", "typed_methods", "method_type_coverage", "total_attributes", "typed_attributes",
    "attribute_type_coverage", "uses_generics", "uses_unions", "uses_protocols", "uses_callables",
    "generic_methods", "union_methods", "protocol_methods", "callable_methods", "generic_attributes",
    "union_attributes", "max_method_type_complexity", "inheritance_complexity", "class_sophistication_score",
    "type_quality_score",
]


def test_empty_class_summaries():
    record = only_class("class Empty(Protocol):\n    pass\n")
    summary = record["type_summary"]
    assert list(summary) == TYPE_SUMMARY_KEYS
    assert {k: v for k, v in summary.items() if k not in ("inheritance_complexity", "class_sophistication_score")} \
        == {k: (False if k.startswith("uses_") else 0) for k in TYPE_SUMMARY_KEYS
            if k not in ("inheritance_complexity", "class_sophistication_score")}
    assert summary["inheritance_complexity"] == summary["class_sophistication_score"] == 4
    assert record["quality_metrics"] == {
        "total_methods": 0, "god_methods": 0, "complex_methods": 0, "total_sloc": 0, "avg_method_size": 0,
        "max_method_complexity": 0, "god_method_ratio": 0, "complex_method_ratio": 0, "is_god_class": False,
        "class_quality_score": 100,
    }


def test_method_type_coverage_truncates():
    summary = only_class("""
        class A:
            def a(self) -> int: pass
            def b(self): pass
            def c(self): pass
    """)["type_summary"]
    assert (summary["total_methods"], summary["typed_methods"], summary["method_type_coverage"]) == (3, 1, 33)
    # 2 per typed method; no attributes: (33 + 0) // 2
    assert (summary["class_sophistication_score"], summary["type_quality_score"]) == (2, 16)


def test_sophisticated_typing():
    summary = only_class("""
        class Repo:
            kind = "sql"
            def rows(self) -> List[Dict[str, int]]: ...
            def hook(self) -> Callable[[int], str]: ...
            def proto(self) -> ReaderProtocol: ...
            def either(self) -> Union[int, str]: ...
    """)["type_summary"]
    assert summary["typed_methods"] == 4
    assert (summary["generic_methods"], summary["union_methods"], summary["protocol_methods"],
            summary["callable_methods"]) == (3, 1, 1, 1)
    assert summary["uses_generics"] and summary["uses_unions"] and summary["uses_protocols"] \
        and summary["uses_callables"]
    assert summary["max_method_type_complexity"] == 2
    # 3*3 generic + 2 depth + 4 protocol + 2*4 typed + 2 callable + 2 union + 1 attribute
    assert summary["class_sophistication_score"] == 28
    assert summary["type_quality_score"] == 100


def method_with(name, statements):
    return f"    def {name}(self):\n" + lines(*statements, indent=8)


@pytest.mark.parametrize("methods,expected", [
    ([method_with("m", ["x = 1"] * 50)], dict(god_methods=0, total_sloc=50, avg_method_size=50,
                                               class_quality_score=90)),
    ([method_with("m", ["x = 1"] * 51)], dict(god_methods=1, god_method_ratio=100, class_quality_score=70)),
    ([method_with("m", ["if c: pass"] * 9)], dict(complex_methods=0, max_method_complexity=10,
                                                   class_quality_score=100)),
    ([method_with("m", ["if c: pass"] * 10), method_with("n", ["pass"]), method_with("o", ["pass"])],
     dict(complex_methods=1, max_method_complexity=11, complex_method_ratio=33, class_quality_score=85)),
    ([method_with(f"m{i}", ["pass"]) for i in range(21)],
     dict(total_methods=21, is_god_class=True, avg_method_size=1, class_quality_score=70)),
    ([method_with("m", ["x = 1"] * 31)], dict(avg_method_size=31, class_quality_score=90)),
])
def test_quality_metrics(methods, expected):
    metrics = only_class("class A:\n" + "".join(methods))["quality_metrics"]
    assert metrics.items() >= expected.items()
    assert metrics["is_god_class"] == (metrics["total_methods"] >= 21 or metrics["total_sloc"] >= 1001)


def test_quality_score_floor():
    methods = [method_with(f"m{i}", ["if c: pass"] * 26) for i in range(21)]
    metrics = only_class("class A:\n" + "".join(methods))["quality_metrics"]
    assert (metrics["god_methods"], metrics["complex_methods"], metrics["is_god_class"]) == (21, 21, True)
    assert metrics["class_quality_score"] == 25


# ---------------------------------------------------------------- design patterns and anti-patterns

PATTERNS = ["singleton", "factory", "observer", "strategy", "abstract_factory", "builder", "adapter", "facade"]


@pytest.mark.parametrize("source,detected", [
    ("class ConnectionFactory:\n    def create_connection(self): pass\n", ["factory"]),
    ("class AbstractWidgetFactory:\n    pass\n", ["factory", "abstract_factory"]),
    ("class Registry:\n    _instance = None\n    def __new__(cls): pass\n", ["singleton"]),
    ("class Registry:\n    _instance = None\n", []),
    ("class Registry:\n    def __new__(cls): pass\n", []),
    ("class Config:\n    INSTANCE = None\n    def __new__(cls): pass\n", ["singleton"]),
    ("class Config:\n    Instance, other = None, 1\n    def __new__(cls): pass\n", []),
    ("class Config:\n    self.instance = None\n    def __new__(cls): pass\n", []),
    ("class Ledger:\n    def update_totals(self): pass\n", ["observer"]),
    ("class Ledger:\n    def settle(self): pass\n", []),
    ("class Ledger:\n    def set_total(self): pass\n", ["builder"]),
    ("class Ledger:\n    def With_Total(self): pass\n", ["builder"]),
    ("class Ledger:\n    def MakeReport(self): pass\n", ["factory"]),
    ("class DataInterface:\n    pass\n", ["facade"]),
    ("class EventListener:\n    pass\n", ["observer"]),
    ("class SortAlgorithm:\n    pass\n", ["strategy"]),
    ("class QueryBuilder:\n    pass\n", ["builder"]),
    ("class JSONWrapper:\n    pass\n", ["adapter"]),
    ("class ÜberSINGLETON:\n    pass\n", ["singleton"]),
    ("class AbstractFactoryFacadeAdapter:\n    def notify(self): pass\n",
     ["factory", "observer", "abstract_factory", "adapter", "facade"]),
])
def test_design_patterns(source, detected):
    patterns = only_class(source)["design_patterns"]
    assert list(patterns) == [
        "singleton_class", "factory_class", "observer_class", "strategy_class", "abstract_factory",
        "builder_class", "adapter_class", "facade_class", "detected_class_patterns", "class_pattern_count",
    ]
    assert patterns["detected_class_patterns"] == detected
    assert patterns["class_pattern_count"] == len(detected)
    flags = [v for k, v in patterns.items() if k not in ("detected_class_patterns", "class_pattern_count")]
    assert [p for p, flag in zip(PATTERNS, flags) if flag] == detected


@pytest.mark.parametrize("methods,detected", [
    (["run"], ["lazy_class"]),
    ([], ["lazy_class"]),
    (["get_x", "set_x"], ["anemic_model", "lazy_class", "data_class"]),
    (["__init__", "__repr__", "run"], []),
    (["__init__", "__repr__", "get_x"], ["anemic_model", "data_class"]),
    (["get_a", "get_b", "get_c", "run", "stop", "go"], []),
    (["get_a", "get_b", "get_c", "run", "stop"], ["anemic_model"]),
    (["Get_x", "Set_x", "go"], []),
    ([f"m{i}" for i in range(21)], ["god_object"]),
])
def test_anti_patterns(methods, detected):
    body = "".join(f"    def {m}(self): pass\n" for m in methods) or "    pass\n"
    anti = only_class("class A:\n" + body)["anti_patterns"]
    assert list(anti) == [
        "god_object", "anemic_model", "feature_envy", "inappropriate_intimacy", "lazy_class", "data_class",
        "detected_anti_patterns", "anti_pattern_count",
    ]
    assert anti["detected_anti_patterns"] == detected
    assert anti["anti_pattern_count"] == len(detected)
    assert anti["feature_envy"] is anti["inappropriate_intimacy"] is False


def test_async_methods_count_in_patterns_and_metrics():
    record = only_class("""
        class Hub:
            async def subscribe(self): pass
            async def get_x(self): pass
    """)
    assert record["design_patterns"]["observer_class"] is True
    assert record["anti_patterns"]["detected_anti_patterns"] == ["lazy_class"]
    assert record["quality_metrics"]["total_methods"] == 2


# ---------------------------------------------------------------- failed reads




@pytest.fixture
def broken(patched_node):
    """Analyses source whose n-th node (breadth first) of a kind gives `getter` for one attribute."""

    def run(source, kind, attr, nth=0, getter=_unreadable):
        with patched_node(kind, attr, nth, getter):
            return analyze(source)

    return run


FAILING_SOURCE = """
class Shop(Base):
    tax = 0.2
    class Meta:
        pass
    def __init__(self, owner: str):
        self.owner = owner
    def total(self) -> int:
        return 1
"""


@pytest.mark.parametrize("kind,attr,nth", [
    ("ClassDef", "name", 0),
    ("ClassDef", "lineno", 0),
    ("ClassDef", "bases", 0),
    ("ClassDef", "body", 0),
    ("ClassDef", "name", 1),
    ("ClassDef", "bases", 1),
    ("Assign", "targets", 0),
    ("Assign", "value", 0),
    ("Assign", "targets", 1),
    ("Attribute", "attr", 0),
    ("FunctionDef", "name", 0),
    ("FunctionDef", "args", 0),
    ("FunctionDef", "returns", 1),
    ("arg", "annotation", 1),
    ("arg", "arg", 0),
])
def test_required_reads_fail_the_analysis(broken, kind, attr, nth):
    with pytest.raises(Unreadable):
        broken(FAILING_SOURCE, kind, attr, nth)


@pytest.mark.parametrize("kind,attr,nth", [("ClassDef", "name", 0), ("FunctionDef", "name", 0)])
def test_names_must_be_str(broken, kind, attr, nth):
    with pytest.raises(TypeError, match="must be a str"):
        broken(FAILING_SOURCE, kind, attr, nth, getter=lambda self: 5)


def test_unreadable_target_id_is_skipped(broken):
    record = broken("class A:\n    a = 1\n    b = 2\n", "Name", "id", 0)
    assert list(record["classes"]["A"]["class_attributes"]) == ["b"]
    assert record["success"] is True


@pytest.mark.parametrize("source,key", [
    ("class K:\n    {targets} = [1, 2]\n", "class_attributes"),
    ("class K:\n    def __init__(self):\n        {targets} = [1, 2]\n", "instance_attributes"),
])
def test_chained_attribute_assignment_shares_one_value(source, key):
    names = [f"a{i}" for i in range(1500)]
    prefix = "self." if key == "instance_attributes" else ""
    record = analyze(source.format(targets=" = ".join(prefix + n for n in names)))["classes"]["K"]
    attributes = record[key]
    assert [n for n in attributes if not n.startswith("__")] == names
    first = attributes["a0"]["value"]
    assert first == [1, 2] and all(attributes[n]["value"] is first for n in names)
