"""What the benchmarks of a plant's load share: a free loopback port, simulators of a plant's
indicators, a process's CPU time and resident memory from /proc, and the EOT times in a
simulator's log."""
import datetime
import os
import socket
import subprocess
import time

HOST = "127.0.0.1"


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def rss_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def eot_times(log, day):
    times = []
    with open(log, errors="replace") as f:
        for line in f:
            if " TX " in line and line.rstrip().endswith("<EOT>"):
                stamp = datetime.datetime.combine(
                    day, datetime.time.fromisoformat(line.split(" ", 1)[0]))
                times.append(stamp.timestamp())
    return times


def percentile(values, p):
    values = sorted(values)
    return values[min(len(values) - 1, int(p / 100 * len(values)))]


def start_simulators(sim, folder, count, procs, extra=()):
    """Starts count simulators whose loads change every second, each linked and logging in
    folder (with the extra options given); appends them to procs and returns (name, link, log)
    of each once every link is there."""
    devices = []
    for i in range(count):
        link = os.path.join(folder, f"tty{i}")
        log = os.path.join(folder, f"sim{i}.log")
        procs.append(subprocess.Popen([sim, "--link", link, "--load-every", "1", "--log", log,
                                       *extra],
                                      stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                      stderr=subprocess.DEVNULL))
        devices.append((f"s{i}", link, log))
    while not all(os.path.exists(link) for _, link, _ in devices):
        time.sleep(0.05)
    return devices
