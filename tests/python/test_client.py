"""The Python client against a small fake of Tavrin's remote control: framing,
the state dump, errors as exceptions, timeouts. No Tavrin needed."""
import os
import socketserver
import sys
import threading
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "..", "python"))
from tavrin import Tavrin, TavrinError  # noqa: E402

try:
    from tavrin.pymeasure_drive import TavrinDrive
except ImportError:  # python3-pymeasure and python3-pyvisa-py are optional
    TavrinDrive = None

CANNED = {"*IDN?": "Corvex,Tavrin,0,1.0", "FREQ?": "44000", "LOG:FILE?": '"C:\\a;b ""x"".txt"',
          "*OPC?": "1", "SWE:DATA?": "40000,10,40500,12.5", "VOLT?": "1.3"}
SETTABLE = ("FREQ", "VOLT", "OUTP", "SYST:AUTH", "INIT:SWE", "SWE:STAR", "SWE:STOP", "SWE:STEP", "SWE:DWEL")


class FakeTavrin(socketserver.StreamRequestHandler):
    """Answers the queries of one line on one CR LF line; keeps an error queue."""

    def handle(self):
        errors = []
        for raw in self.rfile:
            self.server.lines.append(raw)
            answers = []
            for cmd in raw.decode().strip().split(";"):
                cmd = cmd.lstrip(":")
                if cmd == "SYST:ERR?":
                    answers.append(errors.pop(0) if errors else '0,"No error"')
                elif cmd == "SYST:STAT?":  # two lines in one packet, then the empty line
                    self.wfile.write(b"Frequency=44000\r\nInfo=Offset = 3\r\n\r\n")
                elif cmd == "MEAS:CURR?":  # a failed query answers nothing
                    errors.append('-240,"Hardware error; the board does not answer"')
                elif cmd == "FREQ 1000000000":
                    errors += ['-222,"Data out of range; 1000000000"', '-221,"Settings conflict; x"']
                elif cmd in CANNED:
                    answers.append(CANNED[cmd])
                elif cmd != "HANG?" and cmd.split(" ")[0] not in SETTABLE:
                    errors.append('-113,"Undefined header"')
            if answers:
                self.wfile.write((";".join(answers) + "\r\n").encode())


class ClientTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), FakeTavrin)
        cls.server.daemon_threads = True
        cls.server.lines = []
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        cls.server.server_close()

    def setUp(self):
        self.server.lines.clear()
        self.t = Tavrin("127.0.0.1", self.server.server_address[1], timeout=5, token='a"b')
        self.addCleanup(self.t.close)

    def test_framing_of_lines_numbers_and_strings(self):
        self.assertEqual(self.t.idn(), "Corvex,Tavrin,0,1.0")
        self.assertEqual(self.t.frequency, 44000)
        self.assertEqual(self.t.voltage, 1.3)
        self.t.frequency = 44000.0
        self.t.output = True
        self.assertEqual(self.t.log_file, 'C:\\a;b "x".txt')  # a ';' inside quotes is no separator
        self.assertEqual(self.t.query("FREQ?"), "44000")
        self.assertEqual(self.t.sweep(40000, 40500, 500, 20), [(40000, 10), (40500, 12.5)])
        self.assertEqual(self.server.lines[:8], [
            b'SYST:AUTH "a""b";:SYST:ERR?\n', b"*IDN?;:SYST:ERR?\n", b"FREQ?;:SYST:ERR?\n",
            b"VOLT?;:SYST:ERR?\n", b"FREQ 44000;:SYST:ERR?\n", b"OUTP ON;:SYST:ERR?\n",
            b"LOG:FILE?;:SYST:ERR?\n", b"FREQ?\n"])
        self.assertEqual(self.server.lines[11:15], [b"SWE:DWEL 20;:SYST:ERR?\n", b"INIT:SWE;:SYST:ERR?\n",
                                                    b"*OPC?\n", b"SYST:ERR?\n"])

    def test_nothing_is_sent_that_was_not_meant(self):
        with self.assertRaises(ValueError):
            self.t.output = "OFF"  # a true string: must not start the motor
        with self.assertRaises(ValueError):
            self.t.write("FREQ 1\nSYST:EXIT")
        with self.assertRaises(ValueError):
            self.t.direction = "FORW;SYST:EXIT"
        self.assertEqual(len(self.server.lines), 1)  # only the authentication

    def test_state_dump_then_the_next_answer(self):
        self.assertEqual(self.t.query_state(), {"Frequency": "44000", "Info": "Offset = 3"})
        self.assertEqual(self.t.idn(), "Corvex,Tavrin,0,1.0")

    def test_errors_become_exceptions_and_empty_the_queue(self):
        with self.assertRaises(TavrinError) as e:
            self.t.frequency = 1e9
        self.assertEqual((e.exception.code, e.exception.message, e.exception.command),
                         (-222, "Data out of range; 1000000000", "FREQ 1000000000"))
        self.t.check_errors()  # the second error went with the first
        with self.assertRaises(TavrinError) as e:  # a failed query: the error, not a timeout
            self.t.measure_current()
        self.assertEqual(e.exception.code, -240)
        self.t.write("BOGUS")
        with self.assertRaises(TavrinError) as e:
            self.t.check_errors()
        self.assertEqual((e.exception.code, e.exception.command), (-113, "BOGUS"))

    def test_a_timeout_closes_the_connection(self):
        with self.assertRaises(TimeoutError):
            self.t.query("HANG?", timeout=0.2)
        with self.assertRaises(ConnectionError):  # a late answer can never be misread
            self.t.idn()

    @unittest.skipIf(TavrinDrive is None, "PyMeasure or PyVISA is not installed")
    def test_pymeasure_drive_over_pyvisa_py(self):
        drive = TavrinDrive(f"TCPIP::127.0.0.1::{self.server.server_address[1]}::SOCKET")
        self.addCleanup(drive.adapter.connection.close)
        self.assertEqual((drive.frequency, drive.voltage), (44000, 1.3))
        drive.output = True
        self.assertEqual(drive.sweep(40000, 40500, 500, 20), [(40000, 10), (40500, 12.5)])
        self.assertRaisesRegex(TavrinError, "-222", setattr, drive, "frequency", 1e9)
        self.assertRaisesRegex(TavrinError, "-240", getattr, drive, "current")  # not a VISA timeout
        self.assertIn(b"OUTP 1\n", self.server.lines)


if __name__ == "__main__":
    unittest.main()
