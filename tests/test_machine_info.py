import hashlib
import ipaddress
import json
import os
import platform
import re
import shlex
import shutil
import socket
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import ovra_python

KEYS = [
    "machine_name",
    "machine_os",
    "machine_os_version",
    "machine_os_arch",
    "machine_ip",
    "machine_mac",
    "cpu_count",
    "cpu_brand",
    "total_memory",
    "machine_fingerprint",
]

MODULE_DIR = str(Path(ovra_python.__file__).resolve().parent)


def expected_fingerprint(info: dict) -> int:
    text = "-".join(
        [
            info["machine_name"],
            info["machine_mac"],
            info["cpu_brand"],
            str(info["total_memory"]),
            info["machine_os_arch"],
            info["machine_os"],
        ]
    )
    return int.from_bytes(hashlib.sha256(text.encode("utf-8")).digest()[:8], "big")


# ---------------------------------------------------------------- the record on this machine


@pytest.fixture(scope="module")
def info():
    return ovra_python.get_machine_info()


def test_record_has_every_key_in_order_with_its_type(info):
    assert list(info) == KEYS
    for key in KEYS:
        expected = int if key in ("cpu_count", "total_memory", "machine_fingerprint") else str
        assert type(info[key]) is expected, key


def test_fingerprint_is_recomputable_from_the_record(info):
    assert 0 <= info["machine_fingerprint"] < 2**64
    assert info["machine_fingerprint"] == expected_fingerprint(info)


def test_two_calls_agree(info):
    assert ovra_python.get_machine_info() == info


def test_takes_no_arguments():
    with pytest.raises(TypeError):
        ovra_python.get_machine_info(1)


def test_host_name(info):
    assert info["machine_name"] == socket.gethostname()


def test_build_architecture(info):
    if platform.machine() not in ("x86_64", "aarch64"):
        pytest.skip("architecture name not compared on this platform")
    assert info["machine_os_arch"] == platform.machine()


def test_processors_and_memory(info):
    assert info["cpu_count"] == os.cpu_count()
    meminfo = Path("/proc/meminfo").read_text()
    total_kib = int(re.search(r"^MemTotal:\s+(\d+) kB", meminfo, re.M).group(1))
    assert info["total_memory"] == total_kib * 1024
    brands = re.findall(r"^model name\s*:\s*(.*?)\s*$", Path("/proc/cpuinfo").read_text(), re.M)
    assert info["cpu_brand"] == (brands[0] if brands else "unknown")


def test_release_files_of_this_machine(info):
    if not os.path.exists("/etc/os-release"):
        pytest.skip("no /etc/os-release")
    release = platform.freedesktop_os_release()
    assert info["machine_os"] == release.get("NAME", info["machine_os"])
    if "VERSION_ID" in release:
        assert info["machine_os_version"] == release["VERSION_ID"]


def test_ip_is_the_kernels_source_address_towards_the_internet(info):
    ipaddress.IPv4Address(info["machine_ip"])
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        try:
            s.connect(("8.8.8.8", 53))  # a route lookup only, nothing is sent
        except OSError:
            pytest.skip("no route to the internet")
        assert info["machine_ip"] == s.getsockname()[0]


def first_link_address() -> str:
    """The first six-byte, non-zero hardware address in interface order, from sysfs."""
    interfaces = []
    for entry in Path("/sys/class/net").iterdir():
        try:
            index = int((entry / "ifindex").read_text())
            address = (entry / "address").read_text().strip()
        except OSError:
            continue
        interfaces.append((index, address))
    for _, address in sorted(interfaces):
        if re.fullmatch(r"(?:[0-9a-f]{2}:){5}[0-9a-f]{2}", address) and address != "00:00:00:00:00:00":
            return address.upper()
    return "00:00:00:00:00:00"


def test_mac_is_first_non_zero_link_address(info):
    assert re.fullmatch(r"(?:[0-9A-F]{2}:){5}[0-9A-F]{2}", info["machine_mac"])
    assert info["machine_mac"] == first_link_address()


def test_collection_is_cheap():
    import time

    ovra_python.get_machine_info()
    samples = []
    for _ in range(200):
        start = time.perf_counter()
        ovra_python.get_machine_info()
        samples.append(time.perf_counter() - start)
    samples.sort()
    assert samples[len(samples) // 2] < 0.005


# ---------------------------------------------------------------- namespaces (root only)


# Every child runs in its own namespaces: bind mounts, host names and network
# devices made there never reach the host, and each child is bounded in time.
CHILD_TIMEOUT = 60


def _can_unshare(*args: str) -> bool:
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        return False
    try:
        probe = subprocess.run(["unshare", *args], capture_output=True, timeout=CHILD_TIMEOUT)
    except (OSError, subprocess.SubprocessError):
        return False
    return probe.returncode == 0


PRIVATE_MOUNTS = ["-m", "--propagation", "private"]
needs_mount_ns = pytest.mark.skipif(
    not _can_unshare(*PRIVATE_MOUNTS, "mount", "--bind", "/proc/cpuinfo", "/proc/cpuinfo"),
    reason="needs root, mount namespaces and bind mounts",
)
needs_net_ns = pytest.mark.skipif(not _can_unshare("-n", "true"), reason="needs root and network namespaces")
needs_uts_ns = pytest.mark.skipif(
    not _can_unshare("-u", sys.executable, "-c", "import socket; socket.sethostname('probe')"),
    reason="needs root and UTS namespaces",
)

PRINT_INFO = "import json, ovra_python; print(json.dumps(ovra_python.get_machine_info()))"


def _python(code: str) -> list:
    return [sys.executable, "-c", code]


def _env() -> dict:
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join([MODULE_DIR, env.get("PYTHONPATH", "")])
    return env


def _child_info(command: list) -> dict:
    out = subprocess.run(command, capture_output=True, text=True, env=_env(), timeout=CHILD_TIMEOUT)
    assert out.returncode == 0, out.stderr
    return json.loads(out.stdout)


def info_in_mount_namespace(*binds: tuple) -> dict:
    """The record as seen with each (source, target) pair bind-mounted, in order, in a private namespace."""
    mounts = " && ".join(f"mount --rbind {shlex.quote(str(s))} {shlex.quote(str(t))}" for s, t in binds)
    script = f'{mounts} && exec "$0" -c "$1"'
    return _child_info(["unshare", *PRIVATE_MOUNTS, "sh", "-c", script, sys.executable, PRINT_INFO])


FIFO = object()  # a release file that is a named pipe nobody writes to


def info_with_release_files(tmp_path: Path, os_release, lsb_release) -> dict:
    """The record with a stand-in /etc: links to the real entries plus the given release files.

    Inside the namespace the real /etc is first mounted on `real`, which the links point into,
    then the stand-in is mounted on /etc. Nothing is written to the real /etc.
    """
    real = tmp_path / "real"
    etc = tmp_path / "etc"
    real.mkdir()
    etc.mkdir()
    for entry in os.listdir("/etc"):
        if entry not in ("os-release", "lsb-release"):
            (etc / entry).symlink_to(real / entry)
    for name, content in (("os-release", os_release), ("lsb-release", lsb_release)):
        if content is FIFO:
            os.mkfifo(etc / name)
        elif content is not None:
            (etc / name).write_bytes(content if isinstance(content, bytes) else content.encode())
    return info_in_mount_namespace(("/etc", real), (etc, "/etc"))


@needs_mount_ns
@pytest.mark.parametrize(
    ("os_release", "lsb_release", "name", "version"),
    [
        pytest.param('NAME="Ubuntu"\nVERSION_ID="22.04"\n', None, "Ubuntu", "22.04", id="quoted"),
        pytest.param('PRETTY_NAME="Pretty 1"\nNAME=Arch\nVERSION_ID=rolling', None, "Arch", "rolling",
                     id="prefix-matched-at-line-start"),
        pytest.param("NAME=First\nNAME=Second\nVERSION_ID=1\nVERSION_ID=2\n", None, "First", "1",
                     id="first-line-wins"),
        pytest.param('NAME="a "quoted" name"\nVERSION_ID=a=b\n', None, "a quoted name", "a=b",
                     id="all-quotes-removed"),
        pytest.param("NAME=\nVERSION_ID=\n", "DISTRIB_ID=Lsb\nDISTRIB_RELEASE=1\n", "", "", id="empty-values"),
        pytest.param(" NAME=x\nname=y\n", None, "unknown", "unknown", id="no-matching-line"),
        pytest.param("NAME=Fedora\n", 'DISTRIB_ID=Other\nDISTRIB_RELEASE="39"\n', "Fedora", "39",
                     id="version-falls-back-alone"),
        pytest.param(None, 'DISTRIB_ID="Ubuntu"\nDISTRIB_RELEASE=18.04\n', "Ubuntu", "18.04",
                     id="lsb-only"),
        pytest.param("ID=debian\n", "DISTRIB_ID=Lsb\n", "Lsb", "unknown", id="both-partial"),
        pytest.param(b"NAME=Caf\xe9\nVERSION_ID=1\n", "DISTRIB_ID=Lsb\nDISTRIB_RELEASE=2\n", "Lsb", "2",
                     id="os-release-not-utf8"),
        pytest.param("NAME=Caf\u00e9 \u2713\nVERSION_ID=1\n", None, "Caf\u00e9 \u2713", "1", id="utf8-value"),
        pytest.param('NAME="Crlf"\r\nVERSION_ID=3\r\n', None, "Crlf", "3", id="crlf-line-ends"),
        pytest.param(None, None, "unknown", "unknown", id="neither-file"),
        # Only the start of an oversized file is read; the line cut there (here inside a
        # two-byte character) is dropped, the whole lines before it still count.
        pytest.param("NAME=Big\nVERSION_ID=1\n#" + "\u00e9" * 40000 + "\n", None, "Big", "1",
                     id="oversized-file"),
        pytest.param(FIFO, "DISTRIB_ID=Lsb\nDISTRIB_RELEASE=2\n", "Lsb", "2", id="os-release-is-a-pipe"),
    ],
)
def test_release_file_parsing(tmp_path, os_release, lsb_release, name, version):
    info = info_with_release_files(tmp_path, os_release, lsb_release)
    assert (info["machine_os"], info["machine_os_version"]) == (name, version)
    assert info["machine_fingerprint"] == expected_fingerprint(info)


@needs_mount_ns
@pytest.mark.parametrize(
    ("cpuinfo", "brand"),
    [
        pytest.param("processor\t: 0\nmodel name\t:   Some CPU @ 2.00GHz  \nflags\t: fpu\n\n"
                     "processor\t: 1\nmodel name\t: Other\n", "Some CPU @ 2.00GHz", id="first-block-trimmed"),
        pytest.param("processor\t: 0\nvendor_id\t: X\n\nprocessor\t: 1\nmodel name\t: Second\n", "unknown",
                     id="first-processor-has-none"),
        pytest.param("processor\t: 0\nmodel name\t: No newline at end", "No newline at end", id="no-final-newline"),
        pytest.param("", "unknown", id="empty"),
    ],
)
def test_processor_brand_parsing(tmp_path, cpuinfo, brand):
    fixture = tmp_path / "cpuinfo"
    fixture.write_text(cpuinfo)
    info = info_in_mount_namespace((fixture, "/proc/cpuinfo"))
    assert info["cpu_brand"] == brand
    assert info["machine_fingerprint"] == expected_fingerprint(info)


@needs_uts_ns
@pytest.mark.parametrize(
    ("host_name", "expected"),
    [
        pytest.param("h" * 64, "h" * 64, id="longest"),
        pytest.param("h\u00e9te", "h\u00e9te", id="utf8"),
        pytest.param(b"\xffhost", "unknown", id="not-utf8"),
    ],
)
def test_host_name_variants(host_name, expected):
    name = host_name if isinstance(host_name, bytes) else host_name.encode()
    code = f"import socket; socket.sethostname({name!r}); {PRINT_INFO}"
    info = _child_info(["unshare", "-u", *_python(code)])
    assert info["machine_name"] == expected
    assert info["machine_fingerprint"] == expected_fingerprint(info)


NETWORK_SCRIPT = textwrap.dedent(
    """\
    import json, subprocess, ovra_python

    def ip(*args):
        subprocess.run(["ip", *args], check=True, capture_output=True, timeout=30)

    out = {"bare": ovra_python.get_machine_info()}
    try:
        # Both ends carry the same address, so interface order does not matter.
        ip("link", "add", "t0", "address", "02:00:00:00:00:2a", "type", "veth",
           "peer", "name", "t1", "address", "02:00:00:00:00:2a")
    except (OSError, subprocess.SubprocessError):
        print(json.dumps(out))
        raise SystemExit
    ip("link", "set", "t1", "up")
    ip("link", "set", "t0", "up")
    ip("addr", "add", "10.1.2.3/24", "dev", "t0")
    out["unrouted"] = ovra_python.get_machine_info()
    ip("addr", "add", "10.5.6.7/24", "dev", "t0")
    ip("route", "add", "default", "via", "10.5.6.1", "src", "10.5.6.7")
    out["routed"] = ovra_python.get_machine_info()
    ip("addr", "flush", "dev", "t0")
    ip("addr", "add", "10.9.9.9/24", "dev", "t0")
    ip("route", "add", "default", "via", "10.9.9.1")
    out["moved"] = ovra_python.get_machine_info()
    print(json.dumps(out))
    """
)


@pytest.fixture(scope="module")
def network_cases():
    return _child_info(["unshare", "-n", *_python(NETWORK_SCRIPT)])


@needs_net_ns
def test_loopback_only_machine_falls_back(network_cases):
    bare = network_cases["bare"]
    assert bare["machine_mac"] == "00:00:00:00:00:00"
    assert bare["machine_ip"] == "127.0.0.1"
    assert bare["machine_fingerprint"] == expected_fingerprint(bare)


@needs_net_ns
def test_addresses_follow_interfaces_and_routes(network_cases):
    if "unrouted" not in network_cases:
        pytest.skip("cannot create a network interface here")
    # Without a route the first address of an interface that is up serves.
    assert network_cases["unrouted"]["machine_ip"] == "10.1.2.3"
    # With a default route its source address is preferred.
    assert network_cases["routed"]["machine_ip"] == "10.5.6.7"
    assert network_cases["moved"]["machine_ip"] == "10.9.9.9"
    for case in ("unrouted", "routed", "moved"):
        assert network_cases[case]["machine_mac"] == "02:00:00:00:00:2A"


@needs_net_ns
def test_fingerprint_ignores_address_changes(network_cases):
    if "moved" not in network_cases:
        pytest.skip("cannot create a network interface here")
    fingerprints = {network_cases[case]["machine_fingerprint"] for case in ("unrouted", "routed", "moved")}
    assert len(fingerprints) == 1
    assert fingerprints != {network_cases["bare"]["machine_fingerprint"]}
