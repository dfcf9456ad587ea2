"""Analyses every .py file of the running interpreter's standard library.

Prints the number of files, their total size, the time of `ast.parse` alone,
the time of `analyze_python_code`, their ratio, and the peak memory.

    python3 bench/stdlib_bench.py [--repeat N] [--root DIR]
"""
import argparse
import ast
import os
import resource
import sysconfig
import time
import warnings

import ovra_python


def sources(root):
    for dirpath, dirnames, filenames in os.walk(root):
        dirnames[:] = sorted(d for d in dirnames if d not in ("site-packages", "__pycache__"))
        for name in sorted(filenames):
            if name.endswith(".py"):
                path = os.path.join(dirpath, name)
                try:
                    with open(path, encoding="utf-8") as f:
                        yield path, f.read()
                except (UnicodeDecodeError, OSError):
                    continue


def best_of(repeat, fn):
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - start)
    return best


def max_rss_mib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--root", default=sysconfig.get_paths()["stdlib"])
    args = parser.parse_args()

    files = list(sources(args.root))
    total_bytes = sum(len(text.encode("utf-8", "surrogatepass")) for _, text in files)
    warnings.simplefilter("ignore")

    def parse_all():
        for _, text in files:
            try:
                ast.parse(text)
            except (SyntaxError, ValueError, RecursionError, MemoryError):
                pass

    def analyze_all():
        for path, text in files:
            ovra_python.analyze_python_code(text, path)

    parse_time = best_of(args.repeat, parse_all)
    rss_after_parse = max_rss_mib()
    analyze_time = best_of(args.repeat, analyze_all)
    rss_after_analyze = max_rss_mib()

    failures = sum(1 for path, text in files if not ovra_python.analyze_python_code(text, path)["success"])
    print(f"root:               {args.root}")
    print(f"files:              {len(files)} ({failures} not parsable)")
    print(f"total bytes:        {total_bytes}")
    print(f"ast.parse:          {parse_time:.3f} s (best of {args.repeat})")
    print(f"analyze_python_code:{analyze_time:.3f} s (best of {args.repeat})")
    print(f"ratio:              {analyze_time / parse_time:.2f}")
    print(f"peak RSS:           {rss_after_parse:.0f} MiB after parsing, {rss_after_analyze:.0f} MiB after analysis")


if __name__ == "__main__":
    main()
