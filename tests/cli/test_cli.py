"""kxlink-cli against the simulator, as a script or a test rig would run it."""
import csv
import io
import json
import os
import random
import re
import resource
import shutil
import signal
import stat
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

    def start_sim(self, *args, link=None):
        link = link or self.link
        sim = subprocess.Popen([SIM, "--link", link, "--load-every", "0", "--weight", "12.5",
                                *args], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, sim)
        deadline = time.time() + 5
        while not os.path.exists(link) and time.time() < deadline:
            time.sleep(0.02)
        self.assertTrue(os.path.exists(link), "the simulator made no link")
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

    @staticmethod
    def signal_when_logged(proc, log, marker, sig=signal.SIGINT):
        """Sends sig to proc as soon as its protocol log holds marker."""
        deadline = time.time() + 20
        while time.time() < deadline:
            if os.path.exists(log):
                with open(log, "rb") as f:
                    if marker in f.read():
                        break
            time.sleep(0.01)
        proc.send_signal(sig)


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
        self.assertRegex(backups[0], r"^\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d_tty\.dat$")
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
        # The same as JSON, each setting named as the editor's page shows it.
        as_json = self.cli("diff", "--json", self.path("up.dat"), self.path("new.dat"))
        self.assertEqual(as_json.returncode, 1, as_json.stderr)
        self.assertEqual([json.loads(line) for line in as_json.stdout.splitlines()],
                         [{"section": "Configuration", "key": "Com1 Baud", "page": "Configuration",
                           "caption": "Com1 / Baud", "first": "9600", "second": "38400"}])

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

    def test_sigint_after_the_ack_cancels_the_download(self):
        self.start_sim("--delay-ms", "700", "--log", self.path("sim.log"))
        with open(self.path("new.dat"), "wb") as f:
            f.write(b"[Configuration]\r\nTime=1\r\n")
        line_log = self.path("line.log")
        proc = subprocess.Popen([CLI, "download", "--no-backup", "--device", self.link,
                                 "--log", line_log, self.path("new.dat")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                cwd=self.dir.name, stdin=subprocess.DEVNULL)
        # Ctrl-C once the indicator has acknowledged the entry (its answers come 0.7 s late).
        self.signal_when_logged(proc, line_log, b"RX <ACK>")
        out, err = proc.communicate(timeout=20)
        self.assertEqual(proc.returncode, 1, err)
        self.assertIn("Action Cancelled", err)
        with open(line_log, "rb") as f:
            self.assertNotIn(b"<STX>", f.read())
        time.sleep(1)  # the late "ready", if d went out, must change nothing
        with open(self.path("sim.log"), "rb") as f:
            sim_log = f.read()
        self.assertNotIn(b"<STX>", sim_log)
        self.assertNotIn(b"download: accepted", sim_log)

    def test_indicator_hanging_after_d_is_a_time_out(self):
        self.start_sim("--silent-on-download")
        with open(self.path("new.dat"), "wb") as f:
            f.write(b"[Configuration]\r\nTime=1\r\n")
        started = time.time()
        r = self.cli("download", "--no-backup", "--device", self.link, self.path("new.dat"))
        took = time.time() - started
        self.assertEqual(r.returncode, 4, r.stderr)
        self.assertIn('No "ready" from the KX7400 after d.', r.stderr)
        self.assertIn("Timeout Occurred!", r.stderr)
        # The reply time-out is 1.1 s; the rest is starting up and the entry handshake.
        self.assertLess(took, 8)

    def test_silent_indicator_is_a_time_out(self):
        sim = self.start_sim()
        sim.stdin.write(b"silent -1\n")
        sim.stdin.flush()
        r = self.cli("weigh", "--device", self.link, "--timeout", "1000")
        self.assertEqual(r.returncode, 4, r.stderr)


class HostileInputTest(Rig):
    """Input by other doors than the editor: files that are not settings files, entries that
    are not files, relative device names, bytes from the line, arguments, a full disk."""

    def sim_log(self):
        with open(self.path("sim.log"), "rb") as f:
            return f.read()

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def test_not_a_settings_file_is_refused_before_the_port_opens(self):
        self.start_sim("--log", self.path("sim.log"))
        header_only = "the file holds no setting of a settings file"
        cases = {
            "empty.dat": (b"", "the file is empty"),
            "random.dat": (random.Random(20).randbytes(65536), "binary data"),
            "utf16.dat": ("[Configuration]\r\nCom1 Baud=2\r\n".encode("utf-16"), "UTF-16"),
            "header.dat": (b"[Configuration]\r\n", header_only),
            "words.dat": (b"just some words\n", header_only),
            "escape.dat": (b"[Configuration]\r\nCustom Name=\x1b[2J\r\n", "control bytes"),
        }
        for name, (data, reason) in cases.items():
            with self.subTest(name):
                r = self.cli("download", "--no-backup", "--device", self.link,
                             self.write(name, data))
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn(self.path(name) + ": ", r.stderr)
                self.assertIn(reason, r.stderr)
                self.assertNotIn("\x1b", r.stderr)
                d = self.cli("diff", self.path(name), self.path(name))
                self.assertEqual(d.returncode, 2, d.stderr)
                self.assertIn(reason, d.stderr)
        self.assertNotIn(b"pcmode", self.sim_log(), "nothing may reach the indicator")

    def test_a_value_longer_than_its_field_is_not_sent(self):
        self.start_sim()
        up = self.cli("upload", "-q", "--device", self.link, self.path("up.dat"))
        self.assertEqual(up.returncode, 0, up.stderr)
        with open(self.path("up.dat"), "rb") as f:
            text = f.read()
        name = b"N" * 40
        changed = re.sub(rb"Custom Name=[^\r]*", b"Custom Name=" + name, text)
        self.assertNotEqual(changed, text)
        # CR line ends and a byte-order mark: still the same settings file.
        long_file = self.write("long.dat", b"\xef\xbb\xbf" + changed.replace(b"\r\n", b"\r"))
        r = self.cli("download", "--no-backup", "--device", self.link, long_file)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("Custom Name=" + "N" * 40 + " is longer than its 8-character field",
                      r.stderr)
        with open(long_file, "rb") as f:
            self.assertIn(b"Custom Name=" + name + b"\r", f.read(), "the file keeps it whole")
        same = self.cli("diff", "--indicator", "--device", self.link, self.path("up.dat"))
        self.assertEqual((same.returncode, same.stdout), (0, ""), same.stderr)
        # The same file with a name that fits, in CR-only lines, goes through.
        fits = self.write("fits.dat", b"\xef\xbb\xbf" + re.sub(
            rb"Custom Name=[^\r]*", b"Custom Name=Kegs", text).replace(b"\r\n", b"\r"))
        r = self.cli("download", "-q", "--no-backup", "--device", self.link, fits)
        self.assertEqual(r.returncode, 0, r.stderr)

    def test_entries_that_are_not_files_are_left_alone(self):
        self.start_sim("--log", self.path("sim.log"))
        os.mkfifo(self.path("fifo"))
        os.mkdir(self.path("folder"))
        kinds = {"fifo": stat.S_ISFIFO, "folder": stat.S_ISDIR}
        if os.geteuid() == 0:
            os.mknod(self.path("null"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
            kinds["null"] = stat.S_ISCHR
        for name, kind in kinds.items():
            with self.subTest(name):
                for command in (["upload"], ["download", "--no-backup"], ["check-hex"],
                                ["flash", "--no-backup"], ["diff", self.path(name)]):
                    r = self.cli(*command, "--device", self.link, self.path(name), timeout=20)
                    self.assertIn(r.returncode, (1, 2), (command, r.stderr))
                    self.assertIn(self.path(name) + ": is a ", r.stderr)
                self.assertTrue(kind(os.stat(self.path(name)).st_mode), "still what it was")
                self.assertFalse(os.path.exists(self.path(name) + ".bak"))
        self.assertNotIn(b"pcmode", self.sim_log())

    def test_check_hex_of_an_endless_device_ends_at_once(self):
        start = time.monotonic()
        r = self.cli("check-hex", "/dev/zero", timeout=20)
        self.assertEqual(r.returncode, 1)
        self.assertIn("/dev/zero: is a device, not a file", r.stderr)
        self.assertLess(time.monotonic() - start, 10)
        # Memory stays flat: nothing of the device was read.
        self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss, 500 * 1024)

    def test_a_relative_device_is_the_link_in_the_working_folder(self):
        self.start_sim()
        work = self.path("work")
        os.mkdir(work)
        os.symlink(self.link, os.path.join(work, "tty1"))
        r = subprocess.run([CLI, "weigh", "--device", "tty1", "--count", "2"], cwd=work,
                           capture_output=True, text=True, timeout=60, stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines(), ["12.50 lb", "12.50 lb"])
        missing = subprocess.run([CLI, "weigh", "--device", "sub/tty9"], cwd=work,
                                 capture_output=True, text=True, timeout=60,
                                 stdin=subprocess.DEVNULL)
        self.assertEqual(missing.returncode, 3)
        self.assertIn(os.path.join(work, "sub/tty9"), missing.stderr)

    def test_escape_sequences_from_the_line_are_shown_not_obeyed(self):
        sim = self.start_sim()
        debug = subprocess.Popen([CLI, "debug", "--device", self.link, "--count", "6"],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                 stdin=subprocess.DEVNULL, cwd=self.dir.name)
        # A window title and a clear-screen sequence, answered in place of the debug line.
        for _ in range(60):
            if debug.poll() is not None:
                break
            sim.stdin.write(b"send 1b 5d 30 3b 70 77 6e 07 1b 5b 32 4a 0d\n")
            sim.stdin.flush()
            time.sleep(0.1)
        out, err = debug.communicate(timeout=30)
        self.assertEqual(debug.returncode, 0, err)
        self.assertNotIn(b"\x1b", out + err)
        self.assertNotIn(b"\x07", out + err)
        # (The leading ESC goes with the blanks and controls a debug line is trimmed of.)
        self.assertIn(b"]0;pwn<BEL><1B>[2J\n", out)
        # Six answers, and nothing before them: the start has no line of its own.
        self.assertEqual(len(out.splitlines()), 6)
        self.assertNotIn(b"", out.splitlines())
        # Debug lines only, no weight frame among them: the answers put in place of the debug
        # line, or the indicator's own debug line where one came before them.
        self.assertNotIn(b"<EOT>", out)
        for line in out.splitlines():
            self.assertTrue(line == b"]0;pwn<BEL><1B>[2J" or line.startswith(b"FB node="), line)

    def test_numeric_options_are_checked(self):
        cases = [("weigh", "--count", "abc"), ("weigh", "--count", "-1"),
                 ("weigh", "--count", "0"), ("weigh", "--count", "99999999999"),
                 ("weigh", "--count", "2147483648"), ("debug", "--count", " 5"),
                 ("weigh", "--timeout", "abc"), ("weigh", "--timeout", "99"),
                 ("weigh", "--timeout", "1e3"), ("weigh", "--timeout", "3600001"),
                 ("weigh", "--port", "0"), ("weigh", "--port", "0x3"),
                 ("weigh", "--outputs", "3"), ("weigh", "--baud", "19200x"),
                 ("weigh", "--baud", "1234")]
        for command, option, value in cases:
            with self.subTest(option=option, value=value):
                r = self.cli(command, option, value, "--device", self.path("none"), timeout=10)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn('%s "%s"' % (option, value), r.stderr)

    def test_signals_end_a_command_and_say_so(self):
        self.start_sim()
        # The commands that print lines until stopped, each with what its first line holds.
        for command, first in (("weigh", "12.50 lb\n"), ("debug", "gross=12.50")):
            for sig, name in ((signal.SIGTERM, "SIGTERM"), (signal.SIGINT, "SIGINT")):
                with self.subTest(command=command, signal=name):
                    proc = subprocess.Popen([CLI, command, "--device", self.link],
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                            stdin=subprocess.DEVNULL, text=True)
                    self.assertIn(first, proc.stdout.readline())
                    proc.send_signal(sig)
                    out, err = proc.communicate(timeout=10)
                    self.assertEqual(proc.returncode, 0, err)
                    self.assertIn("kxlink-cli %s: stopped by %s." % (command, name), err)

    def test_a_signal_during_a_transfer_cancels_it(self):
        sim = self.start_sim()
        sim.stdin.write(b"silent -1\n")  # the entry wait would last 20 s
        sim.stdin.flush()
        up = subprocess.Popen([CLI, "upload", "--device", self.link, self.path("up.dat")],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              stdin=subprocess.DEVNULL, text=True)
        self.assertTrue(up.stderr.readline().startswith("Initializing KX7400 Upload"))
        started = time.monotonic()
        up.send_signal(signal.SIGTERM)
        _, err = up.communicate(timeout=15)
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual(up.returncode, 1, err)
        self.assertIn("kxlink-cli upload: stopped by SIGTERM; the upload was cancelled.", err)
        self.assertFalse(os.path.exists(self.path("up.dat")))

    def test_a_log_that_fills_the_disk_says_so_and_the_status_tells(self):
        self.start_sim()

        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (700, resource.RLIM_INFINITY))

        r = subprocess.run([CLI, "weigh", "--device", self.link, "--count", "40", "--log",
                            self.path("line.log")], capture_output=True, text=True, timeout=60,
                           stdin=subprocess.DEVNULL, preexec_fn=small_files)
        self.assertEqual(r.returncode, 5, r.stderr)
        self.assertEqual(r.stderr.count("The protocol log stopped: " + self.path("line.log")), 1)
        # Told when it happened, not at the end: weights followed it.
        self.assertEqual(len(r.stdout.splitlines()), 40)
        with open(self.path("line.log"), "rb") as f:
            log = f.read()
        self.assertTrue(log.endswith(b"\r\n"), log[-60:])
        self.assertLessEqual(len(log), 700)

    def test_a_recording_that_fills_the_disk_ends_weigh_with_the_reason(self):
        self.start_sim()

        def small_files():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (700, resource.RLIM_INFINITY))

        # No --count: only the full disk can end it.
        r = subprocess.run([CLI, "weigh", "--device", self.link, "--csv", self.path("w.csv")],
                           capture_output=True, text=True, timeout=60, cwd=self.dir.name,
                           stdin=subprocess.DEVNULL, preexec_fn=small_files)
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("The recording stopped: " + self.path("w.csv") + ": File too large", r.stderr)
        with open(self.path("w.csv"), "rb") as f:
            data = f.read()
        self.assertLessEqual(len(data), 700)
        self.assertTrue(data.endswith(b"\r\n"), data[-60:])
        rows = list(csv.reader(io.StringIO(data.decode(), newline="")))
        self.assertGreater(len(rows), 2)
        self.assertTrue(all(len(row) == 6 for row in rows), rows[-1])
        self.assertIn("keeps %d whole rows" % (len(rows) - 1), r.stderr)

    def test_a_recording_target_that_is_no_file_is_refused_at_once(self):
        os.mkfifo(self.path("fifo"))
        os.mkdir(self.path("folder"))
        # No simulator: a target refused after the port opened would fail on the port instead.
        for target, reason in (("fifo", "is a FIFO"), ("folder", "is a folder"),
                               ("nodir/w.csv", "the folder does not exist"),
                               ("/dev/null", "is a device")):
            with self.subTest(target):
                path = target if target.startswith("/") else self.path(target)
                r = self.cli("weigh", "--device", self.link, "--count", "1", "--csv", path,
                             timeout=10)
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn("No recording: %s: %s" % (path, reason), r.stderr)
        self.assertFalse(os.path.exists(self.path("nodir")))

    def test_ports_lists_columns_a_script_can_cut(self):
        self.start_sim()

        def column(n, *args):
            r = subprocess.run("%s ports %s | cut -f%d" % (CLI, " ".join(args), n), shell=True,
                               capture_output=True, text=True, timeout=30, cwd=self.dir.name)
            return r.stdout.splitlines()

        self.assertEqual(column(1, "--device", self.link), ["device", self.link])
        self.assertEqual(column(2, "--device", self.link), ["state", "can be opened"])
        self.assertEqual(column(2, "--device", "/dev/null"), ["state", "not a serial port"])
        # Without --device every port found, under the same header.
        self.assertEqual(column(1)[:1] or ["device"], ["device"])
        r = self.cli("ports", "--device", self.link, "--json")
        self.assertEqual(r.returncode, 0, r.stderr)
        port = json.loads(r.stdout)
        self.assertEqual((port["device"], port["opens"], port["state"]),
                         (self.link, True, "can be opened"))
        self.assertEqual(self.cli("ports", "--device", "/dev/null").returncode, 3)

    def test_what_is_no_serial_port_is_refused_before_a_byte_is_written(self):
        import fcntl
        import pty
        import termios
        master, slave = pty.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        own = os.ttyname(slave)
        with open(self.path("file"), "w") as f:
            f.write("kept\n")
        os.mkdir(self.path("folder"))

        def on_the_terminal():
            # The pseudo-terminal becomes the command's controlling terminal, as a shell's is.
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)

        for device in ("/dev/tty", own, "/dev/null", self.path("file"), self.path("folder")):
            with self.subTest(device):
                r = subprocess.run([CLI, "weigh", "--device", device, "--count", "1"],
                                   capture_output=True, text=True, timeout=30,
                                   stdin=subprocess.DEVNULL, preexec_fn=on_the_terminal)
                self.assertEqual(r.returncode, 3, r.stderr)
                self.assertIn(device + ": not a serial port", r.stderr)
        os.set_blocking(master, False)
        try:
            written = os.read(master, 100)
        except BlockingIOError:
            written = b""
        self.assertEqual(written, b"", "nothing reaches the user's terminal")
        with open(self.path("file")) as f:
            self.assertEqual(f.read(), "kept\n")
        for blank in ("", " "):
            r = self.cli("weigh", "--device", blank)
            self.assertEqual(r.returncode, 2)
            self.assertIn('--device "%s": not a serial port' % blank, r.stderr)

    def test_no_scratch_folder_is_left_whatever_ends_the_command(self):
        self.start_sim()
        tmp = self.path("tmp")
        os.mkdir(tmp)
        env = dict(os.environ, TMPDIR=tmp)
        r = subprocess.run([CLI, "weigh", "--device", self.link, "--count", "2"], env=env,
                           capture_output=True, text=True, timeout=30, stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0, r.stderr)
        for sig in (signal.SIGINT, signal.SIGKILL):
            with self.subTest(sig.name):
                weigh = subprocess.Popen([CLI, "weigh", "--device", self.link], env=env,
                                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                         stdin=subprocess.DEVNULL)
                weigh.stdout.readline()
                weigh.send_signal(sig)
                weigh.communicate(timeout=10)
        self.assertEqual(os.listdir(tmp), [])


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


    def cli_beside(self, ini, *args, **kw):
        """kxlink-cli run from a folder of its own, where bsl.Ini is read."""
        folder = self.path("prog")
        os.makedirs(folder, exist_ok=True)
        exe = os.path.join(folder, "kxlink-cli")
        if not os.path.exists(exe):
            shutil.copy(CLI, exe)
        with open(os.path.join(folder, "bsl.Ini"), "wb") as f:
            f.write(ini)
        return [exe, *args]

    def test_line_delay_zero_completes(self):
        self.start_sim("--reload-ms", "300", "--log", self.path("sim.log"))
        with open(self.path("fw.hex"), "wb") as f:
            f.write(hex_file(30))
        cmd = self.cli_beside(b"[BSL]\r\nLineDelay=0\r\n", "flash", "--no-backup", "--device",
                              self.link, self.path("fw.hex"))
        r = subprocess.run(cmd, capture_output=True, text=True, timeout=60,
                           stdin=subprocess.DEVNULL)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Transfer Complete!!", r.stderr)
        with open(self.path("sim.log"), "rb") as f:
            self.assertEqual(f.read().count(b"-- line: accepted"), 31)

    def test_a_loader_that_refuses_every_line_exits_1(self):
        self.start_sim("--nak-every", "1")
        with open(self.path("fw.hex"), "wb") as f:
            f.write(hex_file(5))
        r = self.cli("flash", "--no-backup", "--device", self.link, self.path("fw.hex"))
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("Transfer Failed!", r.stderr)
        self.assertIn("The loader refused line 1 of 6 five times.", r.stderr)

    def test_ctrl_c_stops_the_update_and_nothing_more_is_sent(self):
        self.start_sim("--log", self.path("sim.log"))
        with open(self.path("fw.hex"), "wb") as f:
            f.write(hex_file(200))
        cli = subprocess.Popen([CLI, "flash", "--no-backup", "--device", self.link,
                                self.path("fw.hex")], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)

        def accepted():
            with open(self.path("sim.log"), "rb") as f:
                return f.read().count(b"-- line: accepted")
        deadline = time.time() + 20
        while accepted() < 5 and time.time() < deadline:
            time.sleep(0.05)
        cli.send_signal(signal.SIGINT)
        _, err = cli.communicate(timeout=20)
        self.assertEqual(cli.returncode, 1, err)
        self.assertIn("stopped by SIGINT", err)
        lines = accepted()
        time.sleep(0.5)
        self.assertEqual(accepted(), lines)
        self.assertLess(lines, 201)


class WriteCheckTest(Rig):
    """What goes out is what was meant, and is believed only once it is checked."""

    def upload(self, name="up.dat"):
        r = self.cli("upload", "-q", "--device", self.link, self.path(name))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path(name), "rb") as f:
            return f.read()

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def sim_log(self):
        with open(self.path("sim.log"), "rb") as f:
            return f.read()

    def test_a_setting_the_indicator_clamps_fails_the_verify(self):
        # The indicator acknowledges the setup but holds 2500 as its capacity.
        self.start_sim("--hold", "[CAL],1=2500", "--log", self.path("sim.log"))
        text = self.upload()
        self.assertIn(b"Scale Capacity=5000\r\n", text)
        new = self.write("new.dat", text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n"))
        for quiet in ([], ["-q"]):
            with self.subTest(quiet=bool(quiet)):
                r = self.cli("download", *quiet, "--no-backup", "--device", self.link, new)
                self.assertEqual(r.returncode, 6, r.stderr)
                self.assertIn("Calibration / Scale Capacity: sent 5000, holds 2500", r.stderr)
                self.assertIn("Verify failed", r.stderr)
                self.assertNotIn("Com1 Baud", r.stderr)
        self.assertIn(b"download: accepted", self.sim_log())
        # Without the verify nothing is believed either way, and the result says so.
        r = self.cli("download", "--no-backup", "--no-verify", "--device", self.link, new)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Not verified", r.stderr)

    def test_bad_values_are_refused_before_anything_is_sent(self):
        self.start_sim("--log", self.path("sim.log"))
        good = self.upload()
        mark = len(self.sim_log())
        cases = [
            (b"Scale Capacity=5000\r\n", b"Scale Capacity=abc\r\n", "Scale Capacity=abc is not a number"),
            (b"Time=1\r\n", b"Time=1\r\nTime=0\r\n", "the key Time is given twice in [Configuration]"),
        ]
        for old, new_line, why in cases:
            with self.subTest(why=why):
                self.assertIn(old, good)
                bad = self.write("bad.dat", good.replace(old, new_line, 1))
                r = self.cli("download", "-q", "--device", self.link, bad)
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn(bad, r.stderr)
                self.assertIn(why, r.stderr)
                self.assertIn("Nothing was sent.", r.stderr)
        # Not even the backup before the download went out: the port never opened.
        self.assertNotIn(b"pcmode", self.sim_log()[mark:])

    def test_a_download_the_indicator_took_is_verified(self):
        self.start_sim()
        text = self.upload()
        new = self.write("new.dat", text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n"))
        r = self.cli("download", "--no-backup", "--device", self.link, new)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertRegex(r.stderr, r"Verified: the KX7400 holds all \d+ settings sent\.")

    def test_a_slow_store_still_completes(self):
        # The indicator answers the data 1.5 s after it, once its setup is stored.
        self.start_sim("--store-ms", "1500", "--log", self.path("sim.log"))
        new = self.write("new.dat", self.upload())
        r = self.cli("download", "--no-backup", "--no-verify", "--device", self.link, new)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Download complete!", r.stderr)
        self.assertNotIn("Timeout", r.stderr)

    def test_a_quiet_time_out_still_says_why(self):
        self.start_sim("--silent-on-download")
        new = self.write("new.dat", b"[Configuration]\r\nTime=1\r\n")
        r = self.cli("download", "-q", "--no-backup", "--device", self.link, new)
        self.assertEqual(r.returncode, 4, r.stderr)
        self.assertIn("Timeout Occurred!", r.stderr)

    def test_upload_into_a_missing_folder_asks_nothing(self):
        self.start_sim("--log", self.path("sim.log"))
        r = self.cli("upload", "--device", self.link, self.path("nowhere/up.dat"))
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertIn("does not exist", r.stderr)
        time.sleep(0.3)
        self.assertNotIn(b"pcmode", self.sim_log())

    def test_a_slow_loader_gets_every_line_once_taken_in_order(self):
        # Every answer comes after the reply time-out, and every third message is refused:
        # each line is resent, and the late answers must go to the copies they answer.
        self.start_sim("--delay-ms", "1200", "--nak-every", "3", "--reload-ms", "300",
                       "--log", self.path("sim.log"))
        lines = hex_file(2).split(b"\r\n")[:-1]
        self.write("fw.hex", hex_file(2))
        r = self.cli("flash", "--no-backup", "--device", self.link, "--log",
                     self.path("line.log"), self.path("fw.hex"), timeout=120)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("Transfer Complete!!", r.stderr)
        log = self.sim_log().decode("latin-1")
        taken = [t for t in re.findall(r"-- took (\S+)( \(again\))?", log) if not t[1]]
        self.assertEqual([t[0].encode() for t in taken], lines)
        # The end message went out only after the last line was taken.
        self.assertLess(log.rindex("-- took"), log.index("end message: accepted"))
        with open(self.path("line.log"), "rb") as f:
            self.assertIn(b"TX <STX>BSL<ETX>", f.read())


class LogbookTest(Rig):
    """Every write that reached the indicator leaves a line in the logbook, chained."""

    def test_writes_are_chained_and_tampering_is_named(self):
        # The logbook lives beside the program: a copy of it in the scratch folder.
        cli = self.path("kxlink-cli")
        shutil.copy(CLI, cli)
        self.start_sim("--store-ms", "1500", "--reload-ms", "300")

        def run(*args, **kw):
            return subprocess.run([cli, *args], capture_output=True, text=True, timeout=60,
                                  cwd=self.dir.name, stdin=subprocess.DEVNULL, **kw)

        up = run("upload", "-q", "--device", self.link, self.path("up.dat"))
        self.assertEqual(up.returncode, 0, up.stderr)
        with open(self.path("up.dat"), "rb") as f:
            text = f.read()
        with open(self.path("new.dat"), "wb") as f:
            f.write(text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n"))
        down = run("download", "-q", "--device", self.link, self.path("new.dat"))
        self.assertEqual(down.returncode, 0, down.stderr)
        # A download cancelled once its data is out: the indicator may have taken it.
        line_log = self.path("line.log")
        proc = subprocess.Popen([cli, "download", "--no-backup", "--device", self.link, "--log",
                                 line_log, self.path("new.dat")], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, stdin=subprocess.DEVNULL)
        self.signal_when_logged(proc, line_log, b"TX <STX>")
        _, err = proc.communicate(timeout=20)
        self.assertEqual(proc.returncode, 1, err)
        self.assertIn("may hold the new setup", err)
        time.sleep(2)  # the indicator finishes storing before the update's enter message
        with open(self.path("fw.hex"), "wb") as f:
            f.write(hex_file(2))
        flash = run("flash", "-q", "--no-backup", "--device", self.link, self.path("fw.hex"))
        self.assertEqual(flash.returncode, 0, flash.stderr)

        logbook = os.path.join(self.dir.name, "LOGS", "logbook.jsonl")
        with open(logbook, "rb") as f:
            good = f.read()
        lines = good.splitlines()
        self.assertEqual(len(lines), 3)
        entries = [json.loads(line) for line in lines]
        self.assertEqual([e["action"] for e in entries],
                         ["download", "download", "firmware update"])
        self.assertEqual([e["outcome"] for e in entries], ["completed", "cancelled", "completed"])
        self.assertEqual(entries[0]["verify"], "verified")
        self.assertEqual(entries[0]["changes"],
                         [{"key": "Configuration/Com1 Baud", "before": "9600", "after": "38400"}])
        self.assertTrue(entries[0]["backup"])
        check = run("logbook", "--check")
        self.assertEqual(check.returncode, 0, check.stderr)
        table = run("logbook")
        self.assertEqual(table.returncode, 0, table.stderr)
        self.assertEqual([row.split("\t")[3] for row in table.stdout.splitlines()
                          if not row.startswith("\t")][1:],
                         ["download", "download", "firmware update"])

        tampered = {
            "a byte of the middle line": (lines[0], lines[1].replace(b"cancelled", b"completed"), lines[2]),
            "the middle line removed": (lines[0], lines[2]),
            "two lines swapped": (lines[0], lines[2], lines[1]),
        }
        named = {"a byte of the middle line": "line 3", "the middle line removed": "line 2",
                 "two lines swapped": "line 2"}
        for name, rows in tampered.items():
            with self.subTest(name):
                with open(logbook, "wb") as f:
                    f.write(b"\n".join(rows) + b"\n")
                r = run("logbook", "--check")
                self.assertEqual(r.returncode, 1, r.stderr)
                self.assertIn(named[name], r.stderr)


class DryRunTest(Rig):
    """download --dry-run reads the indicator, says what the download would change, sends nothing."""

    def test_the_changes_are_printed_and_nothing_is_sent(self):
        # The logbook lives beside the program: a copy of it shows that nothing was recorded.
        cli = self.path("kxlink-cli")
        shutil.copy(CLI, cli)
        self.start_sim("--log", self.path("sim.log"))
        up = self.cli("upload", "-q", "--device", self.link, self.path("up.dat"))
        self.assertEqual(up.returncode, 0, up.stderr)
        with open(self.path("up.dat"), "rb") as f:
            text = f.read()
        with open(self.path("new.dat"), "wb") as f:
            f.write(text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n"))
        with open(self.path("bad.dat"), "wb") as f:
            f.write(text.replace(b"Scale Capacity=5000\r\n", b"Scale Capacity=abc\r\n"))
        cases = [
            # (file, extra options, exit status, standard output)
            ("new.dat", [], 7, "[Configuration] Com1 Baud: 38400 | 9600\n"),
            ("new.dat", ["--json"], 7,
             [{"section": "Configuration", "key": "Com1 Baud", "page": "Configuration",
               "caption": "Com1 / Baud", "first": "38400", "second": "9600"}]),
            ("up.dat", [], 0, ""),
            # Refused as a download refuses it, before the port opens.
            ("bad.dat", [], 1, ""),
        ]
        for name, extra, status, out in cases:
            with self.subTest(file=name, extra=extra):
                with open(self.path("sim.log"), "rb") as f:
                    mark = len(f.read())
                r = subprocess.run([cli, "download", "--dry-run", *extra, "--device", self.link,
                                    "--backup-dir", self.path("backup"), self.path(name)],
                                   capture_output=True, text=True, timeout=60,
                                   cwd=self.dir.name, stdin=subprocess.DEVNULL)
                printed = ([json.loads(line) for line in r.stdout.splitlines()]
                           if "--json" in extra else r.stdout)
                self.assertEqual((r.returncode, printed), (status, out), r.stderr)
                self.assertIn("Nothing was sent" if name == "bad.dat" else "nothing was sent",
                              r.stderr)
                time.sleep(0.2)
                with open(self.path("sim.log"), "rb") as f:
                    log = f.read()[mark:]
                self.assertNotIn(b"-- download", log)
                self.assertEqual(b"-- upload" in log, name != "bad.dat")
        self.assertFalse(os.path.exists(self.path("backup")))
        self.assertFalse(os.path.exists(os.path.join(self.dir.name, "LOGS", "logbook.jsonl")))


class ManyTest(Rig):
    """One download to several indicators at once, each on its own line."""

    def many(self, count, *args):
        """Simulators at tty1 ... ttyN, each with its own log; the program beside the logbook."""
        links = []
        for n in range(1, count + 1):
            link = self.path("tty%d" % n)
            self.start_sim("--log", self.path("sim%d.log" % n), *args, link=link)
            links.append(link)
        return links

    def new_file(self, link):
        up = self.cli("upload", "-q", "--device", link, self.path("up.dat"))
        self.assertEqual(up.returncode, 0, up.stderr)
        with open(self.path("up.dat"), "rb") as f:
            text = f.read()
        with open(self.path("new.dat"), "wb") as f:
            f.write(text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n"))
        return self.path("new.dat")

    def copied_cli(self):
        cli = self.path("kxlink-cli")
        shutil.copy(CLI, cli)
        return cli

    def test_one_silent_indicator_does_not_hold_up_the_others(self):
        cli = self.copied_cli()
        links = self.many(2)
        # The third takes the data and never answers it: the download's store wait runs out.
        links.append(self.path("tty3"))
        self.start_sim("--store-ms", "60000", "--log", self.path("sim3.log"), link=links[2])
        new = self.new_file(links[0])
        nowhere = self.path("nowhere")
        r = subprocess.run([cli, "download", "--json", "--backup-dir", self.path("backup"),
                            *[a for link in links + [nowhere] for a in ("--device", link)], new],
                           capture_output=True, text=True, timeout=60, cwd=self.dir.name,
                           stdin=subprocess.DEVNULL)
        # The time-out is the worst of them: worse than the port that did not open.
        self.assertEqual(r.returncode, 4, r.stderr)
        rows = json.loads(r.stdout)
        self.assertEqual([(row["device"], row["outcome"], row["verified"], row["status"])
                          for row in rows],
                         [(links[0], "completed", "verified", 0),
                          (links[1], "completed", "verified", 0),
                          (links[2], "no answer", "not verified", 4),
                          (nowhere, "port error", "-", 3)])
        # Each line says its own, under its own name.
        self.assertIn("%s: Verified: the KX7400 holds all" % links[0], r.stderr)
        self.assertIn("%s: Timeout Occurred!" % links[2], r.stderr)
        # Each its own backup, none written over by another in the same second.
        backups = sorted(os.listdir(self.path("backup")))
        self.assertEqual([b[19:] for b in backups], ["_tty1.dat", "_tty2.dat", "_tty3.dat"])
        self.assertEqual([row["backup"] for row in rows[:3]],
                         [os.path.join(self.path("backup"), b) for b in backups])
        self.assertEqual(rows[3]["backup"], "not taken")
        # The good ones ended as soon as they alone would have: long before the silent one
        # gave up waiting for its answer (6 s after its data).
        for row in rows[:2]:
            self.assertLess(row["seconds"], rows[2]["seconds"] - 3)
        with open(self.path("sim3.log"), "rb") as f:
            self.assertIn(b"storing the setup", f.read())

        logbook = os.path.join(self.dir.name, "LOGS", "logbook.jsonl")
        with open(logbook, "rb") as f:
            entries = [json.loads(line) for line in f.read().splitlines()]
        self.assertEqual(sorted((e["device"], e["outcome"]) for e in entries),
                         [(links[0], "completed"), (links[1], "completed"),
                          (links[2], "no answer")])
        check = subprocess.run([cli, "logbook", "--check"], capture_output=True, text=True,
                               timeout=30, stdin=subprocess.DEVNULL)
        self.assertEqual(check.returncode, 0, check.stderr)

    def test_the_table_and_a_ctrl_c_that_cancels_every_line(self):
        cli = self.copied_cli()
        # Each indicator takes 3 s to store what it was sent: Ctrl-C comes while all wait.
        links = self.many(2, "--store-ms", "3000")
        new = self.new_file(links[0])
        proc = subprocess.Popen([cli, "download", "--no-backup", "--device", links[0],
                                 "--device", links[1], new], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, cwd=self.dir.name,
                                stdin=subprocess.DEVNULL)
        deadline = time.time() + 20
        while time.time() < deadline:
            logs = []
            for n in (1, 2):
                with open(self.path("sim%d.log" % n), "rb") as f:
                    logs.append(f.read())
            if all(b"storing the setup" in log for log in logs):
                break
            time.sleep(0.02)
        proc.send_signal(signal.SIGINT)
        out, err = proc.communicate(timeout=20)
        self.assertEqual(proc.returncode, 1, err)
        rows = [row.split("\t") for row in out.splitlines()]
        self.assertEqual(rows[0], ["indicator", "backup", "outcome", "verified", "seconds"])
        self.assertEqual([row[:4] for row in rows[1:]],
                         [[link, "none", "cancelled", "not verified"] for link in links])
        self.assertIn("stopped by SIGINT", err)
        for link in links:
            self.assertIn("%s: The KX7400 may hold the new setup" % link, err)
        # Their data had gone out: each cancelled write is in the logbook.
        with open(os.path.join(self.dir.name, "LOGS", "logbook.jsonl"), "rb") as f:
            entries = [json.loads(line) for line in f.read().splitlines()]
        self.assertEqual(sorted((e["device"], e["outcome"]) for e in entries),
                         [(link, "cancelled") for link in links])

    def test_lists_that_cannot_be_used_are_refused_before_any_port_opens(self):
        self.start_sim("--log", self.path("sim.log"))
        good = self.new_file(self.link)
        with open(self.path("bad.dat"), "wb") as f:
            f.write(b"\x00\x01binary")
        os.symlink(self.link, self.path("other"))
        a, b = self.link, self.path("b")
        cases = [
            # (arguments, exit status, what standard error says)
            (["--device", a, "--device", a, good], 2, "are the same indicator"),
            # Another name for the same device is the same indicator.
            (["--device", a, "--device", self.path("other"), good], 2, "are the same indicator"),
            (["--port", "1", "--port", "1", good], 2, "are the same indicator"),
            (["--port", "1", "--device", a, "--device", b, good], 2, "not both"),
            (["--device", a, "--device", b, "--log", self.path("l"), good], 2, "--log"),
            (["--device", a, "--device", b, "--dry-run", good], 2, "--dry-run"),
            (["--device", a, "--json", good], 2, "--json"),
            # The file is read and refused once, before any line is opened.
            (["--device", a, "--device", b, self.path("bad.dat")], 1, "Nothing was sent."),
        ]
        with open(self.path("sim.log"), "rb") as f:
            mark = len(f.read())
        for args, status, why in cases:
            with self.subTest(args=args[:-1]):
                r = self.cli("download", *args)
                self.assertEqual(r.returncode, status, r.stderr)
                self.assertIn(why, r.stderr)
                self.assertEqual(r.stdout, "")
        time.sleep(0.2)
        with open(self.path("sim.log"), "rb") as f:
            self.assertNotIn(b"pcmode", f.read()[mark:])


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
