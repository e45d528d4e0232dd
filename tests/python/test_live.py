"""The Python client, PyVISA and the example against a real
`tavrin --headless --remote PORT --board sim`, PORT from TAVRIN_REMOTE_PORT
(all skipped without it). Sweeps are kept short: 44-45 kHz, 500 Hz, 10 ms."""
import csv
import os
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "python"))
from tavrin import Tavrin, TavrinError  # noqa: E402

PORT = os.environ.get("TAVRIN_REMOTE_PORT")
try:
    import pyvisa
    from tavrin.pymeasure_drive import TavrinDrive
except ImportError:  # python3-pymeasure and python3-pyvisa-py
    pyvisa = None
RESOURCE = f"TCPIP::127.0.0.1::{PORT}::SOCKET"
needs_pyvisa = unittest.skipIf(pyvisa is None, "PyMeasure or PyVISA is not installed")


@unittest.skipUnless(PORT, "TAVRIN_REMOTE_PORT is not set")
class LiveTest(unittest.TestCase):
    def test_plain_client(self):
        with Tavrin("127.0.0.1", int(PORT)) as t:
            self.assertRegex(t.idn(), r"^Corvex,Tavrin,[^,]+,[^,]+$")
            t.frequency = 44000
            self.assertEqual(t.frequency, 44000)
            self.assertEqual(t.query_state().get("txtFrekvens_DDS1.text"), "44000")
            self.assertTrue(t.idn().startswith("Corvex,"))  # in step after the dump
            before = t.direction
            with self.assertRaises(TavrinError):
                t.direction = "SIDEWAYS"
            self.assertEqual(t.direction, before)
            t.write("NOSUCH:HEADER")
            with self.assertRaises(TavrinError) as e:
                t.check_errors()
            self.assertEqual(e.exception.code, -113)

    def test_sweep_data_then_tracking_started_and_stopped(self):
        with Tavrin("127.0.0.1", int(PORT)) as t:
            data = t.sweep(43600, 44600, 100, 20)
            self.assertEqual([hz for hz, _ in data], list(range(43600, 44601, 100)))
            self.assertEqual(max(data, key=lambda r: r[1])[0], 44100)  # the simulated board's peak
            self.assertAlmostEqual(t.peak(), 44100, delta=50)
            t.frequency = 44000
            t.output = True  # tracking a running motor: no sweep of its own first
            t.tracking = True
            time.sleep(1)  # a few passes (not a duration check)
            self.assertTrue(t.tracking)
            t.tracking = False
            t.opc()  # the pass under way ends first
            self.assertFalse(t.tracking)
            self.assertTrue(t.output)  # a stop leaves the motor running
            self.assertGreater(t.frequency, 44000)  # it moved towards the peak
            t.output = False
            self.assertFalse(t.output)

    @needs_pyvisa
    def test_idn_through_pyvisa(self):
        rm = pyvisa.ResourceManager("@py")
        inst = rm.open_resource(RESOURCE, read_termination="\n", write_termination="\n", timeout=10000)
        try:
            self.assertTrue(inst.query("*IDN?").startswith("Corvex,Tavrin,"))
        finally:
            inst.close()

    @needs_pyvisa
    def test_sweep_through_pymeasure(self):
        drive = TavrinDrive(RESOURCE)
        try:
            data = drive.sweep(44000, 45000, 500, 10)
            self.assertEqual([hz for hz, _ in data], [44000, 44500, 45000])
            self.assertIn(drive.direction, ("FORW", "REV"))
        finally:
            drive.adapter.connection.close()

    def test_example_writes_its_csv(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "sweep.csv")
            run = subprocess.run(
                [sys.executable, os.path.join(HERE, "..", "..", "examples", "remote_sweep.py"), "127.0.0.1", PORT,
                 path, "--volts", "2", "3.5", "--start", "44000", "--stop", "45000", "--step", "500",
                 "--dwell", "10"], capture_output=True, text=True, timeout=120)
            self.assertEqual(run.returncode, 0, run.stderr)
            with open(path, newline="") as f:
                rows = list(csv.reader(f))
            self.assertEqual(rows[0], ["volts", "hz", "mA"])
            self.assertEqual([r[1] for r in rows[1:]], ["44000", "44500", "45000"] * 2)
            self.assertEqual(run.stdout.count(" V: peak "), 2)
            self.assertFalse(os.path.exists(path + ".part"))


if __name__ == "__main__":
    unittest.main()
