"""kxlink-cli against the simulator, as a script or a test rig would run it."""
import csv
import io
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

CLI = SIM = None


class Rig(unittest.TestCase):
    """A simulator on a pseudo-terminal and a scratch folder for the files."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.link = os.path.join(self.dir.name, "tty")

    def start_sim(self, *args):
        sim = subprocess.Popen([SIM, "--link", self.link, "--load-every", "0", "--weight", "12.5",
                                *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, sim)
        deadline = time.time() + 5
        while not os.path.exists(self.link) and time.time() < deadline:
            time.sleep(0.02)
        self.assertTrue(os.path.exists(self.link), "the simulator made no link")
        return sim

    @staticmethod
    def stop(sim):
        sim.terminate()
        sim.wait(10)
        sim.stdin.close()
        sim.stdout.close()

    def cli(self, *args, timeout=60):
        return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=timeout,
                              cwd=self.dir.name, stdin=subprocess.DEVNULL)

    def path(self, name):
        return os.path.join(self.dir.name, name)


class CliTest(Rig):
    # ISO 8601 local time with milliseconds and the UTC offset.
    TIME = re.compile(r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d$")

    def test_weigh_json_gives_one_object_a_frame(self):
        self.start_sim()
        r = self.cli("weigh", "--device", self.link, "--json", "--count", "5")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        self.assertEqual(len(lines), 5)
        for line in lines:
            frame = json.loads(line)
            self.assertEqual(set(frame), {"time", "weight", "text", "units", "net", "settled"})
            self.assertIsInstance(frame["weight"], float)
            self.assertEqual(frame["weight"], 12.5)
            self.assertEqual(frame["text"], "  12.50")
            self.assertEqual(frame["units"], "lb")
            self.assertIs(frame["net"], False)
            self.assertIs(frame["settled"], True)
            self.assertRegex(frame["time"], self.TIME)

    def test_weigh_csv_to_a_file_and_to_standard_output(self):
        self.start_sim()
        r = self.cli("weigh", "--device", self.link, "--json", "--count", "12",
                     "--csv", self.path("w.csv"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("w.csv"), newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
        # One row a frame: the same frames the JSON lines show.
        frames = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual(len(rows), 12)
        for row, frame in zip(rows, frames):
            self.assertEqual(list(row), ["time", "weight", "text", "units", "net", "settled"])
            self.assertEqual(row["time"], frame["time"])
            self.assertEqual(float(row["weight"]), frame["weight"])
            self.assertEqual(row["text"], "  12.50")
            self.assertEqual((row["units"], row["net"], row["settled"]), ("lb", "false", "true"))

        out = self.cli("weigh", "-q", "--device", self.link, "--count", "3", "--csv", "-")
        self.assertEqual(out.returncode, 0, out.stderr)
        rows = list(csv.reader(io.StringIO(out.stdout, newline="")))
        self.assertEqual(rows[0], ["time", "weight", "text", "units", "net", "settled"])
        self.assertEqual(len(rows), 4)
        for row in rows[1:]:
            self.assertRegex(row[0], self.TIME)
            self.assertEqual(float(row[1]), 12.5)
        self.assertEqual(self.cli("weigh", "--device", self.link, "--json", "--csv", "-").returncode, 2)

    def test_weigh_over_range_has_no_number(self):
        sim = self.start_sim()
        sim.stdin.write(b"weight 99999\nstable 1\n")
        sim.stdin.flush()
        time.sleep(0.5)
        r = self.cli("weigh", "--device", self.link, "--json", "--count", "2",
                     "--csv", self.path("o.csv"))
        self.assertEqual(r.returncode, 0, r.stderr)
        for line in r.stdout.splitlines():
            frame = json.loads(line)
            self.assertIsNone(frame["weight"])
            self.assertEqual(frame["text"], " OVERLD")
        with open(self.path("o.csv"), newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
        self.assertEqual([row["weight"] for row in rows], ["", ""])

    def test_weigh_in_demand_mode(self):
        self.start_sim("--mode", "demand")
        r = self.cli("weigh", "--device", self.link, "--mode", "demand", "--count", "2")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(), ["12.50 lb", "12.50 lb"])

    def test_download_then_diff_with_the_indicator_is_empty(self):
        self.start_sim()
        up = self.cli("upload", "-q", "--device", self.link, self.path("up.dat"))
        self.assertEqual(up.returncode, 0, up.stderr)
        with open(self.path("up.dat"), "rb") as f:
            text = f.read()
        changed = text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n")
        self.assertNotEqual(changed, text)
        with open(self.path("new.dat"), "wb") as f:
            f.write(changed)
        down = self.cli("download", "-q", "--device", self.link, "--backup-dir",
                        self.path("backup"), "--log", self.path("line.log"), self.path("new.dat"))
        self.assertEqual(down.returncode, 0, down.stderr)
        # What the indicator held before is kept, dated.
        backups = os.listdir(self.path("backup"))
        self.assertEqual(len(backups), 1)
        self.assertRegex(backups[0], r"^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.dat$")
        with open(os.path.join(self.path("backup"), backups[0]), "rb") as f:
            self.assertEqual(f.read(), text)
        with open(self.path("line.log"), "rb") as f:
            log = f.read()
        self.assertIn(b" TX pcmode\r\n", log)
        self.assertIn(b" RX <ACK>", log)
        self.assertIn(b" TX <STX>[CFG],", log)
        same = self.cli("diff", "-q", "--indicator", "--device", self.link, self.path("new.dat"))
        self.assertEqual((same.returncode, same.stdout), (0, ""), same.stderr)
        other = self.cli("diff", "-q", "--indicator", "--device", self.link, self.path("up.dat"))
        self.assertEqual(other.returncode, 1)
        self.assertEqual(other.stdout, "[Configuration] Com1 Baud: 9600 | 38400\n")

    def test_refused_download_exits_1(self):
        sim = self.start_sim()
        self.cli("upload", "-q", "--device", self.link, self.path("up.dat"))
        sim.stdin.write(b"nak-next\n")
        sim.stdin.flush()
        r = self.cli("download", "--no-backup", "--device", self.link, self.path("up.dat"))
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("KX7400 Abandoned Operation!", r.stderr)

    def test_port_errors_and_usage(self):
        missing = self.cli("weigh", "--device", self.path("nowhere"))
        self.assertEqual(missing.returncode, 3)
        self.assertIn("nowhere", missing.stderr)
        self.assertEqual(self.cli("frobnicate").returncode, 2)
        self.assertEqual(self.cli("weigh", "--baud", "1234").returncode, 2)
        self.assertEqual(self.cli("download").returncode, 2)
        self.assertEqual(self.cli("upload", "--help").returncode, 0)

    def test_silent_indicator_is_a_time_out(self):
        sim = self.start_sim()
        sim.stdin.write(b"silent -1\n")
        sim.stdin.flush()
        r = self.cli("weigh", "--device", self.link, "--timeout", "1000")
        self.assertEqual(r.returncode, 4, r.stderr)


def hex_file(lines, break_checksum_of=None):
    """An Intel-HEX text of `lines` data records of 16 bytes and an end record."""
    out = []
    for i in range(lines):
        body = bytes([16, (i * 16) >> 8 & 0xFF, (i * 16) & 0xFF, 0]) + bytes(range(i, i + 16))
        check = (-sum(body)) & 0xFF
        if i == break_checksum_of:
            check ^= 1
        out.append(":" + (body + bytes([check])).hex().upper())
    out.append(":00000001FF")
    return ("\r\n".join(out) + "\r\n").encode()


class FlashTest(Rig):
    def test_good_file_goes_through_and_polling_resumes(self):
        self.start_sim("--reload-ms", "300", "--log", self.path("sim.log"))
        with open(self.path("fw.hex"), "wb") as f:
            f.write(hex_file(30))
        checked = self.cli("check-hex", self.path("fw.hex"))
        self.assertEqual(checked.returncode, 0, checked.stderr)
        r = self.cli("flash", "--no-backup", "--device", self.link, self.path("fw.hex"))
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Transfer Complete!!", r.stderr)
        self.assertIn("31 of 31 lines", r.stderr)  # the end record is a line too
        weigh = self.cli("weigh", "-q", "--device", self.link, "--count", "1")
        self.assertEqual(weigh.returncode, 0, weigh.stderr)

    def test_bad_file_is_refused_before_any_byte(self):
        self.start_sim("--log", self.path("sim.log"))
        with open(self.path("bad.hex"), "wb") as f:
            f.write(hex_file(10, break_checksum_of=4))
        checked = self.cli("check-hex", self.path("bad.hex"))
        self.assertEqual(checked.returncode, 1)
        self.assertIn("line 5", checked.stderr)
        r = self.cli("flash", "--device", self.link, self.path("bad.hex"))
        self.assertEqual(r.returncode, 1)
        with open(self.path("sim.log"), "rb") as f:
            self.assertNotIn(b" RX ", f.read(), "nothing may reach the indicator")


class DiffTest(Rig):
    def write(self, name, text):
        with open(self.path(name), "wb") as f:
            f.write(text)

    def test_files(self):
        self.write("a.dat", b"[Configuration]\r\nCom1 Baud=2\r\nCustom Name=Drums\r\n")
        self.write("b.dat", b"[Configuration]\r\nCom1 Baud=6\r\nCustom Name=Drums\r\n")
        self.write("c.dat", b"[Configuration]\r\nCom1 Baud=2\r\n")
        same = self.cli("diff", self.path("a.dat"), self.path("a.dat"))
        self.assertEqual((same.returncode, same.stdout), (0, ""))
        one = self.cli("diff", self.path("a.dat"), self.path("b.dat"))
        self.assertEqual((one.returncode, one.stdout),
                         (1, "[Configuration] Com1 Baud: 9600 | 115200\n"))
        # A missing key reads as its default, as the editor would show it.
        missing = self.cli("diff", self.path("a.dat"), self.path("c.dat"))
        self.assertEqual((missing.returncode, missing.stdout),
                         (1, "[Configuration] Custom Name: Drums | (empty)\n"))
        self.assertEqual(self.cli("diff", self.path("a.dat"), self.path("none.dat")).returncode, 2)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    SIM = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
