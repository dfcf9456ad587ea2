import pytest

from conftest import analyze


def classify(name):
    """The classification keys the driver adds for `import NAME` (or a from-import)."""
    if "." in name and not name.startswith("."):
        module, _, attr = name.rpartition(".")
        record = analyze(f"from {module} import {attr}")
    else:
        record = analyze(f"import {name}")
    (entry,) = record["imports"].values()
    return {k: v for k, v in entry.items() if k in ("is_typing", "framework", "is_stdlib", "typing_category")}


@pytest.mark.parametrize("name,expected", [
    ("typing", {"is_typing": True, "is_stdlib": True, "typing_category": "other"}),
    ("typing.List", {"is_typing": True, "is_stdlib": True, "typing_category": "containers"}),
    ("typing.OrderedDict", {"is_typing": True, "is_stdlib": True, "typing_category": "containers"}),
    ("typing.TypedDict", {"is_typing": True, "is_stdlib": True, "typing_category": "containers"}),
    ("typing.NamedTuple", {"is_typing": True, "is_stdlib": True, "typing_category": "containers"}),
    ("typing.AbstractSet", {"is_typing": True, "is_stdlib": True, "typing_category": "containers"}),
    ("typing.Optional", {"is_typing": True, "is_stdlib": True, "typing_category": "unions"}),
    ("typing.Protocol", {"is_typing": True, "is_stdlib": True, "typing_category": "protocols"}),
    ("typing.TypeVar", {"is_typing": True, "is_stdlib": True, "typing_category": "generics"}),
    ("typing.AnyStr", {"is_typing": True, "is_stdlib": True, "typing_category": "special"}),
    ("typing.Sequence", {"is_typing": True, "is_stdlib": True, "typing_category": "other"}),
    ("typing.ParamSpec", {"is_typing": True, "is_stdlib": True, "typing_category": "other"}),
    ("typing_extensions.Literal", {"is_typing": True, "is_stdlib": True, "typing_category": "literals"}),
    ("typingx", {"is_typing": True, "is_stdlib": False, "typing_category": "other"}),
    ("os.path", {"is_typing": False, "is_stdlib": True}),
    ("email", {"is_typing": False, "is_stdlib": True}),
    ("json5", {"is_typing": False, "is_stdlib": False}),
    ("subprocess", {"is_typing": False, "is_stdlib": False}),
    ("argparse", {"is_typing": False, "is_stdlib": False}),
    ("flask_sqlalchemy", {"is_typing": False, "framework": "Flask", "is_stdlib": False}),
    ("sqlalchemy.orm", {"is_typing": False, "framework": "SQLAlchemy", "is_stdlib": False}),
    ("torchvision", {"is_typing": False, "framework": "PyTorch", "is_stdlib": False}),
    ("pytorch_lightning", {"is_typing": False, "framework": "PyTorch", "is_stdlib": False}),
    ("tflite_runtime", {"is_typing": False, "framework": "TensorFlow", "is_stdlib": False}),
    ("scikit_image", {"is_typing": False, "framework": "Scikit-learn", "is_stdlib": False}),
    ("fastapi.responses.JSONResponse", {"is_typing": False, "framework": "FastAPI", "is_stdlib": False}),
    ("aiohttp", {"is_typing": False, "framework": "aiohttp", "is_stdlib": False}),
    ("numpy", {"is_typing": False, "framework": "NumPy", "is_stdlib": False}),
    ("Flask", {"is_typing": False, "is_stdlib": False}),
    ("myflask", {"is_typing": False, "is_stdlib": False}),
])
def test_classification(name, expected):
    result = classify(name)
    assert result == expected
    assert list(result) == [k for k in ("is_typing", "framework", "is_stdlib", "typing_category") if k in expected]
