"""A client for Tavrin's remote control: SCPI lines over TCP, standard library only.

    with Tavrin("localhost", 5025) as t:
        t.voltage = 3.5
        for hz, ma in t.sweep(40000, 50000, 500, 50):
            print(hz, ma)

The high-level methods raise TavrinError with the SCPI error when Tavrin
refuses a command; write() and query() are raw: after them, check_errors().
"""
from __future__ import annotations

import socket
import time

__all__ = ["Tavrin", "TavrinError"]


class TavrinError(Exception):
    """An error from Tavrin's error queue: code, message and the command that showed it."""

    def __init__(self, code: int, message: str, command: str = ""):
        super().__init__(f'{command}: {code},"{message}"' if command else f'{code},"{message}"')
        self.code, self.message, self.command = code, message, command


def split_answers(line: str) -> list[str]:
    """Splits an answer line at the ';' that stand outside quoted strings."""
    fields, start, quoted = [], 0, False
    for i, c in enumerate(line):
        if c == '"':
            quoted = not quoted
        elif c == ";" and not quoted:
            fields.append(line[start:i])
            start = i + 1
    fields.append(line[start:])
    return fields


def unquote(text: str) -> str:
    """The contents of a quoted string as Tavrin answers it (a doubled quote stands for one)."""
    text = text.strip()
    if len(text) >= 2 and text[0] == text[-1] == '"':
        return text[1:-1].replace('""', '"')
    return text


def quote(text: str) -> str:
    return '"' + str(text).replace('"', '""') + '"'


def parse_error(answer: str) -> tuple[int, str]:
    """'-221,"Settings conflict; ..."' -> (-221, 'Settings conflict; ...')."""
    code, _, message = answer.partition(",")
    try:
        return int(code), unquote(message)
    except ValueError:
        raise ValueError(f"not an error queue answer from Tavrin: {answer!r}") from None


def first_error(ask, command: str = "") -> TavrinError | None:
    """Empties the error queue through ask(query) -> answer line; its first error, if any."""
    first = None
    for _ in range(21):  # the queue holds at most 20
        code, message = parse_error(ask("SYST:ERR?").strip())
        if code == 0:
            break
        first = first or TavrinError(code, message, command)
    return first


def number(text: str) -> int | float:
    """A number as Tavrin answers it: int when whole ("44000"), float otherwise ("1.3")."""
    try:
        return int(text)
    except ValueError:
        try:
            return float(text)
        except ValueError:
            raise ValueError(f"not a number in Tavrin's answer: {text!r}") from None


def sweep_timeout(start: float, stop: float, step: float, dwell_ms: float) -> float:
    """Seconds a sweep may take, twice over: the offset reading, then per reading its
    dwell, the request's 50 ms and some room for a busy machine."""
    readings = int(abs(float(stop) - float(start)) // (abs(float(step)) or 1)) + 2
    return 2 * (0.6 + readings * (float(dwell_ms) + 100) / 1000)


def format_number(value) -> str:
    """A number as a box would be typed: 44000, not 44000.0."""
    value = float(value)
    return str(int(value)) if value.is_integer() else repr(value)


def _flag(value) -> str:
    if value not in (True, False):  # "OFF" is a true string: refuse it rather than start the motor
        raise ValueError(f"ON/OFF takes True or False, not {value!r}")
    return "ON" if value else "OFF"


def _word(value) -> str:
    if not str(value).isalpha():
        raise ValueError(f"not a word: {value!r}")
    return str(value)


_READ = {"number": number, "flag": lambda a: a == "1", "word": str, "string": unquote}
_TYPE = {"number": format_number, "flag": _flag, "word": _word, "string": quote}


def _setting(header: str, kind: str, doc: str = ""):
    """A property over `HEADER?` and `HEADER value`; kind: number, flag, word or string."""
    return property(lambda self: _READ[kind](self._call(header + "?")),
                    lambda self, value: self._call(f"{header} {_TYPE[kind](value)}"), doc=doc)


class Tavrin:
    """One connection to `tavrin --remote PORT`."""

    def __init__(self, host="localhost", port=5025, timeout=10.0, token=None):
        self.timeout = timeout
        self._buffer = bytearray()
        self._command = ""  # the last command sent on the caller's behalf, for errors
        self._sock = socket.create_connection((host, port), timeout=timeout)
        self._sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        if token is not None:
            try:
                self._call(f"SYST:AUTH {quote(token)}")
            except BaseException:
                self.close()
                raise

    # -- lines ------------------------------------------------------------------------
    def _send(self, line: str) -> None:
        if "\n" in line or "\r" in line:
            raise ValueError(f"a command is one line: {line!r}")
        if self._sock is None:
            raise ConnectionError("not connected to Tavrin (closed, or closed after a timeout)")
        self._sock.sendall(line.encode() + b"\n")

    def _read_line(self, timeout: float | None = None) -> str:
        """One answer line without its CR LF. A timeout closes the connection: a late
        answer would otherwise be taken for the next query's."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        while (end := self._buffer.find(b"\n")) < 0:
            if self._sock is None:
                raise ConnectionError("not connected to Tavrin")
            try:
                self._sock.settimeout(max(deadline - time.monotonic(), 0.001))
                data = self._sock.recv(65536)
            except socket.timeout:  # TimeoutError from 3.10 on
                self.close()
                raise TimeoutError(f"no answer from Tavrin to {self._command!r}; connection closed") from None
            if not data:
                self.close()
                raise ConnectionError(f"Tavrin closed the connection (after {self._command!r})")
            self._buffer += data
        line = bytes(self._buffer[:end])
        del self._buffer[: end + 1]
        return line.decode("utf-8", "replace").rstrip("\r")

    def write(self, cmd: str) -> None:
        """Sends one command line; Tavrin answers nothing to a command."""
        self._send(cmd)
        self._command = cmd

    def query(self, cmd: str, timeout: float | None = None) -> str:
        """Sends a query and reads its answer line. A query Tavrin refuses answers
        nothing: this then times out (the high-level methods do not wait so)."""
        self.write(cmd)
        return self._read_line(timeout)

    def _ask(self, query: str) -> str:
        self._send(query)
        return self._read_line()

    def check_errors(self) -> None:
        """Empties the error queue; raises its first error as TavrinError."""
        error = first_error(self._ask, self._command)
        if error:
            raise error

    def _call(self, cmd: str) -> str | None:
        """Runs a command or a query with the error query on the same line, so that a
        refused query answers at once. Returns the query's answer (None for a command)."""
        self._command = cmd
        *answers, error = split_answers(self._ask(f"{cmd};:SYST:ERR?"))
        code, message = parse_error(error)
        if code != 0:
            first_error(self._ask)  # the rest of the queue goes with this one
            raise TavrinError(code, message, cmd)
        return answers[0] if answers else None

    # -- common -----------------------------------------------------------------------
    def idn(self) -> str:
        return self._call("*IDN?")

    def opc(self, timeout: float | None = None) -> bool:
        """Waits until every operation started has ended (sweep, sequence, tracking stop)."""
        done = self.query("*OPC?", timeout) == "1"
        self.check_errors()
        return done

    def query_state(self) -> dict[str, str]:
        """The state dump (SYSTem:STATe?) as {name: value}."""
        self.write("SYST:STAT?")
        lines = []
        while line := self._read_line():
            lines.append(line)
        self.check_errors()
        odd = [line for line in lines if "=" not in line]
        if odd:
            raise ValueError(f"not a name=value line in Tavrin's state dump: {odd[0]!r}")
        return dict(line.split("=", 1) for line in lines)

    def exit(self) -> None:
        """Ends Tavrin as closing its window does, and this connection."""
        self.write("SYST:EXIT")
        self.close()

    def close(self) -> None:
        if self._sock is not None:
            self._sock.close()
            self._sock = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # -- the window's controls --------------------------------------------------------
    frequency = _setting("FREQ", "number", "The frequency box, Hz (set: committed as Enter; the motor not started).")
    phase = _setting("PHAS", "number", "The phase box, degrees.")
    voltage = _setting("VOLT", "number", "The supply, volts.")
    output = _setting("OUTP", "flag", "The motor running (True) or stopped.")
    direction = _setting("DIR", "word", '"FORW" or "REV"; set FORWard/REVerse in any case.')
    tracking = _setting("TRAC", "flag", '"Track Freq" (True) or "Track Stop".')
    tracking_step = _setting("TRAC:STEP", "number", "The tracking step box, Hz.")
    log = _setting("LOG", "flag", '"Log current" ticked.')
    log_file = _setting("LOG:FILE", "string", r'The log file box: "C:\stator-1.txt".')
    sequence_file = _setting("SEQ:FILE", "string", "The sequence file box.")
    sequence_count = _setting("SEQ:COUN", "number", "The sequence count box.")
    sequence_steptime = _setting("SEQ:STEP", "number", "The sequence step time box, ms.")

    def sequence_start(self) -> None:
        """"Sequence Start"; returns at once (opc() waits for the end)."""
        self._call("SEQ:STAR")

    def sequence_stop(self) -> None:
        self._call("SEQ:STOP")

    def sequence_cycle(self) -> int:
        return number(self._call("SEQ:CYCL?"))

    def send(self) -> None:
        """"Send Data"."""
        self._call("SEND")

    def measure_current(self) -> int | float:
        """One new reading, mA."""
        return number(self._call("MEAS:CURR?"))

    def fetch_current(self) -> int | float:
        """The last reading, mA, with no new request."""
        return number(self._call("FETC:CURR?"))

    # -- sweep ------------------------------------------------------------------------
    def sweep(self, start, stop, step, dwell_ms, wait=True) -> list[tuple] | None:
        """Sets the sweep boxes and starts the sweep; with wait, waits for its end
        and returns its readings [(Hz, mA), ...]."""
        for box, value in (("STAR", start), ("STOP", stop), ("STEP", step), ("DWEL", dwell_ms)):
            self._call(f"SWE:{box} {format_number(value)}")
        self._call("INIT:SWE")
        if not wait:
            return None
        self.opc(self.timeout + sweep_timeout(start, stop, step, dwell_ms))
        return self.sweep_data()

    def sweep_data(self) -> list[tuple]:
        """Every reading of the last sweep, [(Hz, mA), ...]."""
        values = [number(v) for v in self._call("SWE:DATA?").split(",") if v.strip()]
        if len(values) % 2:
            raise ValueError(f"SWE:DATA? gave {len(values)} numbers, not Hz,mA pairs")
        return list(zip(values[0::2], values[1::2]))

    def sweep_result(self) -> tuple:
        """(max mA, its Hz) of the last sweep."""
        ma, hz = (number(v) for v in self._call("SWE:RES?").split(","))
        return ma, hz

    def peak(self) -> int | float:
        """The resonance frequency, Hz; TavrinError says why when it cannot be measured."""
        return number(self._call("SWE:PEAK?"))

    def width(self) -> int | float:
        return number(self._call("SWE:WIDT?"))

    def q(self) -> int | float:
        return number(self._call("SWE:Q?"))
