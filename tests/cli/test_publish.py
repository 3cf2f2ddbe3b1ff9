"""kxlink-cli publish against a real broker (Debian's mosquitto on a free loopback port),
several simulators and a subscriber, as a plant's integrator would run it."""
import getpass
import json
import os
import random
import re
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import paho.mqtt.client as mqtt

CLI = SIM = None
HOST = "127.0.0.1"


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def wait_until(check, seconds, step=0.05):
    deadline = time.time() + seconds
    while time.time() < deadline:
        if check():
            return True
        time.sleep(step)
    return check()



def stop_process(p):
    """Ends a process the test started, killing it if it will not go, and closes its pipes."""
    if p.poll() is None:
        p.terminate()
        try:
            p.wait(10)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait()
    for stream in (p.stdin, p.stdout, p.stderr):
        if stream:
            stream.close()

class Subscriber:
    """Every message under a topic filter, kept with its arrival time."""

    def __init__(self, port, topic="kxlink/#", tls_ca=None, user=None, password=None):
        self.messages = []
        self.lock = threading.Lock()
        self.client = mqtt.Client()
        if tls_ca:
            self.client.tls_set(ca_certs=tls_ca)
        if user:
            self.client.username_pw_set(user, password)
        self.client.on_connect = lambda c, u, f, rc: c.subscribe(topic, 1)
        self.client.on_message = self._on_message
        self.client.connect(HOST, port)
        self.client.loop_start()

    def _on_message(self, client, userdata, message):
        with self.lock:
            self.messages.append((time.time(), message.topic, message.payload.decode()))

    def on(self, topic, since=0.0):
        with self.lock:
            return [p for t, top, p in self.messages if top == topic and t >= since]

    def close(self):
        self.client.loop_stop()
        self.client.disconnect()


class Rig(unittest.TestCase):
    """A scratch folder, a broker, simulators and one publish process."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.broker = None
        self.broker_port = free_port()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def start_broker(self, extra=""):
        conf = self.path("broker.conf")
        with open(conf, "w") as f:
            # As ourselves: run as root it would otherwise drop to a user who cannot read
            # the scratch folder's password and key files.
            f.write(f"listener {self.broker_port} {HOST}\npersistence false\n"
                    f"allow_anonymous true\nuser {getpass.getuser()}\n{extra}")
        self.broker = subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_broker)
        self.assertTrue(wait_until(self.broker_listens, 10), "the broker did not start")

    def broker_listens(self):
        try:
            with socket.create_connection((HOST, self.broker_port), timeout=0.2):
                return True
        except OSError:
            return False

    def stop_broker(self):
        if self.broker and self.broker.poll() is None:
            self.broker.terminate()
            self.broker.wait(10)

    def start_sim(self, name, *args):
        link = self.path("tty" + name)
        log = self.path("sim" + name + ".log")
        sim = subprocess.Popen([SIM, "--link", link, "--load-every", "0", "--weight", "12.5",
                                "--log", log, *args], stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_process, sim)
        self.assertTrue(wait_until(lambda: os.path.exists(link), 5), "no simulator link")
        return sim, link, log

    stop_process = staticmethod(lambda p: stop_process(p))

    @staticmethod
    def script(sim, line):
        sim.stdin.write((line + "\n").encode())
        sim.stdin.flush()
        sim.stdout.readline()

    def publish(self, *args, broker=None):
        broker = broker or f"mqtt://{HOST}:{self.broker_port}"
        p = subprocess.Popen([CLI, "publish", "--broker", broker, *args], cwd=self.dir.name,
                             stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.PIPE, text=True)
        self.addCleanup(self.stop_process, p)
        return p

    def subscriber(self, **kw):
        s = Subscriber(self.broker_port, **kw)
        self.addCleanup(s.close)
        return s


class PublishTest(Rig):
    def test_three_indicators_publish_and_a_silent_one_says_so(self):
        self.start_broker()
        sims = {n: self.start_sim(n) for n in ("a", "b", "c")}
        sub = self.subscriber()
        self.publish(*[a for n, (_, link, _) in sims.items() for a in ("--device", f"{link}={n}")])
        for n in sims:
            self.assertTrue(wait_until(lambda: len(sub.on(f"kxlink/{n}/weight")) >= 5, 10),
                            f"no frames from {n}")
            self.assertTrue(wait_until(lambda: sub.on(f"kxlink/{n}/status")[-1:] == ["online"], 5))
        frame = json.loads(sub.on("kxlink/a/weight")[-1])
        self.assertEqual(frame["weight"], 12.5)
        self.assertIsInstance(frame["weight"], float)
        self.assertEqual(frame["text"].strip(), "12.50")
        self.assertEqual(frame["units"], "lb")
        self.assertIs(frame["net"], False)
        self.assertIsInstance(frame["settled"], bool)
        self.assertRegex(frame["time"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")

        # b falls silent: its status says so within the poll cycle's miss time (2 s) and a
        # margin; a and c go on publishing meanwhile.
        self.script(sims["b"][0], "silent 8000")
        silent_at = time.time()
        self.assertTrue(wait_until(lambda: "no answer" in sub.on("kxlink/b/status", silent_at),
                                   6), sub.on("kxlink/b/status"))
        answered = time.time()
        self.assertTrue(wait_until(lambda: len(sub.on("kxlink/a/weight", answered)) >= 5
                                   and len(sub.on("kxlink/c/weight", answered)) >= 5, 5))
        # and b is back when the indicator is.
        self.assertTrue(wait_until(lambda: "online" in sub.on("kxlink/b/status", answered), 12))

    def test_a_broker_restart_is_survived(self):
        self.start_broker()
        _, link, _ = self.start_sim("a")
        pub = self.publish("--device", f"{link}=a")
        sub = self.subscriber()
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/weight"), 10))
        sub.close()
        self.stop_broker()
        time.sleep(2)
        self.start_broker()
        after = self.subscriber()
        # The backoff is 1, 2, 4 s: the publisher is back well within 10 s.
        self.assertTrue(wait_until(lambda: len(after.on("kxlink/a/weight")) >= 3, 12),
                        "publishing did not resume")
        self.assertEqual(after.on("kxlink/a/status")[-1:], ["online"])
        self.assertIsNone(pub.poll(), "the publisher ended")

    def test_the_last_will_says_offline_and_a_clean_stop_too(self):
        self.start_broker()
        _, link, _ = self.start_sim("a")
        _, link_b, _ = self.start_sim("b")
        killed = self.publish("--device", f"{link}=a")
        stopped = self.publish("--device", f"{link_b}=b")
        sub = self.subscriber()
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/weight") and sub.on("kxlink/b/weight"), 10))
        killed.send_signal(signal.SIGKILL)
        stopped.send_signal(signal.SIGTERM)
        self.assertEqual(stopped.wait(10), 0)
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/status")[-1:] == ["offline"], 10))
        self.assertTrue(wait_until(lambda: sub.on("kxlink/b/status")[-1:] == ["offline"], 10))
        # Retained: a subscriber that comes later learns it too.
        late = self.subscriber(topic="kxlink/+/status")
        self.assertTrue(wait_until(lambda: late.on("kxlink/a/status") == ["offline"], 5))

    def received_keys(self, log):
        with open(log, errors="replace") as f:
            return [line.split(" RX ", 1)[1].strip() for line in f if " RX " in line]

    def test_commands_are_off_unless_allowed_and_only_the_faces_keys_pass(self):
        self.start_broker()
        _, link_a, log_a = self.start_sim("a")
        _, link_b, log_b = self.start_sim("b")
        self.publish("--device", f"{link_a}=a", "--allow-commands")
        self.publish("--device", f"{link_b}=b")
        sub = self.subscriber()
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/weight") and sub.on("kxlink/b/weight"), 10))
        time.sleep(0.5)  # the subscription is made once the connection is
        sender = mqtt.Client()
        sender.connect(HOST, self.broker_port)
        sender.loop_start()
        self.addCleanup(sender.loop_stop)
        for payload in ("Z", "rm -rf /", "zero\nprint", "tare 1.2.3", "\x1b[2J", "zero"):
            sender.publish("kxlink/a/cmd", payload, qos=1).wait_for_publish()
        sender.publish("kxlink/b/cmd", "zero", qos=1).wait_for_publish()
        self.assertTrue(wait_until(lambda: "Z" in self.received_keys(log_a), 5),
                        self.received_keys(log_a))
        time.sleep(1)
        # Only the one well-formed command reached the line; b takes none at all.
        keys = [k for k in self.received_keys(log_a) if k not in ("CR",)]
        self.assertEqual(keys, ["Z"])
        self.assertEqual([k for k in self.received_keys(log_b) if k not in ("CR",)], [])

        sender.publish("kxlink/a/cmd", "tare 2.5", qos=1).wait_for_publish()
        self.assertTrue(wait_until(lambda: any(k.startswith("T2.5") for k in self.received_keys(log_a)), 5),
                        self.received_keys(log_a))

    def commands_rig(self):
        self.start_broker()
        _, link, log = self.start_sim("a")
        pub = self.publish("--device", f"{link}=a", "--allow-commands")
        sub = self.subscriber()
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/weight"), 10))
        time.sleep(0.5)  # the subscription is made once the connection is
        sender = mqtt.Client()
        sender.connect(HOST, self.broker_port)
        sender.loop_start()
        self.addCleanup(sender.loop_stop)
        return pub, log, sender

    def keys_sent(self, log):
        return [k for k in self.received_keys(log) if k != "CR"]

    def test_a_burst_of_commands_reaches_the_line_whole_and_in_order(self):
        _, log, sender = self.commands_rig()
        names = {"zero": "Z", "units": "U", "net/gross": "G", "print": "P", "auto tare": "A"}
        sent = [random.choice(list(names)) for _ in range(20)]
        start = time.monotonic()
        for payload in sent:
            sender.publish("kxlink/a/cmd", payload, qos=0)
        self.assertLess(time.monotonic() - start, 0.5)
        expected = [names[p] for p in sent]
        self.assertTrue(wait_until(lambda: len(self.keys_sent(log)) >= 20, 15),
                        self.keys_sent(log))
        time.sleep(0.3)
        self.assertEqual(self.keys_sent(log), expected)

    def test_commands_past_the_queue_are_refused_and_the_rest_go_in_order(self):
        pub, log, sender = self.commands_rig()
        sent = ["units", "zero"] * 25
        for payload in sent:
            sender.publish("kxlink/a/cmd", payload, qos=1)
        time.sleep(6)
        pub.send_signal(signal.SIGTERM)
        _, err = pub.communicate(timeout=10)
        refused = err.count("refused: 32 commands wait already")
        self.assertGreater(refused, 0, err)
        # Every command taken is told, in the order it came, and goes out in that order.
        taken = re.findall(r'command "(\w+)" (?:waits|goes out)', err)
        self.assertEqual(len(taken) + refused, len(sent), err)
        self.assertEqual(self.keys_sent(log), [{"units": "U", "zero": "Z"}[p] for p in taken])

    def test_a_password_is_checked(self):
        pwfile = self.path("passwords")
        subprocess.run(["mosquitto_passwd", "-b", "-c", pwfile, "scale", "s3cret"], check=True,
                       capture_output=True)
        os.chmod(pwfile, 0o600)
        self.start_broker(f"password_file {pwfile}\n")
        _, link, _ = self.start_sim("a")
        with open(self.path("pw"), "w") as f:
            f.write("wrong\n")
        wrong = self.publish("--device", f"{link}=a", "--user", "scale", "--password-file",
                             self.path("pw"))
        self.assertEqual(wrong.wait(15), 3)
        err = wrong.stderr.read()
        self.assertIn("refused", err)
        self.assertNotIn("wrong", err)  # the password is never shown
        with open(self.path("pw"), "w") as f:
            f.write("s3cret\n")
        right = self.publish("--device", f"{link}=a", "--user", "scale", "--password-file",
                             self.path("pw"))
        sub = self.subscriber(user="scale", password="s3cret")
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/weight"), 10))
        self.assertIsNone(right.poll())

    def make_ca(self):
        def run(*args):
            subprocess.run(["openssl", *args], check=True, capture_output=True, cwd=self.dir.name)
        run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=test CA",
            "-keyout", "ca.key", "-out", "ca.pem")
        run("req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=localhost", "-keyout",
            "server.key", "-out", "server.csr")
        with open(self.path("san.ext"), "w") as f:
            f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
        run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-days", "2", "-extfile", "san.ext", "-out", "server.pem")
        # Another CA that signed nothing of the broker's.
        run("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
            "/CN=other CA", "-keyout", "other.key", "-out", "other.pem")

    def test_tls_with_a_ca_file(self):
        self.make_ca()
        tls_port = free_port()
        self.start_broker(f"listener {tls_port} {HOST}\ncafile {self.path('ca.pem')}\n"
                          f"certfile {self.path('server.pem')}\nkeyfile {self.path('server.key')}\n")
        _, link, _ = self.start_sim("a")
        sub = self.subscriber()
        good = self.publish("--device", f"{link}=a", "--cafile", self.path("ca.pem"),
                            broker=f"mqtts://{HOST}:{tls_port}")
        self.assertTrue(wait_until(lambda: sub.on("kxlink/a/weight"), 10), "nothing over TLS")
        self.assertIsNone(good.poll())
        bad = self.publish("--device", f"{link}=b", "--cafile", self.path("other.pem"),
                           broker=f"mqtts://{HOST}:{tls_port}")
        self.assertEqual(bad.wait(15), 3)
        self.assertIn("TLS", bad.stderr.read())

    def test_options_are_checked_before_anything_starts(self):
        for args, reason in (
                (["--device", "/dev/null=a/b"], "holds /"),
                (["--device", "x=a", "--device", "y=a"], "two indicators are named \"a\""),
                (["--device", "x=a", "--qos", "2"], "--qos"),
                (["--device", "x=a", "--rate-limit", "abc"], "--rate-limit"),
                (["--device", "x=a", "--topic", "plant/#"], "holds #"),
                (["--device", "x=a", "--topic", "$SYS/x"], "starts with $"),
                (["--device", "x=" + "n" * 65], "65 characters, more than 64"),
                (["--device", "x=a\x1b[2Jb"], "a<1B>[2Jb"),
                (["--device", "x=a\nb"], "holds a control character"),
                ([], "name the indicators")):
            r = subprocess.run([CLI, "publish", "--broker", f"mqtt://{HOST}:1", *args],
                               capture_output=True, text=True, timeout=10, cwd=self.dir.name)
            self.assertEqual(r.returncode, 2, (args, r.stderr))
            self.assertIn("kxlink-cli publish:", r.stderr)
            self.assertIn(reason, r.stderr)
            self.assertNotIn("\x1b", r.stderr)

    def test_a_missing_device_has_one_status(self):
        self.start_broker()
        sub = self.subscriber()
        self.publish("--device", self.path("nodev") + "=m")
        self.assertTrue(wait_until(lambda: sub.on("kxlink/m/status"), 10))
        time.sleep(1.5)
        self.assertEqual(sub.on("kxlink/m/status"),
                         ["port error: %s: no such device" % self.path("nodev")])


if __name__ == "__main__":
    CLI, SIM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    # What follows the two programs names the tests to run (all when nothing does).
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
