#!/usr/bin/python3
"""kxlink-cli gateway under a plant's load: N simulators at 10 frames a second, C Modbus
clients each reading every unit every 100 ms, and MQTT on beside it (Debian's mosquitto on a
free loopback port). Reports the gateway's CPU, its resident memory over the requests, and the
time from a frame's EOT leaving its simulator to its value being readable over Modbus.

    bench/bench_gateway.py build/bin/kxlink-cli build/bin/kx7400-sim [requests] [indicators] [clients]

Run by hand (docs/benchmarks.md); nothing here is a test. The CPU and memory are measured
over the clients' requests alone. Then, for 20 s more, readable is when a probe client, reading
unit 1's frame counter every 5 ms, first sees it move; the frame is the last EOT unit 1's
simulator sent before that (frames are 100 ms apart, far more than the delay measured). The
probe's own requests would add a quarter to the load, so its phase is not in the CPU figure."""
import bisect
import datetime
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

from plant_load import (HOST, cpu_seconds, eot_times, free_port, percentile, rss_kib,
                        start_simulators)


class Reader:
    """One Modbus TCP connection, raw: a request of 12 registers, its answer."""

    def __init__(self, port):
        self.sock = socket.create_connection((HOST, port))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.tid = 0

    def read(self, unit, address=0, count=12):
        self.tid = (self.tid + 1) & 0xFFFF
        self.sock.sendall(struct.pack(">HHHBBHH", self.tid, 0, 6, unit, 4, address, count))
        want = 9 + 2 * count
        data = b""
        while len(data) < want:
            chunk = self.sock.recv(want - len(data))
            if not chunk:
                raise ConnectionError("closed")
            data += chunk
            if len(data) >= 9 and data[7] & 0x80:
                break
        return data


def main():
    cli, sim = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    total = int(sys.argv[3]) if len(sys.argv) > 3 else 100000
    count = int(sys.argv[4]) if len(sys.argv) > 4 else 8
    clients = int(sys.argv[5]) if len(sys.argv) > 5 else 10
    work = tempfile.TemporaryDirectory()
    broker_port, port = free_port(), free_port()
    conf = os.path.join(work.name, "broker.conf")
    with open(conf, "w") as f:
        f.write(f"listener {broker_port} {HOST}\npersistence false\nallow_anonymous true\n")
    procs = [subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)]
    devices = start_simulators(sim, work.name, count, procs)
    ini = os.path.join(work.name, "gateway.ini")
    with open(ini, "w") as f:
        f.write(f"[Modbus]\nListen={HOST}:{port}\nMaxClients={clients + 4}\n"
                f"[MQTT]\nBroker=mqtt://{HOST}:{broker_port}\n")
        for i, (name, link, _) in enumerate(devices):
            f.write(f"[Indicator {name}]\nDevice={link}\nUnit={i + 1}\n")
    gw = subprocess.Popen([cli, "gateway", "-q", "--config", ini], stdin=subprocess.DEVNULL)
    procs.append(gw)
    time.sleep(3)  # the ports open and the first frames flow

    answered = [0] * clients
    stop = threading.Event()
    errors = []

    def client(k):
        try:
            r = Reader(port)
            next_at = time.time()
            while not stop.is_set():
                for unit in range(1, count + 1):
                    r.read(unit)
                    answered[k] += 1
                next_at += 0.1
                time.sleep(max(0, next_at - time.time()))
        except Exception as e:  # noqa: BLE001 -- reported at the end
            errors.append(repr(e))

    seen = []

    def probe():
        r = Reader(port)
        last = None
        while not stop.is_set():
            data = r.read(1, 7, 1)
            counter = struct.unpack(">H", data[9:11])[0]
            if counter != last:
                seen.append(time.time())
                last = counter
            time.sleep(0.005)

    threads = [threading.Thread(target=client, args=(k,)) for k in range(clients)]
    start_cpu, start = cpu_seconds(gw.pid), time.time()
    memory = [(0, 0, rss_kib(gw.pid))]
    for t in threads:
        t.start()
    next_sample = 10
    while sum(answered) < total and not errors:
        time.sleep(0.5)
        if time.time() - start >= next_sample:
            memory.append((round(time.time() - start), sum(answered), rss_kib(gw.pid)))
            next_sample += 10
    elapsed = time.time() - start
    cpu = (cpu_seconds(gw.pid) - start_cpu) / elapsed * 100
    memory.append((round(elapsed), sum(answered), rss_kib(gw.pid)))
    prober = threading.Thread(target=probe)
    prober.start()
    threads.append(prober)
    time.sleep(20)
    stop.set()
    for t in threads:
        t.join()
    gw.send_signal(signal.SIGTERM)
    gw.wait(10)
    for p in procs:
        if p.poll() is None:
            p.terminate()
            p.wait(10)

    eots = eot_times(os.path.join(work.name, "sim0.log"), datetime.date.today())
    latencies = []
    for at in seen[1:]:
        i = bisect.bisect_right(eots, at) - 1
        if i >= 0:
            latencies.append((at - eots[i]) * 1000)
    print(f"indicators {count}, Modbus clients {clients}, MQTT on, {elapsed:.0f} s")
    print(f"requests answered {sum(answered)} ({sum(answered) / elapsed:.0f} a second)"
          + (f", client errors: {errors[:3]}" if errors else ""))
    print(f"gateway CPU {cpu:.2f} % of one core")
    print("EOT to readable over Modbus: median {:.0f} ms, p95 {:.0f} ms, max {:.0f} ms ({} frames)"
          .format(percentile(latencies, 50), percentile(latencies, 95), max(latencies),
                  len(latencies)))
    print("resident memory (s, requests: KiB): "
          + ", ".join(f"{t} s, {n}: {kib}" for t, n, kib in memory))


if __name__ == "__main__":
    main()
