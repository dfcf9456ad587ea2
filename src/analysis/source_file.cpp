#include "analysis/source_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ovra::analysis {

namespace {

std::string os_error(int err) {
  std::string s = std::strerror(err);
  s += " (os error ";
  s += std::to_string(err);
  s += ')';
  return s;
}

}  // namespace

SourceFile read_source_file(std::string_view path) {
  SourceFile out;
  if (path.find('\0') != std::string_view::npos) {
    out.error = "file name contained an unexpected NUL byte";
    return out;
  }
  std::string p(path);
  int fd = -1;
  do {
    fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    out.error = os_error(errno);
    return out;
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      int err = errno;
      ::close(fd);
      out.error = os_error(err);
      return out;
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  // A byte order mark is an encoding marker, not source text (as for the interpreter).
  std::string_view bytes = data;
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  PyObject* text = PyUnicode_DecodeUTF8(bytes.data(), static_cast<Py_ssize_t>(bytes.size()), "strict");
  if (text == nullptr) {
    if (!PyErr_ExceptionMatches(PyExc_UnicodeDecodeError)) py::raise();
    PyErr_Clear();
    out.error = "stream did not contain valid UTF-8";
    return out;
  }
  out.text = py::Ref::steal(text);
  return out;
}

py::Ref parse_source(py::Handle text) {
  py::Ref ast = py::Ref::checked(PyImport_ImportModule("ast"));
  py::Ref parse = py::attr<"parse">(ast);
  return py::Ref::steal(PyObject_CallOneArg(parse.get(), text.get()));
}

}  // namespace ovra::analysis
