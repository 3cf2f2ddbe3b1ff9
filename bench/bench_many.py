#!/usr/bin/python3
"""One settings file to many indicators at once: kxlink-cli download with --device repeated
against N simulators, timed against the same download to one of them alone. Each run takes
the backup, sends the file and reads it back (verify), as a technician's run does; the
simulators pace every byte at the line's baud rate, as a real line would.

    bench/bench_many.py build/bin/kxlink-cli build/bin/kx7400-sim [indicators] [rounds]

Run by hand (docs/benchmarks.md); nothing here is a test. The program runs from a scratch
copy, so its logbook lines go there and not beside the build's program."""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

from plant_load import start_simulators


def run(cli, work, links, new):
    args = [cli, "download", "-q", "--backup-dir", os.path.join(work, "backup")]
    for link in links:
        args += ["--device", link]
    started = time.monotonic()
    r = subprocess.run(args + [new], capture_output=True, text=True, timeout=120, cwd=work,
                       stdin=subprocess.DEVNULL)
    took = time.monotonic() - started
    if r.returncode != 0:
        sys.exit(f"download to {len(links)} failed ({r.returncode}): {r.stderr}")
    return took


def main():
    cli, sim = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    work = tempfile.TemporaryDirectory()
    copy = os.path.join(work.name, "kxlink-cli")
    shutil.copy(cli, copy)
    procs = []
    try:
        devices = start_simulators(sim, work.name, count, procs, ("--pace",))
        links = [link for _, link, _ in devices]
        up = os.path.join(work.name, "up.dat")
        subprocess.run([copy, "upload", "-q", "--device", links[0], up], check=True,
                       stdin=subprocess.DEVNULL, timeout=60)
        with open(up, "rb") as f:
            text = f.read()
        files = []
        # Each round changes the setup back and forth, so every download writes something.
        for n, baud in enumerate((b"4", b"2")):
            path = os.path.join(work.name, f"new{n}.dat")
            with open(path, "wb") as f:
                f.write(text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=" + baud + b"\r\n"))
            files.append(path)
        alone, many = [], []
        for r in range(rounds):
            # Alternated, so the machine's other load falls on both alike.
            alone.append(run(copy, work.name, links[:1], files[r % 2]))
            many.append(run(copy, work.name, links, files[(r + 1) % 2]))
            print(f"round {r + 1}: one {alone[-1]:.2f} s, {count} at once {many[-1]:.2f} s",
                  flush=True)
        one, all_ = statistics.median(alone), statistics.median(many)
        print(f"median of {rounds}: one indicator {one:.2f} s, {count} at once {all_:.2f} s, "
              f"ratio {all_ / one:.2f} (goal <= 1.2)")
    finally:
        for p in procs:
            p.terminate()
            p.wait(10)
        work.cleanup()


if __name__ == "__main__":
    main()
