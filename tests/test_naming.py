"""The naming helpers, seen through the records that carry their texts: call
names (dotted), raised exception names (callee), decorator names, base class
names and docstrings."""

import ast

import pytest

from conftest import analyze


def function(source: str) -> dict:
    return analyze(source)["functions"]["f"]


@pytest.mark.parametrize("func, name", [
    ("run", "run"),
    ("os.path.join", "os.path.join"),
    ("self.client.get", "self.client.get"),
    ("x[0]", "unknown"),
    ("f().x", "unknown.x"),
    ("a.b[0].c", "unknown.c"),
    ("(lambda: 1)", "unknown"),
    ("factory()", "unknown"),
])
def test_call_names_are_dotted(func, name):
    calls = function(f"def f():\n    {func}()\n")["function_calls"]
    assert calls[0]["name"] == name


@pytest.mark.parametrize("exc, name", [
    ("ValueError", "ValueError"),
    ("errors.NotFound('x')", "NotFound"),
    ("a.b.c", "c"),
    ("obj.method()", "method"),
    ("factory()()", "factory"),
    ("(lambda: 1)()", "Unknown"),
    ("errors[0]", "Unknown"),
])
def test_raised_names_keep_the_last_component(exc, name):
    assert function(f"def f():\n    raise {exc}\n")["exceptions"] == {f"raises_{name}": True}


@pytest.mark.parametrize("decorator, name", [
    ("login_required", "login_required"),
    ("app.route('/x')", "route"),
    ("pytest.mark.parametrize('a', [1])", "parametrize"),
    ("a.b.c", "c"),
    ("factory()()", "factory"),
    ("(lambda f: f)", "<Lambda>"),
    ("(lambda f: f)()", "<Lambda>"),
    ("handlers[0]", "<Subscript>"),
    ("handlers[0]()", "<Subscript>"),
])
def test_decorator_names(decorator, name):
    record = analyze(f"@{decorator}\ndef f(): pass\n@{decorator}\nclass K:\n    @{decorator}\n    def m(self): pass\n")
    assert record["functions"]["f"]["decorators"][0]["name"] == name
    assert record["classes"]["K"]["decorators"] == [name]
    assert record["classes"]["K"]["methods"]["m"]["decorators"] == [name]


@pytest.mark.parametrize("bases, names", [
    ("Base", ["Base"]),
    ("models.Model, a.b.c", ["models.Model", "a.b.c"]),
    ("typing.Generic[T]", ["<Subscript>"]),
    ("mod.Generic[T].x", ["<Subscript>.x"]),
    ("make_base()", ["<Call>"]),
    ("f().x", ["<Call>.x"]),
    ("*bases", ["<Starred>"]),
    ("Base, metaclass=Meta", ["Base"]),
])
def test_base_class_names(bases, names):
    assert analyze(f"class K({bases}):\n    pass\n")["classes"]["K"]["base_classes"] == names


@pytest.mark.parametrize("first, docstring", [
    ("pass", None),
    ("'Doc.'", "Doc."),
    ("'a' 'b'", "ab"),
    ("42", 42),
    ("...", Ellipsis),
    ("b'raw'", b"raw"),
    ("-1", None),
    ("f'{x}'", None),
    ("x = 'a'", None),
])
def test_docstrings_are_the_first_constant_unconverted(first, docstring):
    record = analyze(f"def f():\n    {first}\nclass K:\n    {first}\n    def m(self):\n        {first}\n")
    klass = record["classes"]["K"]
    for found in (record["functions"]["f"]["docstring"], klass["docstring"], klass["methods"]["m"]["docstring"]):
        assert found == docstring and type(found) is type(docstring)


def reshaped(monkeypatch, change):
    """Analyses a decorated, derived class after `change` has altered its node."""
    parse = ast.parse

    def changed_parse(text):
        tree = parse(text)
        change(tree.body[0])
        return tree

    monkeypatch.setattr(ast, "parse", changed_parse)
    return analyze("@d\nclass K(B):\n    'doc'\n")["classes"]["K"]


@pytest.mark.parametrize("change, key, value", [
    (lambda node: setattr(node, "decorator_list", tuple(node.decorator_list)), "decorators", []),
    (lambda node: setattr(node, "bases", tuple(node.bases)), "base_classes", []),
    (lambda node: setattr(node, "body", []), "docstring", None),
])
def test_non_list_or_empty_fields(monkeypatch, change, key, value):
    assert reshaped(monkeypatch, change)[key] == value


@pytest.mark.parametrize("change, error", [
    (lambda node: delattr(node, "decorator_list"), AttributeError),
    (lambda node: setattr(node.bases[0], "id", 1), TypeError),
    (lambda node: setattr(node.decorator_list[0], "id", b"d"), TypeError),
])
def test_failed_reads_are_raised(monkeypatch, change, error):
    with pytest.raises(error):
        reshaped(monkeypatch, change)
