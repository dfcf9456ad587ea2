// Background job detection: Celery, RQ, Dramatiq, APScheduler, django-q, arq,
// taskiq, huey, Ray, Dask, Prefect and Airflow.
//
// Decorator entries are the DecoratorRecord dicts of a function record (only
// their str `name` is read); anything that is not a list counts as none.
#pragma once

#include <string_view>

#include "host/py.hpp"

namespace ovra::frameworks {

// Whether a call or attribute name looks like job submission or management.
bool is_job_call(std::string_view text);

// Whether a statement list (a function body) holds a job-like call; looks
// into if/for/while/try blocks, not into nested definitions.
bool body_has_job_calls(py::Handle statements);

// The JobRecord of a function node named `name`.
py::Dict analyze_job_function(py::Handle decorators, py::Handle node, std::string_view name);

}  // namespace ovra::frameworks
