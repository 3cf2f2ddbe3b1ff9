"""kxlink-cli gateway end to end, as a plant runs it: simulators on their links, the gateway
on a free loopback port, and clients nobody here wrote (Debian's mbpoll and the Python pymodbus
client) reading it; mosquitto beside it for MQTT; a notify socket standing in for the service
manager."""
import math
import os
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest

import paho.mqtt.client as mqtt
from pymodbus.client import ModbusTcpClient

from test_publish import HOST, free_port, stop_process, wait_until

CLI = SIM = None
VALID, MOTION, NET, SETTLED, OVER, PORT_ERROR, NO_ANSWER = (1 << i for i in range(7))


def join(words, order):
    """Two registers as a PLC of the given word order puts them back together."""
    raw = struct.pack(">HH", *words)
    return {"ABCD": raw, "CDAB": raw[2:] + raw[:2], "BADC": raw[1::-1] + raw[3:1:-1],
            "DCBA": raw[::-1]}[order]


class NotifySocket:
    """What the service manager would hear on NOTIFY_SOCKET."""

    def __init__(self, path):
        self.path = path
        self.messages = []
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(path)
        self.sock.settimeout(0.2)
        self.running = True
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        while self.running:
            try:
                data = self.sock.recv(4096)
            except (socket.timeout, OSError):
                continue
            self.messages.extend(data.decode().split("\n"))

    def has(self, line):
        return line in list(self.messages)

    def close(self):
        self.running = False
        self.thread.join()
        self.sock.close()


class Plant(unittest.TestCase):
    """Simulators, a broker when asked for, and one gateway, for the whole class: started once."""

    SIMS = ("a", "b", "c")
    MODBUS = "WordOrder=ABCD\n"
    MQTT = False

    @classmethod
    def setUpClass(cls):
        cls.procs = []
        cls.client = cls.notify = cls.stderr = None
        try:
            cls.start()
        except BaseException:
            cls.tearDownClass()
            raise

    @classmethod
    def start(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.sims = {}
        for n in cls.SIMS:
            link = cls.path("tty" + n)
            log = cls.path("sim" + n + ".log")
            sim = subprocess.Popen([SIM, "--link", link, "--load-every", "0", "--weight", "12.5",
                                    "--log", log], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
            cls.procs.append(sim)
            cls.sims[n] = (sim, link, log)
        for _, link, _ in cls.sims.values():
            assert wait_until(lambda: os.path.exists(link), 5), "no simulator link"
        cls.broker_port = free_port()
        if cls.MQTT:
            conf = cls.path("broker.conf")
            with open(conf, "w") as f:
                f.write(f"listener {cls.broker_port} {HOST}\npersistence false\nallow_anonymous true\n")
            cls.procs.append(subprocess.Popen(["mosquitto", "-c", conf], stdout=subprocess.DEVNULL,
                                              stderr=subprocess.DEVNULL))
        cls.port = free_port()
        cls.notify = NotifySocket(cls.path("notify"))
        cls.write_config(cls.MODBUS)
        env = dict(os.environ, NOTIFY_SOCKET=cls.notify.path, WATCHDOG_USEC="300000")
        cls.stderr = open(cls.path("gateway.log"), "w+")
        cls.gateway = subprocess.Popen([CLI, "gateway", "--config", cls.path("gateway.ini")],
                                       cwd=cls.dir.name, env=env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=cls.stderr)
        cls.procs.append(cls.gateway)
        assert wait_until(lambda: cls.notify.has("READY=1"), 10), "the gateway did not say READY=1"
        cls.client = ModbusTcpClient(HOST, port=cls.port, timeout=2)
        assert cls.client.connect()
        for unit in range(1, len(cls.SIMS) + 1):
            assert wait_until(lambda: cls.status(unit) & VALID, 10), f"unit {unit} never valid"

    @classmethod
    def tearDownClass(cls):
        if cls.client:
            cls.client.close()
        for p in reversed(cls.procs):
            stop_process(p)
        if cls.stderr:
            cls.stderr.close()
        if cls.notify:
            cls.notify.close()
        cls.dir.cleanup()

    @classmethod
    def path(cls, name):
        return os.path.join(cls.dir.name, name)

    @classmethod
    def write_config(cls, modbus, broken=False):
        with open(cls.path("gateway.ini"), "w") as f:
            f.write(f"# written by the test\n[Modbus]\nListen={HOST}:{cls.port}\n{modbus}\n")
            if cls.MQTT:
                f.write(f"[MQTT]\nBroker=mqtt://{HOST}:{cls.broker_port}\n\n")
            for unit, (n, (_, link, _)) in enumerate(cls.sims.items(), start=1):
                f.write(f"[Indicator {n}]\nDevice={link}\nUnit={unit}\n\n")
            if broken:
                f.write("WordOrder=XYZW\n")

    @classmethod
    def registers(cls, unit, address=0, count=12, function=4):
        read = cls.client.read_input_registers if function == 4 else cls.client.read_holding_registers
        r = read(address, count, slave=unit)
        if r.isError():
            return getattr(r, "exception_code", -1)
        return r.registers

    @classmethod
    def status(cls, unit):
        r = cls.registers(unit, 5, 1)
        return r[0] if isinstance(r, list) else 0

    @classmethod
    def script(cls, name, line):
        sim = cls.sims[name][0]
        sim.stdin.write((line + "\n").encode())
        sim.stdin.flush()
        sim.stdout.readline()

    def log(self):
        self.stderr.seek(0)
        return self.stderr.read()

    def keys_received(self, name):
        with open(self.sims[name][2], errors="replace") as f:
            return [line.split(" RX ", 1)[1].strip() for line in f if " RX " in line]

    def raw(self, data, source=HOST):
        """Bytes over a socket of our own: what comes back, b"" when the gateway closed the
        connection, None when it waits for more."""
        with socket.socket() as s:
            s.bind((source, 0))
            s.settimeout(1)
            s.connect((HOST, self.port))
            s.sendall(data)
            try:
                return s.recv(300)
            except ConnectionResetError:
                return b""
            except socket.timeout:
                return None


class ReadingTest(Plant):
    MQTT = True

    def test_mbpoll_shows_three_units_and_a_silent_one_loses_data_valid(self):
        out = subprocess.run(["mbpoll", "-m", "tcp", "-a", "1:3", "-r", "1", "-c", "10", "-t", "3",
                              "-1", HOST, "-p", str(self.port)], capture_output=True, text=True,
                             timeout=20).stdout
        blocks = out.split("-- Polling slave ")[1:]
        self.assertEqual(len(blocks), 3, out)
        for block in blocks:
            values = [int(line.split(":")[1]) for line in block.splitlines() if line.startswith("[")]
            # 12.50 as a big-endian float (0x4148 0x0000), then 1250 at two decimals
            self.assertEqual(values[:5], [0x4148, 0, 0, 1250, 2], block)
            self.assertTrue(values[5] & VALID and values[5] & SETTLED, block)

        # b falls silent: within the poll cycle's give-up time (2 s) and a margin its data
        # valid bit clears and it reads NaN and 0x80000000, while a and c keep counting frames.
        self.script("b", "silent 6000")
        self.assertTrue(wait_until(lambda: not self.status(2) & VALID, 5))
        regs = self.registers(2)
        self.assertTrue(regs[5] & NO_ANSWER)
        self.assertTrue(math.isnan(struct.unpack(">f", join(regs[0:2], "ABCD"))[0]))
        self.assertEqual(struct.unpack(">I", join(regs[2:4], "ABCD"))[0], 0x80000000)
        before = [self.registers(u)[7] for u in (1, 3)]
        time.sleep(1)
        after = [self.registers(u)[7] for u in (1, 3)]
        self.assertTrue(all((a - b) % 65536 >= 5 for a, b in zip(after, before)), (before, after))
        self.assertTrue(all(self.status(u) & VALID for u in (1, 3)))
        self.assertTrue(self.registers(2)[8] >= 20, "the age counts the silence")
        self.assertTrue(wait_until(lambda: self.status(2) & VALID, 10), "b did not come back")

    def test_the_weight_and_motion_follow_the_indicator_in_every_word_order(self):
        for order in ("ABCD", "CDAB", "BADC", "DCBA"):
            with self.subTest(order=order):
                self.write_config(f"WordOrder={order}\n")
                self.gateway.send_signal(signal.SIGHUP)
                weight = {"ABCD": 20.25, "CDAB": 7.5, "BADC": 31.75, "DCBA": 3.0}[order]
                self.script("a", f"weight {weight}")
                # a new load swings before it settles: in motion, then settled at its value
                self.assertTrue(wait_until(lambda: self.status(1) & MOTION, 5))

                def settled_at():
                    regs = self.registers(1, function=3)
                    f = struct.unpack(">f", join(regs[0:2], order))[0]
                    i = struct.unpack(">i", join(regs[2:4], order))[0]
                    return regs[5] & SETTLED and f == weight and i == round(weight * 100)
                self.assertTrue(wait_until(settled_at, 8), (order, self.registers(1)))
        # mbpoll reads the float of a CDAB gateway as it reads floats by default
        self.write_config("WordOrder=CDAB\n")
        self.gateway.send_signal(signal.SIGHUP)
        self.assertTrue(wait_until(lambda: "reloaded" in self.log().splitlines()[-1], 5))
        out = subprocess.run(["mbpoll", "-m", "tcp", "-a", "1", "-r", "1", "-c", "1", "-t", "4:float",
                              "-1", HOST, "-p", str(self.port)], capture_output=True, text=True,
                             timeout=20).stdout
        self.assertIn("[1]: \t3", out)

    def test_errors_are_answered_and_writes_are_off(self):
        # A unit nobody configured: the gateway's target failed to respond.
        self.assertEqual(self.registers(9, 0, 2), 0x0B)
        self.assertEqual(self.registers(1, 10, 5), 0x02)
        r = self.client.write_coil(0, True, slave=1)
        self.assertTrue(r.isError())
        self.assertEqual(r.exception_code, 0x01)
        r = self.client.write_registers(10, [0, 250], slave=1)
        self.assertEqual(r.exception_code, 0x01)
        time.sleep(0.5)
        self.assertEqual([k for k in self.keys_received("a") if k != "CR"], [])

    def test_malformed_frames_leave_the_server_serving(self):
        frames = [
            bytes.fromhex("00010001000601030000000a"),  # protocol 1
            bytes.fromhex("00010000000001"),  # length 0
            bytes.fromhex("0001000000ff01") + bytes(300),  # longer than a PDU
            bytes.fromhex("000100000006010300000080"),  # 128 registers
            bytes.fromhex("0001000000030164"),  # unknown function
            bytes.fromhex("000100000003018300"),  # an exception code as function
            bytes.fromhex("00010000000801030000000a0000"),  # PDU too long for function 3
            bytes.fromhex("0001000000040103"),  # PDU too short
            bytes.fromhex("000100000006"),  # header cut short, then silence
            bytes(7),
            bytes.fromhex("ffff" * 10),
            os.urandom(64),
            bytes.fromhex("0001000000060104ffff0001"),  # beyond the map
            bytes.fromhex("000100000007011000000000"),
            bytes.fromhex("0001000000060105000a1234"),  # coil value not ON or OFF
            b"GET / HTTP/1.0\r\n\r\n",
            bytes.fromhex("000100000002ff03"),
            bytes.fromhex("00010000fde80103"),
            bytes.fromhex("0001000000060003000000010001000000060103"),
            bytes(1),
        ]
        self.assertEqual(len(frames), 20)
        for data in frames:
            reply = self.raw(data)
            if reply:
                self.assertEqual(len(reply), 9, reply.hex())  # an exception and nothing else
                self.assertTrue(reply[7] & 0x80)
        # The good client was never disturbed, and a new one is served.
        self.assertEqual(self.registers(1, 0, 2)[0], self.registers(1, 0, 2)[0])
        good = ModbusTcpClient(HOST, port=self.port, timeout=2)
        self.assertTrue(good.connect())
        self.assertFalse(good.read_input_registers(0, 12, slave=3).isError())
        good.close()

    def test_mqtt_runs_beside_modbus_from_the_same_file(self):
        got = []
        sub = mqtt.Client()
        sub.on_connect = lambda c, u, f, rc: c.subscribe("kxlink/#")
        sub.on_message = lambda c, u, m: got.append((m.topic, m.payload.decode()))
        sub.connect(HOST, self.broker_port)
        sub.loop_start()
        try:
            self.assertTrue(wait_until(lambda: {t for t, _ in got} >= {"kxlink/a/weight", "kxlink/c/weight"}, 10))
            self.assertIn(("kxlink/c/status", "online"), got)
            self.assertFalse(isinstance(self.registers(3), int))
        finally:
            sub.loop_stop()
            sub.disconnect()

    def test_the_service_manager_hears_ready_watchdog_and_status(self):
        self.assertTrue(self.notify.has("READY=1"))
        self.assertTrue(wait_until(lambda: self.notify.has("WATCHDOG=1"), 3))
        self.assertTrue(any(m.startswith("STATUS=") and "indicators online" in m
                            for m in self.notify.messages))
        # A broken file on SIGHUP is refused, said in the log, and the old one keeps serving.
        self.write_config("WordOrder=ABCD\n", broken=True)
        self.gateway.send_signal(signal.SIGHUP)
        self.assertTrue(wait_until(lambda: "reload refused" in self.log(), 5))
        self.assertIn("<3>reload refused, the running configuration stays: gateway.ini:", self.log())
        self.assertTrue(self.status(1) & VALID)
        self.assertIsNone(self.gateway.poll())
        self.write_config("WordOrder=ABCD\n")


class WritesTest(Plant):
    SIMS = ("d", "e")
    MODBUS = "AllowWrites=1\nStaleReply=exception\nAllowedClients=127.0.0.1\n"

    def test_coils_and_the_tare_reach_the_indicator_through_the_face(self):
        other = self.keys_received("e")
        r = self.client.write_coil(0, True, slave=1)
        self.assertFalse(r.isError(), r)
        self.assertTrue(wait_until(lambda: "Z" in self.keys_received("d"), 5), self.keys_received("d"))
        # net/gross: the indicator answers with net frames, and the status word says so
        self.assertFalse(self.client.write_coil(2, True, slave=1).isError())
        self.assertTrue(wait_until(lambda: self.status(1) & NET, 5))
        # a tare of 2.50 at two decimals, big-endian
        self.assertFalse(self.client.write_registers(10, [0, 250], slave=1).isError())
        self.assertTrue(wait_until(lambda: any(k.startswith("T2.50") for k in self.keys_received("d")), 5),
                        self.keys_received("d"))
        # Anything else is an exception, and nothing more reaches the line.
        time.sleep(0.5)
        sent = self.keys_received("d")
        self.assertEqual(self.client.write_coil(5, True, slave=1).exception_code, 0x02)
        self.assertEqual(self.client.write_register(10, 1, slave=1).exception_code, 0x02)
        self.assertEqual(self.client.write_registers(10, [0xFFFF, 0xFFFF], slave=1).exception_code, 0x03)
        self.assertEqual(self.client.write_registers(0, [0, 1], slave=1).exception_code, 0x02)
        time.sleep(0.5)
        self.assertEqual([k for k in self.keys_received("d") if k != "CR"],
                         [k for k in sent if k != "CR"])
        self.assertEqual(self.keys_received("e"), other)

    def test_a_silent_indicator_answers_target_failed(self):
        self.script("e", "silent 4000")
        self.assertTrue(wait_until(lambda: self.registers(2, 0, 2) == 0x0B, 5))
        self.assertEqual(self.client.write_coil(0, True, slave=2).exception_code, 0x0B)
        self.assertFalse(isinstance(self.registers(1), int))
        self.assertTrue(wait_until(lambda: isinstance(self.registers(2), list), 8))

    def test_a_client_outside_allowed_clients_is_closed(self):
        request = bytes.fromhex("000100000006010400000002")
        self.assertEqual(self.raw(request, source="127.0.0.2"), b"")
        self.assertIn("<4>Modbus client 127.0.0.2:", self.log())
        self.assertEqual(len(self.raw(request)), 13)

    def test_sigterm_ends_cleanly(self):
        # Last: the gateway goes.
        self.gateway.send_signal(signal.SIGTERM)
        self.assertEqual(self.gateway.wait(10), 0)
        self.assertTrue(self.notify.has("STOPPING=1"))


class GuardTest(Plant):
    """A write the face refuses, a client that dribbles, frames before a broken one."""

    SIMS = ("a",)
    MODBUS = "AllowWrites=1\n"

    def test_a_tare_the_face_refuses_is_answered_04_and_keeps_the_last(self):
        good = self.client.write_registers(10, [0, 250], slave=1)
        self.assertFalse(good.isError(), good)
        self.assertEqual(self.registers(1, 9, 3), [1, 0, 250])
        time.sleep(1)  # the face types the first tare before the next is offered
        bad = 99999999  # 999999.99 with the weight's two decimals
        r = self.client.write_registers(10, [bad >> 16, bad & 0xFFFF], slave=1)
        self.assertEqual(getattr(r, "exception_code", None), 0x04, r)
        self.assertEqual(self.registers(1, 9, 3), [2, 0, 250])
        self.assertIn("does not take that tare", self.log())

    def test_a_client_that_dribbles_a_frame_is_closed_by_the_frame_deadline(self):
        with socket.socket() as s:
            s.settimeout(1)
            s.connect((HOST, self.port))
            # A header announcing 254 bytes, then one byte a second.
            s.sendall(bytes.fromhex("0001000000fe01"))
            start = time.time()
            closed = None
            while time.time() - start < 15:
                try:
                    s.sendall(b"\x00")
                    if s.recv(10) == b"":
                        closed = time.time() - start
                        break
                except socket.timeout:
                    pass
                except (BrokenPipeError, ConnectionResetError):
                    closed = time.time() - start
                    break
                # Another client is served all the while.
                self.assertIsInstance(self.registers(1, 0, 2), list)
            self.assertIsNotNone(closed, "the dribbling client was never closed")
            self.assertLess(closed, 8)
        self.assertIn("a frame was not whole 5 s after its first byte", self.log())

    def test_whole_frames_before_a_broken_one_are_answered(self):
        good = bytes.fromhex("000700000006010400000002")
        broken = bytes.fromhex("00080001000601040000000a")  # protocol 1
        with socket.socket() as s:
            s.settimeout(2)
            s.connect((HOST, self.port))
            s.sendall(good + good + broken)
            got = b""
            while True:
                part = s.recv(100)
                if not part:
                    break
                got += part
        self.assertEqual(len(got), 26, got.hex())
        self.assertEqual(got[:2], b"\x00\x07")
        self.assertEqual(got[13:15], b"\x00\x07")


class LineOwnerTest(Plant):
    """One line, one owner: by the device itself, whatever name it is given."""

    SIMS = ("a",)

    def check(self, *devices):
        path = self.path("other.ini")
        with open(path, "w") as f:
            f.write(f"[Modbus]\nListen={HOST}:{free_port()}\n")
            for n, device in enumerate(devices, start=1):
                f.write(f"\n[Indicator u{n}]\nDevice={device}\nUnit={n}\n")
        return subprocess.run([CLI, "gateway", "--check", "--config", path], capture_output=True,
                              text=True, timeout=30, stdin=subprocess.DEVNULL)

    def test_a_second_opener_by_another_name_is_refused(self):
        link = self.sims["a"][1]
        other = self.path("other-link")
        os.symlink(link, other)
        for name in (os.path.realpath(link), other):
            with self.subTest(name):
                r = subprocess.run([CLI, "weigh", "--count", "1", "--device", name],
                                   capture_output=True, text=True, timeout=30,
                                   stdin=subprocess.DEVNULL)
                self.assertEqual(r.returncode, 3, r.stderr)
                self.assertIn("in use", r.stderr)
        self.assertTrue(self.status(1) & VALID)

    def test_check_refuses_one_device_twice_and_what_is_no_serial_port(self):
        link = self.sims["a"][1]
        second = self.path("second-link")
        os.symlink(link, second)
        cases = [
            ("a link and its target", (link, os.path.realpath(link)), 9, "[Indicator u1]"),
            ("two links to one device", (link, second), 9, "[Indicator u1]"),
            ("/dev/null", ("/dev/null",), 5, "/dev/null"),
            ("/dev/tty", ("/dev/tty",), 5, "/dev/tty"),
        ]
        for name, devices, line, said in cases:
            with self.subTest(name):
                r = self.check(*devices)
                self.assertEqual(r.returncode, 2, r.stdout)
                self.assertIn(f"other.ini:{line}: Device=", r.stderr)
                self.assertIn(said, r.stderr)
        self.assertEqual(self.check(link).returncode, 0)

    def test_a_unit_whose_device_went_away_comes_back(self):
        sim, link, log = self.sims["a"]
        stop_process(sim)
        self.assertTrue(wait_until(lambda: self.status(1) & PORT_ERROR, 10), self.log())
        # Put back where it was: the unit tries the port every 3 s and finds it.
        again = subprocess.Popen([SIM, "--link", link, "--load-every", "0", "--weight", "12.5",
                                  "--log", log], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                 stderr=subprocess.DEVNULL)
        self.procs.append(again)
        self.sims["a"] = (again, link, log)
        self.assertTrue(wait_until(lambda: self.status(1) & VALID, 10), self.log())
        self.assertFalse(self.status(1) & PORT_ERROR)
        self.assertTrue(self.log().endswith("a: online\n"), self.log())


if __name__ == "__main__":
    CLI, SIM = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    # What follows the two programs names the tests to run (all when nothing does).
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
