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
