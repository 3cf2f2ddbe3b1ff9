#!/usr/bin/env python3
"""Drives kx7400-sim from outside, the way the program does: over its pseudo-terminal,
with the standard library only. Usage: test_sim.py PATH-TO-kx7400-sim [unittest args]"""

import os
import re
import select
import signal
import subprocess
import sys
import tempfile
import termios
import time
import tty
import unittest

SIM = None

STX, ETX, EOT, ENQ, ACK, BEL, CR, LF, NAK = (bytes([b]) for b in
                                            (0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x0D, 0x0A, 0x15))

# Generous: the machine may be busy building. Tests wait for what they expect and only
# ever bound times from below.
PATIENCE = 5.0

FRAME = re.compile(rb"([ \d.-]{7}|OVERLD| OVERLD)([_ ])(LB|KG|OZ|G )( )(GR|NT)(    )\x04")

# Tag and field count of every record; None: the ticket list, a multiple of three fields.
LAYOUT_ONE = [(b"[CFG],", 28), (b"[CAL],", 7), (b"[ANY],", 5), (b"[420],", 6),
              (b"[TKT],", None), (b"[PRN],", 4), (b"[CST],", 1), (b"[CFM],", 29),
              (b"[TAD],", 6)]
LAYOUT_TWO = LAYOUT_ONE[:8] + [(b"[CS2],", 1), (b"[CF2],", 29)] + LAYOUT_ONE[8:]


def loader_message(payload):
    check = 0
    for b in payload:
        check ^= b
    return payload + bytes([check | 0x80])


def hex_record(address, data, rtype=0, length=None):
    """An Intel-HEX record with a right checksum; length may lie about the data."""
    data = bytes(data)
    body = bytes([len(data) if length is None else length, address >> 8, address & 0xFF,
                  rtype]) + data
    return b":" + (body + bytes([(-sum(body)) & 0xFF])).hex().upper().encode()


class Sim:
    """One simulator and the program's end of its line."""

    def __init__(self, *args, stdin=subprocess.PIPE, before_start=None):
        self.dir = tempfile.TemporaryDirectory()
        self.link = os.path.join(self.dir.name, "kx7400")
        self.log = os.path.join(self.dir.name, "sim.log")
        if before_start:
            before_start(self)
        self.proc = subprocess.Popen(
            [SIM, "--link", self.link, "--log", self.log, "--load-every", "0", *args],
            stdin=stdin, stdout=subprocess.PIPE)
        self.out = b""
        self.fd = None
        try:
            self.device = self.stdout_line()
            self.open_port()
        except BaseException:
            self.proc.kill()
            self.proc.wait()
            raise

    def open_port(self, baud=termios.B9600):
        self.fd = os.open(self.link, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)
        attrs = termios.tcgetattr(self.fd)
        attrs[4] = attrs[5] = baud
        termios.tcsetattr(self.fd, termios.TCSANOW, attrs)
        termios.tcflush(self.fd, termios.TCIOFLUSH)

    def close_port(self):
        os.close(self.fd)
        self.fd = None

    def stop(self, sig=signal.SIGTERM):
        if self.fd is not None:
            self.close_port()
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            code = self.proc.wait(PATIENCE)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            code = self.proc.wait()
        self.proc.stdout.close()
        if self.proc.stdin:
            self.proc.stdin.close()
        self.dir.cleanup()
        return code

    def stdout_line(self):
        deadline = time.monotonic() + PATIENCE
        while b"\n" not in self.out:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                raise AssertionError("no line from the simulator's standard output")
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                raise AssertionError("the simulator closed its standard output")
            self.out += chunk
        line, self.out = self.out.split(b"\n", 1)
        return line.decode()

    def command(self, text):
        self.proc.stdin.write(text.encode() + b"\n")
        self.proc.stdin.flush()
        return self.stdout_line()

    def write(self, data):
        os.write(self.fd, data)

    def read_for(self, seconds):
        """Everything that arrives within the given time."""
        deadline = time.monotonic() + seconds
        data = b""
        while (left := deadline - time.monotonic()) > 0:
            if select.select([self.fd], [], [], left)[0]:
                data += os.read(self.fd, 4096)
        return data

    def read_until(self, done, what):
        """Reads until done(data) holds; fails after PATIENCE seconds."""
        deadline = time.monotonic() + PATIENCE
        data = b""
        while not done(data):
            left = deadline - time.monotonic()
            if left <= 0:
                raise AssertionError(f"waited in vain for {what}; got {data!r}")
            if select.select([self.fd], [], [], left)[0]:
                data += os.read(self.fd, 4096)
        return data

    def frames(self, count):
        data = self.read_until(lambda d: d.count(EOT) >= count, f"{count} frames")
        return data

    def exchange(self, data, reply, what):
        """Sends data and returns what came back up to and including reply."""
        self.write(data)
        got = self.read_until(lambda d: reply in d, what)
        return got[:got.index(reply) + len(reply)]

    def demand(self):
        """One frame in demand mode, without its EOT."""
        self.write(CR)
        frame = self.read_until(lambda d: EOT in d, "a demand frame")
        return frame[:-1].decode("latin-1")

    def log_text(self):
        with open(self.log, "rb") as f:
            return f.read().decode("latin-1")


class SimTestCase(unittest.TestCase):
    def start(self, *args, **kwargs):
        sim = Sim(*args, **kwargs)
        self.addCleanup(sim.stop)
        return sim

    def upload(self, sim):
        """pcmode, "u": the records between STX and EOT, each without its CR LF."""
        self.assertEqual(sim.exchange(b"pcmode", ACK, "the pcmode ACK")[-1:], ACK)
        data = sim.exchange(b"u", EOT, "the upload")
        self.assertIn(STX, data)
        text = data[data.rindex(STX) + 1:-1]
        self.assertTrue(text.endswith(b"\r\n"), text)
        sim.write(ACK)
        return text[:-2].split(b"\r\n")

    def download(self, sim, text):
        """pcmode, "d", "ready", the text between STX and EOT: returns ACK or NAK."""
        sim.exchange(b"pcmode", ACK, "the pcmode ACK")
        sim.exchange(b"d", b"ready", "ready")
        sim.write(STX + text + EOT)
        answer = sim.read_until(lambda d: ACK in d or NAK in d, "the download's ACK or NAK")
        return answer[-1:]

    def assert_layout(self, records, layout):
        self.assertEqual([r[:6] for r in records], [tag for tag, _ in layout])
        for record, (tag, count) in zip(records, layout):
            self.assertTrue(record.endswith(b","), record)
            fields = record[6:-1].split(b",")
            if count is None:
                self.assertEqual(len(fields) % 3, 0, record)
            elif tag not in (b"[CST],", b"[CS2],"):
                self.assertEqual(len(fields), count, record)


class FrontPanel(SimTestCase):
    def test_continuous_frames_are_well_formed_and_keep_coming(self):
        sim = self.start("--weight", "12.5")
        data = sim.frames(6)
        pieces = data.split(EOT)[:-1]
        for piece in pieces[1:]:  # the first read may have begun mid-frame
            self.assertRegex(piece + EOT, FRAME)
            self.assertEqual(len(piece), 17)
        self.assertEqual(pieces[-1], b"  12.50_LB GR    ")

    def test_demand_mode_sends_one_frame_per_cr_and_nothing_unasked(self):
        sim = self.start("--mode", "demand", "--weight", "3")
        self.assertEqual(sim.read_for(0.4), b"")
        sim.write(CR * 3)
        data = sim.read_until(lambda d: d.count(EOT) == 3, "three frames")
        self.assertEqual(data, b"   3.00_LB GR    \x04" * 3)
        self.assertEqual(sim.read_for(0.3), b"")

    def test_keys_change_the_next_frame(self):
        sim = self.start("--mode", "demand")
        self.assertEqual(sim.command("weight 12.50"), "ok")
        self.assertEqual(sim.command("stable 1"), "ok")
        steps = [  # bytes sent, then the next frame
            (b"", "  12.50_LB GR    "),
            (b"?", "  12.50_LB GR    "),
            (b"U", "   5.67_KG GR    "),
            (b"U", "  200.0_OZ GR    "),
            (b"U", "   5670_G  GR    "),
            (b"U", "  12.50_LB GR    "),
            (b"G", "  12.50_LB NT    "),
            (b"G", "  12.50_LB GR    "),
            (b"A", "   0.00_LB NT    "),
            (b"T2.50\r", "  10.00_LB NT    "),
            (b"Z", "  -2.50_LB NT    "),
            (b"G", "   0.00_LB GR    "),
            (b"P" + BEL, "   0.00_LB GR    "),
        ]
        for sent, frame in steps:
            with self.subTest(sent=sent):
                sim.write(sent)
                self.assertEqual(sim.demand(), frame)
        self.assertEqual(sim.command("stable 0"), "ok")
        self.assertEqual(sim.demand()[7], " ", "a swinging load is not stable")
        self.assertIn("ticket: ", sim.log_text())

    def test_a_load_overshoots_then_settles_in_motion_until_it_does(self):
        sim = self.start("--mode", "demand")
        start = time.monotonic()
        self.assertEqual(sim.command("weight 100"), "ok")
        frames = []
        while not frames or frames[-1][7] != "_":
            self.assertLess(time.monotonic() - start, PATIENCE, frames[-5:])
            frames.append(sim.demand())
            time.sleep(0.03)
        settled_after = time.monotonic() - start
        weights = [float(f[:7]) for f in frames]
        self.assertEqual(frames[-1], " 100.00_LB GR    ")
        self.assertGreater(max(weights), 103, "a load arrives with an overshoot")
        self.assertTrue(all(f[7] == " " for f in frames[:-1]), "in motion until it settles")
        self.assertGreater(settled_after, 0.7)

    def test_drift_and_jitter(self):
        sim = self.start("--mode", "demand", "--weight", "10", "--drift", "60")
        first = float(sim.demand()[:7])
        time.sleep(1.0)
        frame = sim.demand()
        self.assertGreaterEqual(float(frame[:7]) - first, 0.95)
        self.assertEqual(frame[7], "_", "a creeping reading is still a settled one")

        sim = self.start("--mode", "demand", "--weight", "12.5", "--jitter", "3")
        weights = [float(sim.demand()[:7]) for _ in range(30)]
        self.assertTrue(all(12.47 <= w <= 12.53 for w in weights), weights)
        self.assertGreater(len(set(weights)), 2)

    def test_enq_answers_a_debug_line_ended_by_cr(self):
        sim = self.start("--mode", "demand", "--weight", "7")
        line = sim.exchange(ENQ, CR, "the debug line")
        self.assertNotIn(EOT, line)
        self.assertIn(b"gross=7.00", line)
        self.assertNotEqual(sim.exchange(ENQ, CR, "a second debug line"), line)


class Transfer(SimTestCase):
    def test_upload_sends_the_builtin_setup_and_no_frames_in_pc_mode(self):
        for outputs, layout in ((1, LAYOUT_ONE), (2, LAYOUT_TWO)):
            with self.subTest(outputs=outputs):
                sim = self.start("--outputs", str(outputs), "--rate", "20")
                sim.frames(2)
                self.assertEqual(sim.exchange(b"pcmode", ACK, "the ACK")[-1:], ACK)
                self.assertEqual(sim.read_for(0.4), b"", "frames in PC mode")
                data = sim.exchange(b"u", EOT, "the upload")
                self.assertTrue(data.startswith(STX), data)
                records = data[1:-1].split(b"\r\n")
                self.assertEqual(records[-1], b"", "each record ends with CR LF")
                self.assert_layout(records[:-1], layout)
                self.assertEqual(records[1], b"[CAL],5000,1,4,4,1.0,1,2,")
                sim.write(ACK)
                self.assertRegex(sim.frames(2), FRAME, "frames again after the transfer")

    def test_good_download_is_acknowledged_and_comes_back_on_upload(self):
        sim = self.start("--outputs", "2", "--mode", "demand")
        records = self.upload(sim)
        records[1] = b"[CAL],6000,2,1,1,0.5,2,3,"
        records[4] = b"[TKT],"  # no ticket fields at all is a valid layout
        records[8] = b"[CS2],<W>[,]<U>,"  # a stream format may hold commas
        records[0] = records[0].replace(b'"Barrels"', b'"Smith, J"')  # so may a quoted field
        records[-1] = b"[TAD],14,05,09,03,21,06,"
        self.assertEqual(self.download(sim, b"".join(r + b"\r\n" for r in records)), ACK)
        again = self.upload(sim)
        self.assertEqual(again[:-1], records[:-1])
        self.assertRegex(again[-1], rb"^\[TAD\],(\d\d,){6}$")

    def test_malformed_downloads_are_refused_and_change_nothing(self):
        sim = self.start("--mode", "demand")
        good = self.upload(sim)

        def text(records):
            return b"".join(r + b"\r\n" for r in records)

        def replaced(index, record):
            return text(good[:index] + [record] + good[index + 1:])

        cases = {
            "records out of order": text([good[1], good[0]] + good[2:]),
            "a field missing": replaced(1, b"[CAL],5000,1,4,4,1.0,1,"),
            "a field too many": replaced(2, b"[ANY],1,1,1,1,0,0,"),
            "two digits in a one-digit field": replaced(0, good[0].replace(b"[CFG],1,2,", b"[CFG],1,12,")),
            "one digit in a two-digit field": replaced(5, b"[PRN],1,1,9,1,"),
            "an unknown ticket letter": replaced(4, b"[TKT],X,1,1,"),
            "a ticket entry cut short": replaced(4, b"[TKT],t,10,"),
            "no closing comma": replaced(3, b"[420],0,5000,1,1,0,0"),
            "a quote inside the quoted name": replaced(0, good[0].replace(b'"Barrels"', b'"6"pipe"')),
            "a quoted name never closed": replaced(0, good[0].split(b'"')[0] + b'"Barrels,'),
            "a comma in an unquoted field": replaced(1, b"[CAL],5,000,1,4,4,1.0,1,2,"),
            "a fixed wrapper character changed": replaced(7, good[7].replace(b",0D,W<D>,", b",0A,W<D>,")),
            "month 13": replaced(8, b"[TAD],14,05,09,13,21,06,"),
            "last CR LF missing": text(good)[:-2],
            "LF alone": text(good).replace(b"\r\n", b"\n", 1),
            "second output records to a one-output indicator":
                text(good[:8] + [b"[CS2],<W>,", good[7].replace(b"[CFM]", b"[CF2]")] + good[8:]),
            "nothing": b"",
        }
        for name, data in cases.items():
            with self.subTest(name):
                refusals = sim.log_text().count("download malformed")
                self.assertEqual(self.download(sim, data), NAK)
                self.assertEqual(sim.log_text().count("download malformed"), refusals + 1)
        self.assertEqual(self.upload(sim)[:-1], good[:-1])

    def test_pc_mode_times_out_and_weighing_resumes(self):
        sim = self.start("--pc-timeout-ms", "300", "--rate", "20")
        sim.exchange(b"pcmode", ACK, "the ACK")
        started = time.monotonic()
        sim.frames(1)
        self.assertGreaterEqual(time.monotonic() - started, 0.25)

    def test_nak_next_refuses_pcmode(self):
        sim = self.start("--mode", "demand")
        self.assertEqual(sim.command("nak-next"), "ok")
        self.assertEqual(sim.exchange(b"pcmode", NAK, "the NAK")[-1:], NAK)
        self.assertEqual(sim.exchange(b"pcmode", ACK, "an ACK this time")[-1:], ACK)


class Loader(SimTestCase):
    ENTER = bytes.fromhex("02 42 53 4C 03 DC")
    END = bytes.fromhex("04 84")

    def line(self, record):
        return loader_message(record + b"\r\n")

    def test_loader_checks_each_line_then_restarts_after_the_end(self):
        sim = self.start("--reload-ms", "800", "--rate", "20")
        sim.frames(1)
        self.assertEqual(sim.exchange(self.ENTER, ACK, "the enter ACK")[-1:], ACK)
        self.assertEqual(sim.read_for(0.3), b"", "frames in the loader")
        good = hex_record(0x0100, range(16))
        bad_sum = good[:-2] + (b"00" if good[-2:] != b"00" else b"01")
        cases = [
            ("good line", self.line(good), ACK),
            ("end-of-file record", self.line(b":00000001FF"), ACK),
            ("check byte wrong", self.line(good)[:-1] + bytes([self.line(good)[-1] ^ 0x01]), NAK),
            ("HEX checksum wrong", self.line(bad_sum), NAK),
            ("length disagrees", self.line(hex_record(0, [1, 2, 3], length=4)), NAK),
            ("not a HEX record", self.line(b"hello"), NAK),
            ("enter again", self.ENTER, ACK),
        ]
        for name, message, answer in cases:
            with self.subTest(name):
                got = sim.exchange(message, answer, name)
                self.assertEqual(got, answer, "exactly one answer byte")
        self.assertEqual(sim.exchange(self.END, ACK, "the end ACK"), ACK)
        acked = time.monotonic()
        sim.read_until(lambda d: EOT in d, "frames after the reload")
        self.assertGreaterEqual(time.monotonic() - acked, 0.7, "silent while reloading")

    def test_nak_every_refuses_every_nth_line(self):
        sim = self.start("--nak-every", "3", "--mode", "demand")
        sim.exchange(self.ENTER, ACK, "the enter ACK")
        message = self.line(hex_record(0, [0xAA, 0x55]))
        answers = b""
        for _ in range(6):
            sim.write(message)
            answers += sim.read_until(lambda d: len(d) == 1, "one answer")
        self.assertEqual(answers, ACK + ACK + NAK + ACK + ACK + NAK)


class Lifecycle(SimTestCase):
    def test_link_reopen_end_of_stdin_and_clean_stop(self):
        def stale_link(sim):
            os.symlink("/nonexistent/pts", sim.link)

        sim = Sim("--rate", "20", stdin=subprocess.DEVNULL, before_start=stale_link)
        try:
            self.assertTrue(sim.device.startswith("/dev/"))
            self.assertEqual(os.readlink(sim.link), sim.device)
            sim.frames(2)
            # The program closes and reopens its port; stdin is long closed by now.
            sim.close_port()
            time.sleep(0.3)
            sim.open_port()
            self.assertRegex(sim.frames(3), FRAME)
            self.assertIsNone(sim.proc.poll())
        finally:
            link = sim.link
            code = sim.stop()
        self.assertEqual(code, 0)
        self.assertFalse(os.path.lexists(link))

    def test_refuses_to_replace_a_file_at_the_link_path(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "precious")
            with open(path, "w") as f:
                f.write("keep me")
            result = subprocess.run([SIM, "--link", path], stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=PATIENCE * 2)
            self.assertNotEqual(result.returncode, 0)
            with open(path) as f:
                self.assertEqual(f.read(), "keep me")

    def test_script_commands_and_quit(self):
        sim = self.start("--mode", "demand")
        self.assertEqual(sim.command("send 41 42 0d"), "ok")
        self.assertEqual(sim.read_until(lambda d: len(d) >= 3, "the sent bytes"), b"AB\r")
        self.assertTrue(sim.command("frobnicate").startswith("error:"))
        self.assertEqual(sim.command("units KG"), "ok")
        self.assertEqual(sim.command("weight 1.5"), "ok")
        self.assertEqual(sim.command("stable 1"), "ok")
        self.assertIn('weight="   1.50" stable=1 units=KG', sim.command("state"))
        self.assertEqual(sim.command("quit"), "ok")
        self.assertEqual(sim.proc.wait(PATIENCE), 0)

    def test_help_documents_every_option(self):
        result = subprocess.run([SIM, "--help"], capture_output=True, timeout=PATIENCE * 2)
        self.assertEqual(result.returncode, 0)
        text = result.stdout.decode()
        for option in ("--link", "--mode", "--rate", "--outputs", "--reload-ms", "--noise",
                       "--split", "--silent-after", "--silence", "--nak-every", "--delay-ms",
                       "--pace", "--log", "--verbose", "--seed", "--weight", "--load-every",
                       "--pc-timeout-ms", "--silent-on-download", "--drift", "--jitter", "nak-next",
                       "send", "quit"):
            self.assertIn(option, text)


class Faults(SimTestCase):
    def test_noise_lies_between_whole_frames(self):
        sim = self.start("--noise", "--rate", "50", "--weight", "4", "--seed", "3")
        data = sim.frames(25)
        frames = list(FRAME.finditer(data))
        self.assertGreaterEqual(len(frames), 15)
        gaps = [data[a.end():b.start()] for a, b in zip(frames, frames[1:])]
        self.assertTrue(any(gaps), "no noise between frames")
        self.assertNotIn(ACK, data)
        self.assertNotIn(NAK, data)
        for f in frames:
            self.assertEqual(f.group(0), b"   4.00_LB GR    \x04")

    def test_split_frames_are_written_in_pieces(self):
        sim = self.start("--split", "--rate", "20", "--weight", "4")
        data = sim.frames(6)
        self.assertIn(b"   4.00_LB GR    \x04" * 4, data)
        sent = [l for l in sim.log_text().splitlines() if " TX " in l]
        self.assertTrue(any(not l.endswith("<EOT>") for l in sent), sent)

    def test_silent_after_n_frames(self):
        sim = self.start("--silent-after", "3", "--mode", "demand")
        sim.write(CR * 5)
        self.assertEqual(sim.frames(3).count(EOT), 3)
        self.assertEqual(sim.read_for(0.4), b"")
        sim.write(ENQ + CR)
        self.assertEqual(sim.read_for(0.3), b"", "silence covers replies too")
        self.assertEqual(sim.command("silent 0"), "ok")
        sim.write(CR)
        sim.frames(1)

    def test_delay_holds_replies(self):
        sim = self.start("--mode", "demand", "--delay-ms", "300")
        asked = time.monotonic()
        sim.exchange(ENQ, CR, "the debug line")
        self.assertGreaterEqual(time.monotonic() - asked, 0.28)

    def test_pace_takes_the_wire_time_of_the_programs_baud(self):
        sim = self.start("--mode", "demand", "--pace")
        sim.close_port()
        sim.open_port(termios.B1200)  # 10 bits a character: 18 characters take 150 ms
        asked = time.monotonic()
        frame = sim.exchange(CR, EOT, "a paced frame")
        self.assertGreaterEqual(time.monotonic() - asked, 0.14)
        self.assertRegex(frame, FRAME)
        # Received bytes take their time too: six characters in and one out is 58 ms.
        asked = time.monotonic()
        sim.exchange(b"pcmode", ACK, "a paced ACK")
        self.assertGreaterEqual(time.monotonic() - asked, 0.05)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    SIM = os.path.abspath(sys.argv.pop(1))
    unittest.main()
