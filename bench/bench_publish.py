#!/usr/bin/python3
"""kxlink-cli publish under a plant's load: N simulators at 10 frames a second into one publish
process and a local broker (Debian's mosquitto on a free loopback port). Reports the
publisher's CPU, its resident memory over the run, and the time from a frame's EOT leaving
the simulator to a subscriber's receipt of its JSON.

    bench/bench_publish.py build/bin/kxlink-cli build/bin/kx7400-sim [seconds] [indicators]

Run by hand (docs/benchmarks.md); nothing here is a test. The EOT time is the simulator's
log stamp (milliseconds); a frame is matched to the last EOT its indicator sent before the
publisher stamped it as shown."""
import bisect
import datetime
import getpass
import json
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

import paho.mqtt.client as mqtt

from plant_load import (HOST, cpu_seconds, eot_times, free_port, percentile, rss_kib,
                        start_simulators)


def main():
    cli, sim = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    seconds = int(sys.argv[3]) if len(sys.argv) > 3 else 60
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 8
    work = tempfile.TemporaryDirectory()
    port = free_port()
    conf = os.path.join(work.name, "broker.conf")
    with open(conf, "w") as f:
        f.write(f"listener {port} {HOST}\npersistence false\nallow_anonymous true\n"
                f"user {getpass.getuser()}\n")
    procs = [subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)]
    time.sleep(0.5)
    devices = start_simulators(sim, work.name, count, procs)

    received = []
    lock = threading.Lock()

    def on_message(client, userdata, message):
        now = time.time()
        with lock:
            received.append((now, message.topic, message.payload))

    sub = mqtt.Client()
    sub.on_connect = lambda c, u, f, rc: c.subscribe("kxlink/+/weight", 0)
    sub.on_message = on_message
    sub.connect(HOST, port)
    sub.loop_start()

    args = [cli, "publish", "-q", "--broker", f"mqtt://{HOST}:{port}"]
    for name, link, _ in devices:
        args += ["--device", f"{link}={name}"]
    pub = subprocess.Popen(args, stdin=subprocess.DEVNULL)
    procs.append(pub)
    time.sleep(3)  # the ports open and the first frames flow
    with lock:
        received.clear()
    start_cpu, start = cpu_seconds(pub.pid), time.time()
    memory = [(0, rss_kib(pub.pid))]
    while time.time() - start < seconds:
        time.sleep(min(10, seconds))
        memory.append((round(time.time() - start), rss_kib(pub.pid)))
    cpu = (cpu_seconds(pub.pid) - start_cpu) / (time.time() - start) * 100
    with lock:
        got = list(received)
    pub.send_signal(signal.SIGTERM)
    pub.wait(10)
    sub.loop_stop()
    for p in procs:
        if p.poll() is None:
            p.terminate()
            p.wait(10)

    day = datetime.date.today()
    eots = {name: eot_times(log, day) for name, _, log in devices}
    latencies = []
    for at, topic, payload in got:
        name = topic.split("/")[1]
        shown = datetime.datetime.fromisoformat(json.loads(payload)["time"]).timestamp()
        i = bisect.bisect_right(eots[name], shown + 0.0005) - 1
        if i >= 0:
            latencies.append((at - eots[name][i]) * 1000)
    print(f"indicators {count}, {seconds} s measured")
    print(f"frames received {len(got)} ({len(got) / seconds / count:.1f} a second per indicator)")
    print(f"publisher CPU {cpu:.2f} % of one core")
    print("EOT to subscriber: median {:.0f} ms, p95 {:.0f} ms, max {:.0f} ms".format(
        percentile(latencies, 50), percentile(latencies, 95), max(latencies)))
    print("resident memory (s: KiB): " + ", ".join(f"{t}: {kib}" for t, kib in memory))


if __name__ == "__main__":
    main()
