#include "frameworks/jobs.hpp"

#include <array>
#include <string>
#include <vector>

#include "analysis/naming.hpp"
#include "frameworks/text_match.hpp"
#include "host/kinds.hpp"

namespace ovra::frameworks {

namespace {

// A text containing one of these is a job call.
constexpr std::array<std::string_view, 48> kJobCallFragments{
    ".delay(",           ".apply_async(",        ".retry(",
    ".replace(",         ".revoke(",             ".send_task(",
    "celery.send_task(", "current_task",         "task_id",
    "bind=True",         ".enqueue(",            ".enqueue_at(",
    ".enqueue_in(",      "Queue(",               "Worker(",
    "job.cancel(",       "job.requeue(",         "get_current_job(",
    ".send(",            ".send_with_options(",  "dramatiq.actor",
    "get_broker(",       "set_broker(",          "scheduler.add_job(",
    "scheduler.remove_job(", "scheduler.modify_job(", "scheduler.pause_job(",
    "scheduler.resume_job(", "scheduler.start(",  "scheduler.shutdown(",
    "BackgroundScheduler(", "AsyncIOScheduler(",  "async_task(",
    "schedule(",         "result(",              "fetch(",
    "count_group(",      "delete_group(",        "arq.cron(",
    "ctx.job_id",        "ctx.job_try",          "ctx.enqueue_time",
    "broker.task(",      "task.kiq(",            "task.kicker(",
    "huey.task(",        "huey.periodic_task(",  "huey.crontab(",
};

// A word together with one of its companions is a job call.
struct WordPair {
  std::string_view word;
  std::array<std::string_view, 5> companions;  // unused slots are empty
};
constexpr std::array<WordPair, 4> kJobCallPairs{{
    {"queue", {"add", "put", "enqueue", "push", ""}},
    {"task", {"run", "execute", "perform", "process", ""}},
    {"job", {"start", "stop", "cancel", "retry", "status"}},
    {"async", {"run", "execute", "process", "", ""}},
}};

// A text containing one of these alone is a job call.
constexpr std::array<std::string_view, 5> kJobCallWords{"background", "schedule", "cron", "periodic", "interval"};

bool contains_word_pair(std::string_view text, const WordPair& pair) {
  return contains(text, pair.word) && contains_any(text, pair.companions);
}

// ---------------------------------------------------------------- record state

enum Flag {
  kCelery, kRq, kDramatiq, kScheduled, kPeriodic, kAsync, kRay, kDask, kPrefect, kAirflow, kFlagCount
};

struct JobState {
  std::string_view job_system = "unknown";
  std::string_view job_type = "unknown";
  std::array<bool, kFlagCount> flags{};
  bool has_self_param = false, has_context_param = false, has_queue_param = false, has_job_param = false;
  std::vector<std::string> job_params;
  std::vector<std::string> job_operations, queue_operations, retry_patterns, error_handling_patterns,
      chaining_patterns;
};

// ---------------------------------------------------------------- name rules

void apply_name_rules(std::string_view name, JobState& s) {
  if (contains(name, "task")) {
    s.job_type = "task";
    if (contains(name, "periodic") || contains(name, "cron")) {
      s.flags[kPeriodic] = true;
      s.job_type = "periodic_task";
    } else if (contains(name, "scheduled")) {
      s.flags[kScheduled] = true;
      s.job_type = "scheduled_job";
    }
  } else if (contains(name, "job")) {
    s.job_type = "job";
    if (contains(name, "cron")) {
      s.flags[kScheduled] = true;
      s.job_type = "cron_job";
    }
  } else if (contains(name, "worker")) {
    s.job_type = "worker";
  } else if (contains(name, "process")) {
    s.job_type = "processor";
  } else if (contains(name, "handle")) {
    s.job_type = "handler";
  } else if (contains(name, "queue")) {
    s.job_type = "queue";
  } else if (contains(name, "schedule")) {
    s.job_type = "scheduled";
    s.flags[kScheduled] = true;
  } else if (contains(name, "background")) {
    s.job_type = "background";
  } else if (contains(name, "async")) {
    s.job_type = "async";
    s.flags[kAsync] = true;
  }
}

// ---------------------------------------------------------------- decorator rules

struct DecoratorRow {
  std::array<std::string_view, 3> names;  // equals; unused slots are empty
  std::string_view system;
  std::array<Flag, 2> flags;  // kFlagCount marks an unused slot
  std::string_view job_type;
};

// Exact names, tried top to bottom.
constexpr std::array<DecoratorRow, 14> kDecoratorNames{{
    {{"app.task", "task", "celery.task"}, "celery", {kCelery, kFlagCount}, "celery_task"},
    {{"shared_task", "", ""}, "celery", {kCelery, kFlagCount}, "shared_task"},
    {{"periodic_task", "", ""}, "celery", {kCelery, kPeriodic}, "periodic_task"},
    {{"job", "rq.job", ""}, "rq", {kRq, kFlagCount}, "rq_job"},
    {{"actor", "dramatiq.actor", ""}, "dramatiq", {kDramatiq, kFlagCount}, "dramatiq_actor"},
    {{"scheduled_job", "", ""}, "apscheduler", {kScheduled, kFlagCount}, "scheduled_job"},
    {{"cron", "", ""}, "apscheduler", {kScheduled, kFlagCount}, "cron_job"},
    {{"interval", "", ""}, "apscheduler", {kScheduled, kFlagCount}, "interval_job"},
    {{"async_task", "", ""}, "django-q", {kAsync, kFlagCount}, "async_task"},
    {{"schedule", "", ""}, "django-q", {kScheduled, kFlagCount}, "scheduled_task"},
    {{"arq.cron", "cron_job", ""}, "arq", {kScheduled, kAsync}, "arq_cron"},
    {{"broker.task", "taskiq.task", ""}, "taskiq", {kFlagCount, kFlagCount}, "taskiq_task"},
    {{"huey.task", "", ""}, "huey", {kFlagCount, kFlagCount}, "huey_task"},
    {{"huey.periodic_task", "", ""}, "huey", {kPeriodic, kFlagCount}, "huey_periodic_task"},
}};

struct DecoratorFallback {
  std::array<std::string_view, 2> fragments;  // contains; unused slots are empty
  std::string_view system;                    // empty: unchanged
  Flag flag;                                  // kFlagCount: none
};

// Tried after the exact names, top to bottom; the job type stays unchanged.
constexpr std::array<DecoratorFallback, 9> kDecoratorFragments{{
    {{"celery", ""}, "celery", kCelery},
    {{"rq", ""}, "rq", kRq},
    {{"dramatiq", ""}, "dramatiq", kDramatiq},
    {{"huey", ""}, "huey", kFlagCount},
    {{"arq", ""}, "arq", kAsync},
    {{"taskiq", ""}, "taskiq", kFlagCount},
    {{"schedule", "cron"}, "", kScheduled},
    {{"periodic", ""}, "", kPeriodic},
    {{"async", ""}, "", kAsync},
}};

void apply_decorator(std::string_view name, JobState& s) {
  for (const DecoratorRow& row : kDecoratorNames) {
    if (!equals_any(name, row.names)) continue;
    s.job_system = row.system;
    for (Flag f : row.flags) {
      if (f != kFlagCount) s.flags[f] = true;
    }
    s.job_type = row.job_type;
    return;
  }
  for (const DecoratorFallback& row : kDecoratorFragments) {
    if (!contains_any(name, row.fragments)) continue;
    if (!row.system.empty()) s.job_system = row.system;
    if (row.flag != kFlagCount) s.flags[row.flag] = true;
    return;
  }
}

// ---------------------------------------------------------------- parameter rules

void apply_parameters(py::Handle node, JobState& s) {
  py::Ref arguments = py::attr<"args">(node);
  py::Ref args = py::attr<"args">(arguments);
  if (!py::is_list(args)) return;
  for (py::Handle arg : py::items(args)) {
    py::Ref arg_name = py::attr<"arg">(arg);
    std::string_view name = py::utf8(arg_name);
    if (name == "self") {
      s.has_self_param = true;
      continue;
    }
    s.job_params.emplace_back(name);
    if (contains(name, "context") || contains(name, "ctx")) {
      s.has_context_param = true;
    } else if (contains(name, "queue")) {
      s.has_queue_param = true;
    } else if (contains(name, "job") || contains(name, "task")) {
      s.has_job_param = true;
    }
  }
}

// ---------------------------------------------------------------- body scan

struct SystemRow {
  std::array<std::string_view, 6> fragments;  // contains any; unused slots are empty
  std::string_view required;                  // must also be contained; empty: none
  std::string_view system;
  Flag flag;
  bool queue_operation;  // the call is a queue operation too
};

// Tried top to bottom; the first row that matches decides. Prefect takes two
// rows: "@task" counts only together with "prefect".
constexpr std::array<SystemRow, 9> kSystems{{
    {{".delay(", ".apply_async(", "", "", "", ""}, "", "celery", kCelery, false},
    {{".enqueue(", "", "", "", "", ""}, "", "rq", kRq, true},
    {{".send(", "", "", "", "", ""}, "dramatiq", "dramatiq", kDramatiq, false},
    {{"scheduler.add_job(", "", "", "", "", ""}, "", "apscheduler", kScheduled, false},
    {{"ray.remote", "ray.get", "ray.put", "ray.wait", "", ""}, "", "ray", kRay, false},
    {{"dask.delayed", "dask.compute", "client.submit", "client.map", "client.scatter", "client.gather"},
     "", "dask", kDask, false},
    {{"@flow", "flow.run", "task.submit", "", "", ""}, "", "prefect", kPrefect, false},
    {{"@task", "", "", "", "", ""}, "prefect", "prefect", kPrefect, false},
    {{"DAG(", "PythonOperator(", "BashOperator(", "dag.add_task", "airflow.", ""}, "", "airflow", kAirflow,
     false},
}};

constexpr std::array<std::string_view, 2> kRetryFragments{".retry(", "retry"};
constexpr std::array<std::string_view, 2> kQueueFragments{"queue", "enqueue"};
constexpr std::array<std::string_view, 3> kChainingFragments{"chain", "group", "chord"};
constexpr std::array<std::string_view, 2> kErrorFragments{"raise", "exception"};

void classify_job_call(py::Handle expr, JobState& s) {
  if (kind_of(expr) != Kind::Call) return;
  const std::string name = analysis::dotted_name(py::attr<"func">(expr));
  for (const SystemRow& row : kSystems) {
    if (!contains_any(name, row.fragments)) continue;
    if (!row.required.empty() && !contains(name, row.required)) continue;
    s.job_system = row.system;
    s.flags[row.flag] = true;
    s.job_operations.push_back(name);
    if (row.queue_operation) s.queue_operations.push_back(name);
    break;
  }
  if (contains_any(name, kRetryFragments)) s.retry_patterns.push_back(name);
  if (contains_any(name, kQueueFragments)) s.queue_operations.push_back(name);
  if (contains_any(name, kChainingFragments)) s.chaining_patterns.push_back(name);
  if (contains_any(name, kErrorFragments)) s.error_handling_patterns.push_back(name);
}

void scan_job_body(py::Handle statements, JobState& s) {
  py::DepthGuard guard;
  if (!py::is_list(statements)) return;
  for (py::Handle stmt : py::items(statements)) {
    switch (kind_of(stmt)) {
      case Kind::Expr:
      case Kind::Assign:
        classify_job_call(py::attr<"value">(stmt), s);
        break;
      case Kind::Try: {
        py::Ref handlers = py::attr<"handlers">(stmt);
        if (py::is_list(handlers) && PyList_GET_SIZE(handlers.get()) > 0) {
          s.error_handling_patterns.emplace_back("try_except");
        }
        scan_job_body(py::attr<"body">(stmt), s);
        scan_job_body(py::attr<"orelse">(stmt), s);
        break;
      }
      case Kind::If:
      case Kind::For:
      case Kind::While:
        scan_job_body(py::attr<"body">(stmt), s);
        scan_job_body(py::attr<"orelse">(stmt), s);
        break;
      default:
        break;
    }
  }
}

py::List text_list(const std::vector<std::string>& texts) {
  py::List list = py::List::make();
  for (const std::string& t : texts) list.append_str(t);
  return list;
}

}  // namespace

bool is_job_call(std::string_view text) {
  if (contains_any(text, kJobCallFragments)) return true;
  for (const WordPair& pair : kJobCallPairs) {
    if (contains_word_pair(text, pair)) return true;
  }
  return contains_any(text, kJobCallWords);
}

bool body_has_job_calls(py::Handle statements) {
  py::DepthGuard guard;
  if (!py::is_list(statements)) return false;
  for (py::Handle stmt : py::items(statements)) {
    switch (kind_of(stmt)) {
      case Kind::Expr:
      case Kind::Assign: {
        py::Ref value = py::attr<"value">(stmt);
        switch (kind_of(value)) {
          case Kind::Call:
            if (is_job_call(analysis::dotted_name(py::attr<"func">(value)))) return true;
            break;
          case Kind::Attribute:
            if (is_job_call(analysis::dotted_name(value))) return true;
            break;
          default:
            break;
        }
        break;
      }
      case Kind::If:
      case Kind::For:
      case Kind::While:
      case Kind::Try:
        if (body_has_job_calls(py::attr<"body">(stmt))) return true;
        if (body_has_job_calls(py::attr<"orelse">(stmt))) return true;
        break;
      default:
        break;
    }
  }
  return false;
}

py::Dict analyze_job_function(py::Handle decorators, py::Handle node, std::string_view name) {
  JobState s;
  s.flags[kAsync] = kind_of(node) == Kind::AsyncFunctionDef;
  apply_name_rules(name, s);
  if (decorators && py::is_list(decorators)) {
    for (py::Handle entry : py::items(decorators)) {
      if (std::optional<std::string_view> n = decorator_entry_name(entry)) apply_decorator(*n, s);
    }
  }
  apply_parameters(node, s);
  scan_job_body(py::attr<"body">(node), s);

  py::Dict record = py::Dict::make();
  record.set_str<"job_system">(s.job_system);
  record.set_str<"job_type">(s.job_type);
  record.set_bool<"is_celery_task">(s.flags[kCelery]);
  record.set_bool<"is_rq_job">(s.flags[kRq]);
  record.set_bool<"is_dramatiq_actor">(s.flags[kDramatiq]);
  record.set_bool<"is_scheduled_job">(s.flags[kScheduled]);
  record.set_bool<"is_periodic_task">(s.flags[kPeriodic]);
  record.set_bool<"is_async_job">(s.flags[kAsync]);
  record.set_bool<"is_ray_task">(s.flags[kRay]);
  record.set_bool<"is_dask_task">(s.flags[kDask]);
  record.set_bool<"is_prefect_flow">(s.flags[kPrefect]);
  record.set_bool<"is_airflow_dag">(s.flags[kAirflow]);
  record.set_bool<"has_retry_logic">(!s.retry_patterns.empty());
  record.set_bool<"has_queue_operations">(!s.queue_operations.empty());
  record.set_bool<"has_error_handling">(!s.error_handling_patterns.empty());
  record.set_bool<"has_job_chaining">(!s.chaining_patterns.empty());
  record.set_bool<"has_self_param">(s.has_self_param);
  record.set_bool<"has_context_param">(s.has_context_param);
  record.set_bool<"has_queue_param">(s.has_queue_param);
  record.set_bool<"has_job_param">(s.has_job_param);
  record.set<"job_params">(text_list(s.job_params));
  record.set<"task_options">(py::Dict::make());
  record.set<"job_operations">(text_list(s.job_operations));
  record.set<"queue_operations">(text_list(s.queue_operations));
  record.set<"retry_patterns">(text_list(s.retry_patterns));
  record.set<"error_handling_patterns">(text_list(s.error_handling_patterns));
  record.set<"chaining_patterns">(text_list(s.chaining_patterns));
  return record;
}

}  // namespace ovra::frameworks
