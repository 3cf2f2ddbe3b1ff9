"""kxlink-cli report against the simulator: a visit's PDF, read back with pdftotext, and the
check of its logbook head."""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

CLI = SIM = None


def hex_file(lines):
    """An Intel-HEX text of `lines` data records of 16 bytes and an end record."""
    out = []
    for i in range(lines):
        body = bytes([16, (i * 16) >> 8 & 0xFF, (i * 16) & 0xFF, 0]) + bytes(range(i, i + 16))
        out.append(":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper())
    out.append(":00000001FF")
    return ("\r\n".join(out) + "\r\n").encode()


class Visit(unittest.TestCase):
    """A simulator, and kxlink-cli copied into a scratch folder: its logbook, backups and
    reports live beside it."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.link = self.path("tty")
        self.exe = self.path("kxlink-cli")
        shutil.copy(CLI, self.exe)

    def path(self, *names):
        return os.path.join(self.dir.name, *names)

    def start_sim(self, *args):
        sim = subprocess.Popen([SIM, "--link", self.link, "--load-every", "0", "--reload-ms",
                                "300", *args], stdin=subprocess.PIPE,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def stop():
            sim.terminate()
            sim.wait(10)
            sim.stdin.close()
        self.addCleanup(stop)
        deadline = time.time() + 5
        while not os.path.exists(self.link) and time.time() < deadline:
            time.sleep(0.02)
        self.assertTrue(os.path.exists(self.link), "the simulator made no link")
        return sim

    def cli(self, *args, timeout=60):
        return subprocess.run([self.exe, *args], capture_output=True, text=True,
                              timeout=timeout, cwd=self.dir.name, stdin=subprocess.DEVNULL)

    def ok(self, *args):
        r = self.cli(*args)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def report(self, out, *args):
        return self.cli("report", "--device", self.link, "--technician", "A. Tech",
                        "--site", "Line 3", "--read", "--paper", "a4", "-o", self.path(out),
                        *args)

    def sections(self, pdf):
        """The report's text, cut at its section titles, each a list of lines as laid out."""
        text = subprocess.run(["pdftotext", "-layout", self.path(pdf), "-"], capture_output=True,
                              text=True, check=True).stdout
        parts = re.split(r"^\s*(As found|As left|Changes|Writes of the visit|The record)\s*$",
                         text, flags=re.M)
        self.assertEqual(parts[1::2], ["As found", "As left", "Changes", "Writes of the visit",
                                       "The record"])
        return text, dict(zip(parts[1::2], parts[2::2]))

    @staticmethod
    def value(section, caption):
        """The value of the table row of caption; the page's own header line aside."""
        for line in section.splitlines():
            m = re.match(r"^\s*\S.*?\s{2,}" + re.escape(caption) + r"\s{2,}(.*?)\s*$", line)
            if m:
                return m.group(1)
        return None

    def head(self):
        r = self.ok("logbook", "--check")
        fields = dict(line.split("\t") for line in r.stdout.splitlines())
        return fields["head"], int(fields["lines"])


class ReportTest(Visit):
    def test_a_visit_with_two_downloads_and_an_update(self):
        self.start_sim()
        self.ok("upload", "-q", "--device", self.link, self.path("found.dat"))
        found = self.read("found.dat")
        first = found.replace(b"Com1 Baud=2\r\n", b"Com1 Baud=4\r\n")
        second = first.replace(b"Com2 Baud=2\r\n", b"Com2 Baud=5\r\n")
        self.assertNotEqual(second, first)
        self.write("first.dat", first)
        self.write("second.dat", second)
        self.write("fw.hex", hex_file(3))
        self.ok("download", "-q", "--device", self.link, self.path("first.dat"))
        self.ok("flash", "-q", "--no-backup", "--device", self.link, self.path("fw.hex"))
        self.ok("download", "-q", "--device", self.link, self.path("second.dat"))

        r = self.report("r.pdf")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.strip(), self.path("r.pdf"))
        text, s = self.sections("r.pdf")
        # As found is the first backup; as left the read, verified against the last file sent.
        self.assertIn("The backup taken before the first download", s["As found"])
        self.assertEqual(self.value(s["As found"], "Com1 / Baud"), "9600")
        self.assertEqual(self.value(s["As found"], "Com2 / Baud"), "9600")
        self.assertIn("Read back from the indicator", s["As left"])
        self.assertIn("Verified: the KX7400 holds all", s["As left"])
        self.assertEqual(self.value(s["As left"], "Com1 / Baud"), "38400")
        self.assertEqual(self.value(s["As left"], "Com2 / Baud"), "57600")
        changes = [line.split() for line in s["Changes"].splitlines() if " / " in line]
        self.assertEqual([" ".join(c) for c in changes],
                         ["Configuration Com1 / Baud 9600 → 38400",
                          "Configuration Com2 / Baud 9600 → 57600"])
        writes = [line.split()[2:] for line in s["Writes of the visit"].splitlines()
                  if re.match(r"^\s*\d{4}-\d\d-\d\d \d\d:\d\d:\d\d", line)]
        self.assertEqual(writes, [["download", "first.dat", "completed", "verified"],
                                  ["firmware", "update", "fw.hex", "completed", "not", "verified"],
                                  ["download", "second.dat", "completed", "verified"]])
        for name in ("first.dat", "fw.hex", "second.dat"):
            self.assertIn(hashlib.sha256(self.read(name)).hexdigest(), s["Writes of the visit"])
        head, lines = self.head()
        self.assertEqual(lines, 3)
        self.assertIn(head, s["The record"])
        self.assertIn("held 3 lines", s["The record"])
        self.assertIn("Line 3", text)
        self.assertIn("A. Tech", text)
        self.assertRegex(text, r"Page 1 of \d")
        # The companion sum, as sha256sum checks it.
        self.assertEqual(self.read("r.pdf.sha256"),
                         hashlib.sha256(self.read("r.pdf")).hexdigest().encode() + b"  r.pdf\n")
        fonts = subprocess.run(["pdffonts", self.path("r.pdf")], capture_output=True, text=True,
                               check=True).stdout.splitlines()[2:]
        self.assertTrue(fonts and all(line.split()[-5] == "yes" for line in fonts), fonts)

        self.assertEqual(self.cli("report", "--check", self.path("r.pdf")).returncode, 0)
        # The tail rewritten: the update's line says otherwise, the last line re-hashed to fit.
        logbook = self.path("LOGS", "logbook.jsonl")
        rows = self.read(os.path.join("LOGS", "logbook.jsonl")).splitlines()
        update = json.loads(rows[1])
        update["outcome"] = "refused"
        rows[1] = json.dumps(update, separators=(",", ":")).encode()
        last = json.loads(rows[2])
        last["prev"] = hashlib.sha256(rows[1]).hexdigest()
        rows[2] = json.dumps(last, separators=(",", ":")).encode()
        with open(logbook, "wb") as f:
            f.write(b"\n".join(rows) + b"\n")
        self.assertEqual(self.cli("logbook", "--check").returncode, 0, "the chain fits again")
        check = self.cli("report", "--check", self.path("r.pdf"))
        self.assertEqual(check.returncode, 1, check.stderr)
        self.assertIn("no longer holds the head", check.stderr)
        self.assertEqual(self.cli("logbook", "--check", "--head", head).returncode, 1)

    def test_an_inspection_finds_what_it_leaves(self):
        self.start_sim()
        r = self.report("look.pdf", "--note", "Checked, nothing changed")
        self.assertEqual(r.returncode, 0, r.stderr)
        text, s = self.sections("look.pdf")
        def rows(section):
            return [line.split() for line in section.splitlines()
                    if " / " in line and "Service report" not in line]
        found, left = rows(s["As found"]), rows(s["As left"])
        self.assertGreater(len(found), 30)
        self.assertEqual(found, left)
        self.assertIn("No setting was changed", s["Changes"])
        self.assertIn("None: nothing was written", s["Writes of the visit"])
        self.assertIn("Checked, nothing changed", text)
        # An empty logbook has no head to check against: the check says so.
        self.assertEqual(self.cli("report", "--check", self.path("look.pdf")).returncode, 1)

    def test_a_silent_indicator_gives_no_report(self):
        sim = self.start_sim()
        sim.stdin.write(b"silent -1\n")
        sim.stdin.flush()
        r = self.report("none.pdf")
        self.assertEqual(r.returncode, 4, r.stderr)
        self.assertFalse(os.path.exists(self.path("none.pdf")))
        self.assertFalse(os.path.exists(self.path("none.pdf.sha256")))

    def test_a_report_never_replaces_another(self):
        self.start_sim()
        self.write("r.pdf", b"someone else's")
        r = self.report("r.pdf")
        self.assertEqual(r.returncode, 1)
        self.assertIn("already exists", r.stderr)
        self.assertEqual(self.read("r.pdf"), b"someone else's")
        self.assertFalse(os.path.exists(self.path("r.pdf.sha256")))
        # The day's default name gets a number instead.
        for _ in range(2):
            self.ok("report", "-q", "--device", self.link, "--read")
        made = sorted(os.listdir(self.path("SAVED", "REPORTS")))
        self.assertEqual(len(made), 4, made)
        self.assertRegex(made[0], r"^\d{4}-\d\d-\d\d_tty\.pdf$")
        self.assertRegex(made[2], r"^\d{4}-\d\d-\d\d_tty_2\.pdf$")

    def test_usage_and_what_the_logbook_cannot_tell(self):
        self.assertEqual(self.cli("report", "-o", self.path("x.pdf")).returncode, 2)
        self.assertEqual(self.cli("report", "--device", self.link, "--paper", "b5").returncode, 2)
        self.assertEqual(self.cli("report", "--check").returncode, 2)
        self.assertEqual(self.cli("logbook", "--check", "--head", "abc").returncode, 2)
        # Without a read, as left must come from a verified download ending the visit.
        r = self.cli("report", "--device", self.link, "-o", self.path("x.pdf"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("--read", r.stderr)
        self.assertFalse(os.path.exists(self.path("x.pdf")))
        self.write("not.pdf", b"%PDF-1.4\n<kx:logbookHead>nothex</kx:logbookHead>\n")
        self.assertEqual(self.cli("report", "--check", self.path("not.pdf")).returncode, 1)


if __name__ == "__main__":
    CLI = os.path.abspath(sys.argv.pop(1))
    SIM = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
