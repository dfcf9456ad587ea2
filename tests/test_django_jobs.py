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
