#!/usr/bin/env python3
"""Checks that every source file of src/ compiles for Windows, with MinGW's -fsyntax-only.

Each file is read with the include paths and macros the build gives it (from the build's
compile_commands.json) and Qt's own headers, but with MinGW's compiler, standard library and
Windows headers: a call that exists only on POSIX (sigaction, pipe, fork, ...) fails here.
Nothing is compiled to an object, linked or run; see docs/portability.md for what that leaves.

Files named *Posix.cpp are the POSIX half of a platform seam: a Windows build never compiles
them. A file the build does not know yet (a new one, or the Windows half of a seam) is read
with the flags of a neighbour in its folder.

    scripts/windows-check.py [build-dir [file ...]]   (default: build, every file)
"""
import concurrent.futures
import json
import os
import pathlib
import shlex
import shutil
import subprocess
import sys
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
COMPILER = "x86_64-w64-mingw32-g++-posix"
# Headers of libraries outside Qt that sit in /usr/include beside glibc's, which MinGW must
# not see. Each is platform-neutral; only it is lent to the check.
LENT_HEADERS = ["mosquitto.h"]
# Flags of the Linux build that mean nothing to a syntax check, or are not MinGW's.
DROP_ALONE = {"-c", "-MD", "-MMD", "-fPIC", "-fPIE", "-pie", "-Winvalid-pch",
              "-fno-omit-frame-pointer", "-fasynchronous-unwind-tables"}
DROP_WITH_NEXT = {"-o", "-MT", "-MF", "-MQ"}
DROP_PREFIX = ("-fsanitize", "-fno-sanitize", "-O", "-g", "-march", "-mtune",
               "-fuse-ld", "-fcolor-diagnostics", "-fdiagnostics-color")


def windows_flags(args):
    """MinGW's flags for a Linux compile command, and the build's precompiled header, if any."""
    out = []
    pch = None
    i = 1
    while i < len(args):
        a = args[i]
        if a in DROP_WITH_NEXT:
            i += 2
            continue
        if a == "-include" and i + 1 < len(args) and "cmake_pch" in args[i + 1]:
            pch = args[i + 1]
            i += 2
            continue
        if a == "-Xclang":
            # clang's form of the same header: -Xclang -include -Xclang .../cmake_pch.hxx
            if args[i + 1:i + 3] == ["-include", "-Xclang"] and i + 3 < len(args) \
                    and "cmake_pch" in args[i + 3]:
                pch = args[i + 3]
                i += 4
                continue
            i += 2 if i + 1 < len(args) and args[i + 1] != "-include-pch" else 4
            continue
        if a in DROP_ALONE or a.startswith(DROP_PREFIX) or a.endswith((".cpp", ".cc")):
            i += 1
            continue
        out.append(a)
        i += 1
    return out, pch


def neighbour(path, known):
    """The compile entry of the nearest file the build knows, walking up from path."""
    folder = path.parent
    while True:
        near = sorted(p for p in known if p.parent == folder)
        if near:
            return known[near[0]]
        if folder == ROOT / "src" or folder == folder.parent:
            return None
        folder = folder.parent


def main():
    build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ROOT / "build").resolve()
    if shutil.which(COMPILER) is None:
        sys.exit(f"windows-check: {COMPILER} is missing (scripts/deps.sh installs it)")
    entries = json.loads((build / "compile_commands.json").read_text())
    known = {}
    for e in entries:
        path = pathlib.Path(e["directory"], e["file"]).resolve()
        args = e["arguments"] if "arguments" in e else shlex.split(e["command"])
        known.setdefault(path, (e["directory"], args))

    sources = sorted(p for p in (ROOT / "src").rglob("*.cpp") if not p.name.endswith("Posix.cpp"))
    if len(sys.argv) > 2:
        sources = [pathlib.Path(f).resolve() for f in sys.argv[2:]]
    with tempfile.TemporaryDirectory(prefix="kx-windows-check-") as scratch:
        lent = pathlib.Path(scratch, "lent")
        lent.mkdir()
        for header in LENT_HEADERS:
            os.symlink(pathlib.Path("/usr/include", header), lent / header)

        # Files that share flags and a precompiled header share MinGW's own build of that
        # header: Qt's headers are most of each file, and are read once per target this way.
        plans = {}
        for source in sources:
            entry = known.get(source) or neighbour(source, known)
            if entry is None:
                plans[source] = None
                continue
            directory, args = entry
            flags, pch = windows_flags(args)
            plans[source] = (directory, tuple(flags + ["-isystem", str(lent)]), pch)
        groups = {}
        for plan in plans.values():
            if plan and plan[2]:
                groups.setdefault(plan[1:], None)

        def precompile(index_key):
            index, (flags, pch) = index_key
            copy = pathlib.Path(scratch, f"pch{index}", "cmake_pch.hxx")
            copy.parent.mkdir()
            shutil.copy(pch, copy)
            r = subprocess.run([COMPILER, *flags, "-x", "c++-header", str(copy),
                                "-o", str(copy) + ".gch"], capture_output=True, text=True)
            # Without it each file reads the headers itself: slower, same verdict.
            return (flags, pch), (str(copy) if r.returncode == 0 else None)

        def check(source):
            plan = plans[source]
            if plan is None:
                return source, False, "no compile command in the build for this folder\n"
            directory, flags, pch = plan
            header = groups.get((flags, pch)) if pch else None
            r = subprocess.run([COMPILER, "-fsyntax-only", *flags,
                                *(["-include", header] if header else []), str(source)],
                               cwd=directory, capture_output=True, text=True)
            return source, r.returncode == 0, r.stderr

        failed = []
        with concurrent.futures.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
            groups.update(pool.map(precompile, enumerate(list(groups))))
            for source, ok, text in pool.map(check, sources):
                if not ok:
                    failed.append(source)
                    print(f"== {os.path.relpath(source, ROOT)}\n{text}", end="")
    print(f"windows-check: {len(sources) - len(failed)} of {len(sources)} files of src/ "
          f"pass for Windows (MinGW, syntax only)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
