#!/usr/bin/env python3
"""Sweeps the drive frequency at several supply voltages through Tavrin's remote
control and writes every reading to one CSV file (volts,hz,mA).

    tavrin --headless --remote 5025 --board sim &
    python3 examples/remote_sweep.py [HOST] [PORT] [CSV] [--volts 2 3.5 5] ...

Prints each sweep's peak. The readings go to CSV.part first, which becomes CSV
once every sweep has ended: an earlier CSV is never lost to a failed run. Exits
1 on any error (CSV.part then keeps the sweeps finished before it), 2 on a bad
command line, a token file that cannot be read or a CSV that cannot be written.
"""
import argparse
import csv
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "python"))
from tavrin import Tavrin, TavrinError  # noqa: E402


def main(argv=None) -> int:
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("host", nargs="?", default="localhost", help="(default %(default)s)")
    p.add_argument("port", nargs="?", type=int, default=5025, help="(default %(default)s)")
    p.add_argument("csv", nargs="?", default="remote_sweep.csv", help="the CSV to write (default %(default)s)")
    p.add_argument("--volts", type=float, nargs="+", default=[2.0, 3.5, 5.0], help="supply voltages, V (default 2 3.5 5)")
    p.add_argument("--start", type=float, default=40000, help="Hz (default %(default)g)")
    p.add_argument("--stop", type=float, default=50000, help="Hz (default %(default)g)")
    p.add_argument("--step", type=float, default=500, help="Hz (default %(default)g)")
    p.add_argument("--dwell", type=float, default=50, help="ms at each step (default %(default)g)")
    p.add_argument("--token-file", help="the token for a Tavrin started with --remote-token-file")
    p.add_argument("--timeout", type=float, default=10.0, help="seconds to wait for an answer")
    args = p.parse_args(argv)

    try:
        token = read_token(args.token_file)
    except OSError as e:
        print(f"remote_sweep: cannot read {args.token_file}: {e.strerror}", file=sys.stderr)
        return 2
    part = args.csv + ".part"
    try:  # before anything goes to the board: a CSV that cannot be written stops here
        out = open(part, "w", newline="")
    except OSError as e:
        print(f"remote_sweep: cannot write {part}: {e.strerror}", file=sys.stderr)
        return 2
    done = 0
    try:
        with out, Tavrin(args.host, args.port, args.timeout, token=token) as t:
            rows = csv.writer(out, lineterminator="\n")
            rows.writerow(["volts", "hz", "mA"])
            for volts in args.volts:
                t.voltage = volts
                volts = t.voltage  # as Tavrin holds it
                readings = t.sweep(args.start, args.stop, args.step, args.dwell)
                rows.writerows((volts, hz, ma) for hz, ma in readings)
                out.flush()
                done += 1
                ma, hz = t.sweep_result()
                print(f"{volts} V: peak {ma} mA at {hz} Hz ({len(readings)} readings)")
        os.replace(part, args.csv)
    except (TavrinError, OSError, ValueError) as e:  # OSError: refused, closed, timed out
        kept = f"; the {done} sweep(s) finished are in {part}" if done else ""
        if not done:
            os.remove(part)
        print(f"remote_sweep: {args.host}:{args.port}: {e}{kept}", file=sys.stderr)
        return 1
    print(f"wrote {args.csv}")
    return 0


def read_token(path):
    if path is None:
        return None
    with open(path, encoding="utf-8") as f:
        return f.read().strip()


if __name__ == "__main__":
    sys.exit(main())
