#!/usr/bin/env python3
"""Prints, for each C++ source under src/, a key and its path ("KEY  src/x/y.cpp").

The key is a hash of everything clang-tidy's verdict on that file depends on: the file, every
header of the project (or made by the build) that it includes, directly or not, as the build
BUILD_DIR last compiled it (ninja's dependency log), the .clang-tidy file, the CMake files that
set the compile flags, and the versions of clang-tidy, the compiler's standard library, Qt, ICU
and xxHash. A file the build has not compiled (no dependency log) gets the key "-", which never
matches a recorded key.

Usage: tidy_keys.py SOURCE_DIR BUILD_DIR
"""
import hashlib
import json
import os
import shlex
import subprocess
import sys


def file_digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def common_salt(root):
    h = hashlib.sha256()
    tidy = subprocess.run(["clang-tidy", "--version"], capture_output=True, text=True).stdout
    packages = subprocess.run(
        ["dpkg-query", "-W", "-f", "${Package} ${Version}\n", "qt6-base-dev", "libicu-dev",
         "libxxhash-dev", "libstdc++-12-dev", "clang-tidy"],
        capture_output=True, text=True).stdout
    h.update(tidy.encode() + packages.encode())
    inputs = [".clang-tidy", "CMakeLists.txt"]
    for folder in ("cmake", "src"):
        for base, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name == "CMakeLists.txt" or name.endswith(".cmake"):
                    inputs.append(os.path.relpath(os.path.join(base, name), root))
    for rel in sorted(inputs):
        h.update(rel.encode() + b"\0" + file_digest(os.path.join(root, rel)).encode())
    return h.hexdigest()


def dependencies(build, output):
    """The files ninja recorded that `output` was compiled from, or None."""
    run = subprocess.run(["ninja", "-C", build, "-t", "deps", output],
                         capture_output=True, text=True)
    lines = run.stdout.splitlines()
    if run.returncode != 0 or not lines or "(VALID)" not in lines[0]:
        return None
    return [os.path.normpath(os.path.join(build, line.strip())) for line in lines[1:]
            if line.strip()]


def main():
    root = os.path.realpath(sys.argv[1])
    build = os.path.realpath(sys.argv[2])
    salt = common_salt(root)
    with open(os.path.join(build, "compile_commands.json")) as f:
        commands = json.load(f)
    outputs = {}
    for entry in commands:
        source = os.path.realpath(os.path.join(entry["directory"], entry["file"]))
        words = entry.get("arguments") or shlex.split(entry["command"])
        output = entry.get("output") or next(
            (words[i + 1] for i, w in enumerate(words[:-1]) if w == "-o"), None)
        if output:
            outputs[source] = output
    sources = []
    for base, _, names in os.walk(os.path.join(root, "src")):
        sources += [os.path.join(base, n) for n in names if n.endswith(".cpp")]
    for source in sorted(sources):
        rel = os.path.relpath(source, root)
        deps = dependencies(build, outputs[source]) if source in outputs else None
        if deps is None:
            print("-  " + rel)
            continue
        h = hashlib.sha256(salt.encode())
        for dep in sorted(set(deps) | {source}):
            if dep.startswith(root + os.sep) and not dep.startswith(build + os.sep):
                name = os.path.relpath(dep, root)
            elif dep.startswith(build + os.sep):
                name = "build/" + os.path.relpath(dep, build)
            else:
                continue  # a system header: its package's version is in the salt
            if not os.path.exists(dep):
                h.update(name.encode() + b"\0missing")
                continue
            h.update(name.encode() + b"\0" + file_digest(dep).encode())
        print(h.hexdigest() + "  " + rel)


if __name__ == "__main__":
    main()
