#include "analysis/imports.hpp"

#include <array>

#include "analysis/text_match.hpp"

namespace ovra::analysis {

namespace {

struct FrameworkRow {
  std::array<std::string_view, 2> prefixes;  // unused slots are empty
  std::string_view framework;
};

// Tried top to bottom; the first row whose prefix starts the name wins.
constexpr std::array<FrameworkRow, 18> kFrameworks{{
    {{"django", ""}, "Django"},
    {{"flask", ""}, "Flask"},
    {{"fastapi", ""}, "FastAPI"},
    {{"tornado", ""}, "Tornado"},
    {{"sanic", ""}, "Sanic"},
    {{"pyramid", ""}, "Pyramid"},
    {{"numpy", ""}, "NumPy"},
    {{"pandas", ""}, "Pandas"},
    {{"torch", "pytorch"}, "PyTorch"},
    {{"tensorflow", "tf"}, "TensorFlow"},
    {{"sklearn", "scikit"}, "Scikit-learn"},
    {{"transformers", ""}, "Transformers"},
    {{"mlflow", ""}, "MLflow"},
    {{"wandb", ""}, "Wandb"},
    {{"requests", ""}, "Requests"},
    {{"aiohttp", ""}, "aiohttp"},
    {{"pydantic", ""}, "Pydantic"},
    {{"sqlalchemy", ""}, "SQLAlchemy"},
}};

// The first dotted component equals one of these.
constexpr std::array<std::string_view, 48> kStdlib{
    "os",         "sys",        "json",      "re",         "datetime",    "collections",
    "itertools",  "functools",  "pathlib",   "urllib",     "http",        "logging",
    "unittest",   "asyncio",    "concurrent", "multiprocessing", "threading", "queue",
    "socket",     "ssl",        "hashlib",   "base64",     "pickle",      "csv",
    "xml",        "html",       "email",     "mimetypes",  "tempfile",    "shutil",
    "glob",       "fnmatch",    "linecache", "textwrap",   "string",      "math",
    "random",     "statistics", "decimal",   "fractions",  "copy",        "pprint",
    "enum",       "dataclasses", "contextlib", "abc",      "typing",      "typing_extensions",
};

struct CategoryRow {
  std::array<std::string_view, 4> fragments;  // unused slots are empty
  std::string_view category;
};

// Tried top to bottom; the first row with a fragment anywhere in the name wins.
constexpr std::array<CategoryRow, 6> kTypingCategories{{
    {{"List", "Dict", "Set", "Tuple"}, "containers"},
    {{"Optional", "Union", "", ""}, "unions"},
    {{"Callable", "Protocol", "", ""}, "protocols"},
    {{"Generic", "TypeVar", "", ""}, "generics"},
    {{"Literal", "", "", ""}, "literals"},
    {{"Any", "NoReturn", "", ""}, "special"},
}};

}  // namespace

void classify_import(std::string_view name, py::Dict& entry) {
  const bool typing = name.starts_with("typing");
  entry.set_bool<"is_typing">(typing);

  for (const FrameworkRow& row : kFrameworks) {
    if (match::starts_with_any(name, row.prefixes)) {
      entry.set_str<"framework">(row.framework);
      break;
    }
  }

  std::string_view top = name.substr(0, name.find('.'));
  entry.set_bool<"is_stdlib">(match::equals_any(top, kStdlib));

  if (typing) {
    std::string_view category = "other";
    for (const CategoryRow& row : kTypingCategories) {
      if (match::contains_any(name, row.fragments)) {
        category = row.category;
        break;
      }
    }
    entry.set_str<"typing_category">(category);
  }
}

}  // namespace ovra::analysis
