"""A client drives a real `tavrin --headless --remote 0 --board sim` in real
time: a sweep, its data read back, tracking started and stopped, the motor
stopped, SYSTem:EXIT. Its link trace must equal the trace of the same actions
as an operator script in virtual time (tavrin-tracediff: every call and byte,
times within a tolerance).

    trace_test.py TAVRIN TAVRIN_SCRIPT TRACEDIFF WORKDIR

A run whose trace differs runs once more, as the backends' contract test does:
on a loaded machine a reply can miss the program's 50 ms wait."""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "python"))
from tavrin import Tavrin  # noqa: E402

# (ms after the server is up, the client's line, the operator's actions). TRAC
# OFF lands 40 ms after a tracking pass has begun and 30 ms before its reading,
# so the passes counted are the same a little earlier or later.
PLAN = [
    (300, "SWE:STAR 43600;STOP 44600;STEP 250;DWEL 20",
     ["settext TxtSwpStart 43600", "settext TxtSwpStop 44600", "settext TxtSwpStep 250", "settext TxtSteptime 20"]),
    (400, "INIT:SWE", ["click CmdSwpStart"]),
    (1500, "FREQ 44000;:OUTP ON", ["settext txtFrekvens_DDS1 44000", "enter txtFrekvens_DDS1", "click cmdStartMotor"]),
    (1700, "TRAC ON", ["click Tracking"]),
    (2510, "TRAC OFF", ["click Tracking"]),
    (3000, "OUTP OFF", ["click cmdStartMotor"]),
    (3300, "SYST:EXIT", ["close"]),
]
LATE_MS = 30  # a line sent later than this is not the plan's: the run is redone


class Unusable(Exception):
    """The machine did not keep to the plan; not a fault of the program."""


def server_port(err_path, proc):
    deadline = time.monotonic() + 20
    while time.monotonic() < deadline:
        with open(err_path) as f:
            for line in f:
                if line.startswith("tavrin: remote control on 127.0.0.1:"):
                    return int(line.split(":")[2].split()[0])
        if proc.poll() is not None:
            break
        time.sleep(0.002)
    with open(err_path) as f:
        raise AssertionError(f"no remote control: {f.read()}")


def drive(port, start):
    """The client's side; AssertionError on a wrong answer."""
    with Tavrin("127.0.0.1", port) as t:
        for at_ms, line, _ in PLAN:
            late = (time.monotonic() - start) * 1000 - at_ms
            if late > LATE_MS:
                raise Unusable(f"{line!r} was due at {at_ms} ms and is {late:.0f} ms late")
            time.sleep(max(-late, 0) / 1000)
            t.write(line)
            if line == "INIT:SWE":
                assert t.query("*OPC?") == "1"
                data = t.sweep_data()
                assert [hz for hz, _ in data] == [43600, 43850, 44100, 44350, 44600], data
                assert max(data, key=lambda r: r[1])[0] == 44100, data  # the simulated board's peak
            elif line == "TRAC OFF":
                assert t.query("*OPC?") == "1"
                assert t.query("TRAC?;:SYST:ERR?") == '0;0,"No error"'


def attempt(tavrin, script_runner, tracediff, work):
    """None when the traces match, else what differed."""
    os.makedirs(work)
    script = os.path.join(work, "operator.script")
    with open(script, "w") as f:
        f.writelines(f"{at_ms} {action}\n" for at_ms, _, actions in PLAN for action in actions)
    err = os.path.join(work, "tavrin.err")
    with open(err, "w") as err_file:
        proc = subprocess.Popen([tavrin, "--headless", "--remote", "0", "--board", "sim", "--no-config",
                                 "--drive-root", os.path.join(work, "remote"), "--trace",
                                 os.path.join(work, "remote.trace")],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=err_file)
    try:
        port = server_port(err, proc)
        drive(port, time.monotonic())
        status = proc.wait(timeout=20)
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
    if status != 0:
        with open(err) as f:
            raise AssertionError(f"status {status} after SYSTem:EXIT: {f.read()}")
    virtual = subprocess.run([script_runner, "--board", "sim", "--no-config", "--drive-root",
                              os.path.join(work, "virtual"), "--trace", os.path.join(work, "virtual.trace"),
                              "--script", script], capture_output=True, text=True, timeout=60)
    if virtual.returncode != 0:
        raise AssertionError(f"the operator script ended with status {virtual.returncode}: {virtual.stderr}")
    diff = subprocess.run([tracediff, "--tolerance", "80", os.path.join(work, "remote.trace"),
                           os.path.join(work, "virtual.trace")], capture_output=True, text=True, timeout=60)
    if diff.returncode == 2:
        raise AssertionError(f"tavrin-tracediff: {diff.stderr}")
    return None if diff.returncode == 0 else diff.stdout.strip()


def main():
    tavrin, script_runner, tracediff, work = sys.argv[1:5]
    subprocess.run(["rm", "-rf", work], check=True)
    why = ""
    for n in (1, 2):
        try:
            why = attempt(tavrin, script_runner, tracediff, os.path.join(work, f"run{n}"))
        except Unusable as e:
            why = f"unusable run: {e}"
        if why is None:
            print(f"the client's trace equals the operator script's{' (second run)' if n == 2 else ''}")
            return 0
        print(f"run {n}: {why}")
    print("FAIL: the client's trace differs from the operator script's")
    return 1


if __name__ == "__main__":
    sys.exit(main())
