"""The record of every write, against the simulator: backups and logbook lines, whatever
happens beside the write (another process, a cut or odd logbook, a full disk)."""
import hashlib
import json
import os
import pwd
import resource
import signal
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import test_cli
from test_cli import Rig


class RecordRig(Rig):
    """The program copied beside its own LOGS and SAVED folders in the scratch folder."""

    def setUp(self):
        super().setUp()
        self.prog = self.path("kxlink-cli")
        shutil.copy(test_cli.CLI, self.prog)
        self.logbook = self.path(os.path.join("LOGS", "logbook.jsonl"))
        self.backups = self.path(os.path.join("SAVED", "BACKUP"))

    def run_cli(self, *args, env=None, timeout=60):
        return subprocess.run([self.prog, *args], capture_output=True, text=True,
                              timeout=timeout, cwd=self.dir.name, stdin=subprocess.DEVNULL,
                              env=env)

    def files(self, link, **baud):
        """up.dat as the indicator holds it, and a .dat for each name=Com1 Baud code."""
        up = self.run_cli("upload", "-q", "--device", link, self.path("up.dat"))
        self.assertEqual(up.returncode, 0, up.stderr)
        with open(self.path("up.dat"), "rb") as f:
            text = f.read()
        self.assertIn(b"Com1 Baud=2\r\n", text)
        for name, code in baud.items():
            with open(self.path(name + ".dat"), "wb") as f:
                f.write(text.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=%d\r\n" % code))
        return text

    def entries(self):
        with open(self.logbook, "rb") as f:
            return [json.loads(line) for line in f.read().splitlines()]

    def check(self):
        return self.run_cli("logbook", "--check")

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read()


class BackupTest(RecordRig):
    def test_no_backup_replaces_another(self):
        original = None
        with self.subTest("one script line after another"):
            self.start_sim()
            original = self.files(self.link, a=4, b=3)
            for name in ("a", "b"):
                r = self.run_cli("download", "-q", "--device", self.link, self.path(name + ".dat"))
                self.assertEqual(r.returncode, 0, r.stderr)
            entries = self.entries()
            self.assertEqual(len(entries), 2)
            names = [os.path.basename(e["backup"]) for e in entries]
            self.assertEqual(len(set(names)), 2, names)
            self.assertTrue(all(n.endswith("_tty.dat") or "_tty-" in n for n in names), names)
            # Each line names the file that holds what that write replaced.
            self.assertEqual(self.read(entries[0]["backup"]), original)
            self.assertIn(b"Com1 Baud=4\r\n", self.read(entries[1]["backup"]))
        with self.subTest("two processes at once, two indicators whose links share a name"):
            links = []
            for n in (1, 2):
                os.mkdir(self.path("line%d" % n))
                links.append(self.path(os.path.join("line%d" % n, "tty")))
                self.start_sim(link=links[-1])
            shutil.rmtree(self.backups)
            procs = [subprocess.Popen([self.prog, "download", "-q", "--device", link,
                                       self.path("a.dat")], stdout=subprocess.PIPE,
                                      stderr=subprocess.PIPE, text=True,
                                      stdin=subprocess.DEVNULL) for link in links]
            for p in procs:
                _, err = p.communicate(timeout=60)
                self.assertEqual(p.returncode, 0, err)
            kept = sorted(os.listdir(self.backups))
            self.assertEqual(len(kept), 2, kept)
            for name in kept:
                self.assertEqual(self.read(os.path.join(self.backups, name)), original)
            self.assertEqual(len(self.entries()), 4)
            last = self.entries()[-2:]
            self.assertEqual(sorted(os.path.basename(e["backup"]) for e in last), kept)
            self.assertEqual(self.check().returncode, 0)


class LogbookLineTest(RecordRig):
    """Every write gets its logbook line, or the command says it did not."""

    def test_eight_writers_at_once_leave_eight_lines(self):
        links = []
        for n in range(1, 9):
            links.append(self.path("tty%d" % n))
            self.start_sim(link=links[-1])
        self.files(links[0], a=4)
        procs = [subprocess.Popen([self.prog, "download", "-q", "--device", link,
                                   self.path("a.dat")], stdout=subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True, stdin=subprocess.DEVNULL)
                 for link in links]
        for p in procs:
            _, err = p.communicate(timeout=120)
            self.assertEqual(p.returncode, 0, err)
        entries = self.entries()
        self.assertEqual(sorted(e["device"] for e in entries), sorted(links))
        self.assertEqual(len({e["backup"] for e in entries}), 8)
        check = self.check()
        self.assertEqual(check.returncode, 0, check.stderr)

    def chained(self, count):
        """A logbook of count whole lines, chained as the program chains them."""
        os.makedirs(os.path.dirname(self.logbook), exist_ok=True)
        prev = "0" * 64
        lines = []
        for n in range(count):
            line = json.dumps({"time": "2026-12-10T14:02:%02d.000+01:00" % (n % 60),
                               "user": "tech", "host": "bench", "version": "3.0.0.1",
                               "port": 1, "device": "/dev/ttyUSB0", "action": "download",
                               "file": "site.dat", "fileSha256": "a" * 64, "backup": "",
                               "changes": [], "outcome": "completed", "verify": "verified",
                               "prev": prev}, separators=(",", ":")).encode()
            prev = hashlib.sha256(line).hexdigest()
            lines.append(line)
        with open(self.logbook, "wb") as f:
            f.write(b"\n".join(lines) + b"\n")
        return prev

    def test_a_logbook_that_cannot_take_the_line(self):
        sim_log = self.path("sim.log")
        self.start_sim("--log", sim_log)
        self.files(self.link, a=4)
        os.makedirs(os.path.dirname(self.logbook), exist_ok=True)

        def full_disk():
            # Room for the backup and the transfer's own files, none for one more line.
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            size = os.path.getsize(self.logbook)
            resource.setrlimit(resource.RLIMIT_FSIZE, (size + 50, resource.RLIM_INFINITY))

        def fifo():
            os.mkfifo(self.logbook)

        cases = [
            # (what the logbook is, how to make it, exit status, sent, said under -q)
            ("a folder", lambda: os.mkdir(self.logbook), 1, False, "is a folder"),
            ("a FIFO", fifo, 1, False, "is a FIFO"),
            ("a link to /dev/null", lambda: os.symlink("/dev/null", self.logbook), 1, False,
             "is a device"),
            ("a full disk", lambda: self.chained(400), 5, True, "not in the logbook"),
        ]
        for name, make, status, sent, said in cases:
            with self.subTest(name):
                if os.path.isdir(self.logbook) and not os.path.islink(self.logbook):
                    os.rmdir(self.logbook)
                elif os.path.lexists(self.logbook):
                    os.remove(self.logbook)
                make()
                mark = os.path.getsize(sim_log)
                before = (self.read(self.logbook) if name == "a full disk" else None)
                r = subprocess.run([self.prog, "download", "-q", "--device", self.link,
                                    self.path("a.dat")], capture_output=True, text=True,
                                   timeout=60, cwd=self.dir.name, stdin=subprocess.DEVNULL,
                                   preexec_fn=full_disk if name == "a full disk" else None)
                self.assertEqual(r.returncode, status, r.stderr)
                self.assertIn(said, r.stderr)
                with open(sim_log, "rb") as f:
                    self.assertEqual(b"-- download" in f.read()[mark:], sent)
                if before is not None:
                    self.assertEqual(self.read(self.logbook), before)

    def test_a_cut_line_never_silences_later_writes(self):
        self.start_sim()
        self.files(self.link, a=4, b=3)
        last = self.chained(3)
        with open(self.logbook, "ab") as f:
            f.write(b'{"time":"2026-12-10T14:03')
        for name in ("a", "b"):
            r = self.run_cli("download", "-q", "--device", self.link, self.path(name + ".dat"))
            self.assertEqual(r.returncode, 0, r.stderr)
            # Said once, when the cut logbook was set aside.
            self.assertEqual("was cut" in r.stderr, name == "a", r.stderr)
        aside = [n for n in os.listdir(os.path.dirname(self.logbook))
                 if n.startswith("logbook_") and n.endswith(".jsonl")]
        self.assertEqual(len(aside), 1)
        entries = self.entries()
        self.assertEqual(len(entries), 2)
        self.assertEqual((entries[0]["continues"], entries[0]["continuesSha256"]),
                         (aside[0], last))
        check = self.check()
        self.assertEqual(check.returncode, 0, check.stderr)


class AuditUserTest(RecordRig):
    def test_the_user_is_the_account_the_environment_only_beside_it(self):
        self.start_sim()
        self.files(self.link, a=4)
        login = pwd.getpwuid(os.getuid()).pw_name
        bare = {k: v for k, v in os.environ.items() if k not in ("USER", "LOGNAME", "USERNAME")}
        cases = [
            ("no name in the environment", bare, login),
            ("the same name", dict(bare, USER=login), login),
            ("another name", dict(bare, USER="tester"), login + " (environment: tester)"),
        ]
        for name, env, user in cases:
            with self.subTest(name):
                r = self.run_cli("download", "-q", "--no-backup", "--device", self.link,
                                 self.path("a.dat"), env=env)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(self.entries()[-1]["user"], user)


class CancelTest(RecordRig):
    def test_a_cancel_during_the_read_back_leaves_the_download_complete(self):
        self.start_sim("--delay-ms", "300")
        self.files(self.link, a=4)
        line_log = self.path("line.log")
        proc = subprocess.Popen([self.prog, "download", "--no-backup", "--device", self.link,
                                 "--log", line_log, self.path("a.dat")], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True, cwd=self.dir.name,
                                stdin=subprocess.DEVNULL)
        # The read-back is an upload of its own: its entry request is the second on the line.
        deadline = time.time() + 30
        while time.time() < deadline:
            if os.path.exists(line_log) and self.read(line_log).count(b" TX pcmode") >= 2:
                break
            time.sleep(0.01)
        proc.send_signal(signal.SIGINT)
        _, err = proc.communicate(timeout=30)
        self.assertEqual(proc.returncode, 1, err)
        self.assertIn("Download complete, not verified", err)
        self.assertNotIn("cancelled", err.lower())
        self.assertEqual([(e["outcome"], e["verify"]) for e in self.entries()],
                         [("completed", "not read")])


class ChangesTest(RecordRig):
    def test_a_write_without_a_read_before_it_logs_its_changes_as_unknown(self):
        self.start_sim()
        self.files(self.link, a=4, b=3)
        for name, extra in (("a", []), ("b", ["--no-backup"])):
            r = self.run_cli("download", "-q", *extra, "--device", self.link,
                             self.path(name + ".dat"))
            self.assertEqual(r.returncode, 0, r.stderr)
        entries = self.entries()
        self.assertEqual(entries[0]["changes"],
                         [{"key": "Configuration/Com1 Baud", "before": "9600", "after": "38400"}])
        self.assertTrue(entries[0]["backup"])
        self.assertEqual((entries[1]["changes"], entries[1]["backup"]), ("unknown", ""))
        table = self.run_cli("logbook")
        self.assertEqual([row.split("\t")[8] for row in table.stdout.splitlines()
                          if not row.startswith("\t")][1:], ["1", "unknown"])
        self.assertEqual(self.check().returncode, 0)


class SmallerTest(RecordRig):
    def test_names_a_script_reads_are_one_line_and_a_bad_port_is_named(self):
        with self.subTest("a line end in a device name"):
            name = self.path("a\nb")
            r = self.run_cli("ports", "--device", name)
            self.assertEqual(r.returncode, 3)
            rows = r.stdout.splitlines()
            self.assertEqual(len(rows), 2, r.stdout)
            self.assertEqual(rows[1].split("\t")[0], self.path("a<LF>b"))
        for value in ("100000", "4294967297"):
            with self.subTest(port=value):
                with open(self.path("Port.Ini"), "wb") as f:
                    f.write(b"[Scale Port]\r\nPort=%s\r\n" % value.encode())
                r = self.run_cli("weigh", "--count", "1")
                self.assertEqual(r.returncode, 3, r.stderr)
                self.assertIn("[Scale Port] Port=%s is no port number" % value, r.stderr)

    def test_a_silent_indicator_in_a_download_to_many_is_a_backup_that_failed(self):
        links = [self.path("tty1"), self.path("tty2")]
        self.start_sim(link=links[0])
        self.start_sim("--silent-after", "0", link=links[1])
        self.files(links[0], a=4)
        r = self.run_cli("download", "--json", "--device", links[0], "--device", links[1],
                         self.path("a.dat"))
        # Nothing reached the silent one: it ranks below a time-out with data out (4).
        self.assertEqual(r.returncode, 1, r.stderr)
        rows = json.loads(r.stdout)
        self.assertEqual([(row["outcome"], row["verified"], row["status"]) for row in rows],
                         [("completed", "verified", 0), ("backup failed", "-", 1)])


if __name__ == "__main__":
    test_cli.CLI = os.path.abspath(sys.argv.pop(1))
    test_cli.SIM = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
