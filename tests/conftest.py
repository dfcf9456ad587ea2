import ast
import contextlib
import textwrap

import pytest

import ovra_python


def analyze(source: str, path=None) -> dict:
    """Analyses dedented source and returns the ModuleRecord."""
    return ovra_python.analyze_python_code(textwrap.dedent(source), path)


@pytest.fixture
def write_file(tmp_path):
    """Writes text (or bytes) to a file under tmp_path and returns its path."""

    def write(name: str, content) -> str:
        path = tmp_path / name
        if isinstance(content, bytes):
            path.write_bytes(content)
        else:
            path.write_text(textwrap.dedent(content), encoding="utf-8")
        return str(path)

    return write


class Unreadable(Exception):
    """Raised by a node attribute that a test made unreadable."""


def unreadable(self):
    raise Unreadable("unreadable attribute")


@pytest.fixture
def patched_node(monkeypatch):
    """A context manager: while it is active, ast.parse gives trees whose n-th
    node (breadth first) of a kind answers one attribute through `getter`."""
    real_parse = ast.parse

    @contextlib.contextmanager
    def patch(kind, attr, nth=0, getter=unreadable):
        def parse(text, *args, **kwargs):
            tree = real_parse(text, *args, **kwargs)
            node = [n for n in ast.walk(tree) if type(n).__name__ == kind][nth]
            node.__class__ = type(kind, (type(node),), {attr: property(getter)})
            return tree

        with monkeypatch.context() as m:
            m.setattr(ast, "parse", parse)
            yield

    return patch
