"""Tavrin as a PyMeasure instrument (PyMeasure 0.9, PyVISA with the pyvisa-py backend).

    from tavrin.pymeasure_drive import TavrinDrive
    drive = TavrinDrive("TCPIP::127.0.0.1::5025::SOCKET")
    drive.frequency = 44000
    print(drive.current, drive.sweep(40000, 50000, 500, 50))

Only this module needs PyMeasure; `tavrin` itself needs nothing but Python.
"""
from pymeasure.instruments import Instrument
from pymeasure.instruments.validators import strict_discrete_set

from tavrin import TavrinError, first_error, format_number, parse_error, split_answers, sweep_timeout


class TavrinDrive(Instrument):
    """Tavrin's remote control: the window's drive controls, the current and the sweep.
    A refused command or query raises TavrinError with the SCPI error."""

    frequency = Instrument.control(
        "FREQ?", "FREQ %s", "The frequency box, Hz (set: committed as Enter; the motor not started).",
        set_process=format_number, check_set_errors=True)
    phase = Instrument.control("PHAS?", "PHAS %s", "The phase box, degrees.",
                               set_process=format_number, check_set_errors=True)
    voltage = Instrument.control("VOLT?", "VOLT %s", "The supply, volts.",
                                 set_process=format_number, check_set_errors=True)
    output = Instrument.control(
        "OUTP?", "OUTP %d", "The motor running (True) or stopped (False).",
        validator=strict_discrete_set, values={True: 1, False: 0}, map_values=True, check_set_errors=True)
    direction = Instrument.control(
        "DIR?", "DIR %s", '"FORW" or "REV".',
        validator=strict_discrete_set, values=("FORW", "REV"), check_set_errors=True)
    current = Instrument.measurement("MEAS:CURR?", "One new current reading, mA.")

    def __init__(self, adapter="TCPIP::127.0.0.1::5025::SOCKET", **kwargs):
        # A raw socket resource ends its answers with LF; VISA counts its timeout in ms.
        for key, value in (("visa_library", "@py"), ("read_termination", "\n"),
                           ("write_termination", "\n"), ("timeout", 10000)):
            kwargs.setdefault(key, value)
        self._last = ""
        super().__init__(adapter, "Tavrin", includeSCPI=True, **kwargs)

    def write(self, command):
        self._last = command
        super().write(command)

    def values(self, command, separator=",", cast=float, **kwargs):
        """Asks the query with the error query on the same line, so that a refused query
        raises its SCPI error at once instead of a VISA timeout."""
        *answers, error = split_answers(self.ask(f"{command};:SYST:ERR?").strip())
        code, message = parse_error(error)
        if code != 0:
            first_error(self.ask)  # the rest of the queue goes with this one
            raise TavrinError(code, message, command)
        results = []
        for text in answers[0].split(separator) if answers and answers[0] else []:
            try:
                results.append(cast(text))
            except ValueError:
                results.append(text.strip())  # as PyMeasure does: a word stays a string
        return results

    def check_errors(self):
        """Empties the error queue; raises its first error as TavrinError."""
        error = first_error(self.ask, self._last)
        if error:
            raise error

    def sweep(self, start, stop, step, dwell_ms):
        """Sets the sweep boxes, runs the sweep and returns its readings [(Hz, mA), ...]."""
        for box, value in (("STAR", start), ("STOP", stop), ("STEP", step), ("DWEL", dwell_ms)):
            self.write(f"SWE:{box} {format_number(value)}")
            self.check_errors()
        self.write("INIT:SWE")
        self.check_errors()
        connection = self.adapter.connection  # a VISA resource: its timeout in ms, None for none
        usual = connection.timeout
        if usual is not None:
            connection.timeout = usual + 1000 * sweep_timeout(start, stop, step, dwell_ms)
        try:
            self.ask("*OPC?")
        finally:
            connection.timeout = usual
        self.check_errors()
        data = self.values("SWE:DATA?")
        return list(zip(data[0::2], data[1::2]))
