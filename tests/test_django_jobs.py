import pytest

from conftest import analyze

DJANGO_KEYS = [
    "framework_type", "view_type", "http_methods", "url_pattern", "model_name", "template_name", "form_class",
    "serializer_class", "permission_classes", "authentication_classes", "throttle_classes", "queryset_operations",
    "context_processors", "middleware_classes", "is_generic_view", "is_api_view", "is_admin_view",
    "is_function_based", "is_class_based",
]


def only_class(source):
    classes = analyze(source)["classes"]
    assert len(classes) == 1
    return next(iter(classes.values()))


# ---------------------------------------------------------------- Django class-based views


def test_plain_generic_view_record():
    record = only_class("""
        class Home(TemplateView):
            template_name = "home.html"
    """)
    assert record["is_django"] is True
    assert list(record).index("django_info") == list(record).index("is_django") - 1
    info = record["django_info"]
    assert list(info) == DJANGO_KEYS
    assert info == {
        "framework_type": "django", "view_type": "TemplateView", "http_methods": [], "url_pattern": None,
        "model_name": None, "template_name": None, "form_class": None, "serializer_class": None,
        "permission_classes": [], "authentication_classes": [], "throttle_classes": [], "queryset_operations": [],
        "context_processors": [], "middleware_classes": [], "is_generic_view": False, "is_api_view": False,
        "is_admin_view": False, "is_function_based": False, "is_class_based": True,
    }


@pytest.mark.parametrize("header", [
    "class V(View):",
    "class V(SomeMixin, RetrieveUpdateDestroyAPIView):",
    "class V(views.MyBaseView):",
    "class V(rest_framework.views.APIView):",
])
def test_view_bases_are_views(header):
    assert only_class(header + "\n    pass\n")["is_django"] is True


@pytest.mark.parametrize("source", [
    "@login_required\nclass Secret:\n    pass\n",
    "@method_decorator(login_required, name='dispatch')\nclass Secret(object):\n    pass\n",
    "class Overview(ViewSet):\n    pass\n",
    "class Review(Base[View]):\n    pass\n",
    "class Preview(make_view()):\n    pass\n",
    "class Plain:\n    queryset = Item.objects.all()\n",
])
def test_not_views(source):
    record = only_class(source)
    assert record["is_django"] is False
    assert "django_info" not in record


@pytest.mark.parametrize("source,expected", [
    ("class BookList(generic.ListView, LoginRequiredMixin):\n    pass\n",
     dict(framework_type="django", is_generic_view=False, is_api_view=False, view_type="LoginRequiredMixin")),
    ("class Books(generics.ListAPIView):\n    queryset = Book.objects.all()\n    serializer_class = BookSerializer\n",
     dict(framework_type="django_rest_framework", is_api_view=True, view_type="generics.ListAPIView",
          serializer_class="BookSerializer", has_custom_queryset=True, queryset_operations=["all"])),
    ("class Api(GenericAPIView, TemplateView):\n    pass\n",
     dict(framework_type="django", is_api_view=True, is_generic_view=True, view_type="TemplateView")),
    ("class Detail(DetailView):\n    model = Book\n", dict(model_name="Book")),
    ("class Detail(DetailView):\n    model = models.Book\n", dict(model_name="models.Book")),
    ("class Detail(DetailView):\n    model = get_model('Book')\n", dict(model_name="Unknown")),
    ("class Detail(DetailView):\n    model = Book\n    model = Author\n", dict(model_name="Author")),
    ("class Detail(DetailView):\n    model, extra = Book, 1\n", dict(model_name=None)),
    ("class Contact(FormView):\n    form_class = forms.ContactForm\n", dict(form_class="forms.ContactForm")),
    ("class Mixed(Mixin, View):\n    pass\n", dict(framework_type="django", view_type="View")),
])
def test_class_view_record(source, expected):
    info = only_class(source)["django_info"]
    assert info.items() >= expected.items()
    assert ("has_custom_queryset" in info) == ("has_custom_queryset" in expected)
    assert list(info)[:len(DJANGO_KEYS)] == DJANGO_KEYS


@pytest.mark.parametrize("body,queries,contexts", [
    ("users = User.objects.filter(active=True)", ["filter"], []),
    ("User.objects.get_or_create(name=n)", ["get"], []),
    ("User.objects.all().filter(x=1)", [], []),
    ("ctx = get_context_data()", [], ["get_context_data"]),
    ("data = self.objects.context_update()", ["update"], ["self.objects.context_update"]),
    ("if DEBUG:\n    a = A.objects.exclude(x=1)\nelse:\n    b = B.objects.delete()", ["exclude", "delete"], []),
    ("for x in y:\n    pass\nelse:\n    A.objects.create()", ["create"], []),
    ("try:\n    A.objects.update()\nexcept E:\n    B.objects.all()", ["update"], []),
    ("with lock:\n    A.objects.all()", [], []),
    ("def get_queryset(self):\n    return Book.objects.filter(x=1)", [], []),
    ("total: int = A.objects.count()", [], []),
    ("A.objects.first()\nlabel = A.objects.none", [], []),
])
def test_class_body_query_scan(body, queries, contexts):
    indented = "".join("    " + line + "\n" for line in body.splitlines())
    info = only_class("class V(ListView):\n" + indented)["django_info"]
    assert info["queryset_operations"] == queries
    assert info["context_processors"] == contexts
    assert info["middleware_classes"] == []


# ---------------------------------------------------------------- background jobs (function records)

JOB_KEYS = [
    "job_system", "job_type", "is_celery_task", "is_rq_job", "is_dramatiq_actor", "is_scheduled_job",
    "is_periodic_task", "is_async_job", "is_ray_task", "is_dask_task", "is_prefect_flow", "is_airflow_dag",
    "has_retry_logic", "has_queue_operations", "has_error_handling", "has_job_chaining", "has_self_param",
    "has_context_param", "has_queue_param", "has_job_param", "job_params", "task_options", "job_operations",
    "queue_operations", "retry_patterns", "error_handling_patterns", "chaining_patterns",
]

needs_job_section = pytest.mark.skipif(
    "is_job" not in analyze("def f(): pass")["functions"].get("f", {}), reason="the job section is not built yet"
)


def function(source):
    functions = analyze(source)["functions"]
    assert len(functions) == 1
    return next(iter(functions.values()))


@needs_job_section
@pytest.mark.parametrize("source,expected", [
    ("def process_payments(x): pass", dict(job_type="processor", job_system="unknown")),
    ("def send_periodic_task(x): pass", dict(job_type="periodic_task", is_periodic_task=True)),
    ("def nightly_cron_job(): pass", dict(job_type="cron_job", is_scheduled_job=True)),
    ("async def run_async(): pass", dict(job_type="async", is_async_job=True)),
    ("@shared_task(bind=True)\ndef send(x): pass",
     dict(job_system="celery", is_celery_task=True, job_type="shared_task")),
    ("@app.task\ndef send(x): pass", dict(job_system="celery", job_type="celery_task")),
    ("@irq_handler\ndef send(x): pass", dict(job_system="rq", is_rq_job=True, job_type="unknown")),
    ("@huey.periodic_task\ndef send(): pass", dict(job_system="celery", job_type="periodic_task")),
    ("@arq_worker\ndef send(): pass", dict(job_system="rq", is_rq_job=True, is_async_job=False)),
    ("@taskiq_broker\ndef send(): pass", dict(job_system="taskiq", job_type="unknown")),
    ("@nightly_cron\ndef send(): pass", dict(job_system="unknown", is_scheduled_job=True)),
    ("@as_async\ndef send(): pass", dict(job_system="unknown", is_async_job=True, is_scheduled_job=False)),
    ("@sched.scheduled_job('cron')\ndef nightly_cron_job(): pass",
     dict(job_system="apscheduler", job_type="scheduled_job", is_scheduled_job=True)),
    ("def gather_job(refs):\n    ray.get(refs)",
     dict(job_system="ray", is_ray_task=True, job_operations=["ray.get"])),
    ("def gather_job():\n    client.submit(fn)\n    x = dask.compute(y)",
     dict(job_system="dask", is_dask_task=True, job_operations=["client.submit", "dask.compute"])),
    ("def retry_task(self, e):\n    self.retry(exc=e)",
     dict(job_system="unknown", retry_patterns=["self.retry"], has_retry_logic=True)),
    ("def my_task():\n    try:\n        go()\n    except E:\n        pass",
     dict(error_handling_patterns=["try_except"], has_error_handling=True)),
    ("def my_task():\n    if a:\n        task_queue.put(item)\n    else:\n        chain_group.apply()",
     dict(queue_operations=["task_queue.put"], has_queue_operations=True,
          chaining_patterns=["chain_group.apply"], has_job_chaining=True)),
    ("def my_task(uid):\n    send_email.delay(uid)",
     dict(job_system="unknown", job_operations=[], retry_patterns=[], queue_operations=[])),
    ("def my_task(self, ctx, user_id): pass",
     dict(has_self_param=True, has_context_param=True, job_params=["ctx", "user_id"])),
    ("def my_task(job_queue, task_id): pass",
     dict(has_queue_param=True, has_job_param=True, job_params=["job_queue", "task_id"])),
])
def test_job_record(source, expected):
    record = function(source)
    assert record["is_job"] is True
    info = record["job_info"]
    assert list(info) == JOB_KEYS
    assert info.items() >= expected.items()
    assert info["task_options"] == {}


@needs_job_section
@pytest.mark.parametrize("body,fires", [
    ("send_email.delay(uid)", False),
    ("ray.get(refs)", False),
    ("scheduler.start()", True),
    ("x = self.background_worker", True),
    ("if a:\n    pass\nelse:\n    queue.put(item)", True),
    ("for x in y:\n    task.run()", True),
    ("with lock:\n    task.run()", False),
    ("def inner():\n    task.run()", False),
    ("return task.run()", False),
])
def test_job_body_scan(body, fires):
    record = function("def upload(a):\n" + "".join("    " + line + "\n" for line in body.splitlines()))
    assert record["is_job"] is fires
    assert ("job_info" in record) is fires


# ---------------------------------------------------------------- Django function views (function records)

needs_django_section = pytest.mark.skipif(
    "is_django" not in analyze("def f(): pass")["functions"].get("f", {}),
    reason="the Django section is not built yet",
)


@needs_django_section
@pytest.mark.parametrize("source,expected", [
    ("@login_required\ndef index(request):\n    users = User.objects.filter(active=True)\n    return render(users)",
     dict(framework_type="django_auth", permission_classes=["login_required"], is_function_based=True,
          is_class_based=False, queryset_operations=["filter"], view_type=None)),
    ("@api_view(['GET'])\ndef books(request): pass", dict(framework_type="django_rest_framework", is_api_view=True)),
    ("@cache_page(60)\n@login_required\ndef index(request): pass", dict(framework_type="django_auth")),
    ("@login_required\n@cache_page(60)\ndef index(request): pass",
     dict(framework_type="django_cache", permission_classes=["login_required"])),
    ("@permission_required('app.view')\ndef index(request): pass",
     dict(framework_type="django_auth", permission_classes=[])),
    ("@my_django_helper\ndef index(request): pass", dict(framework_type="unknown")),
    ("@login_required\nasync def index(request): pass", dict(is_function_based=False, is_class_based=False)),
])
def test_function_view_record(source, expected):
    record = function(source)
    assert record["is_django"] is True
    info = record["django_info"]
    assert list(info) == DJANGO_KEYS
    assert info.items() >= expected.items()


@needs_django_section
@pytest.mark.parametrize("source", [
    "@admin.register(Book)\ndef register_book(x): pass",
    "@csrf_exempt\ndef hook(request): pass",
    "def index(request):\n    return User.objects.all()",
])
def test_functions_that_are_not_views(source):
    record = function(source)
    assert record["is_django"] is False
    assert "django_info" not in record
