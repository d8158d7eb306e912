#!/usr/bin/env python3
"""Every string of the Big List of Naughty Strings, as the command and as the
on/off value of charging and adapter: each run prints exactly one valid JSON
line that the schema accepts, echoes the command, exits 1, and writes nothing
on standard error. smc-emu must answer byte for byte alike and leave its trace
empty: no argument error may reach the driver. A few commands that are not
UTF-8 must come back repaired as Python's own decoder repairs them.

    naughty_strings_test.py --charge BIN --emu BIN --schema FILE --strings blns.json
"""

import argparse
import json
import pathlib
import subprocess
import sys
import tempfile

import jsonschema


def run(argv):
    done = subprocess.run(argv, capture_output=True, timeout=10)
    return done.stdout, done.stderr, done.returncode


def problems(plain, emulated, traced, command, validator):
    out, err, status = plain
    try:
        text = out.decode("utf-8")
        line = json.loads(text)
        return [what for what, wrong in [
            ("not exactly one line", text.count("\n") != 1 or not text.endswith("\n")),
            (f"exit status {status}, ok {line.get('ok')}", status != 1 or line.get("ok") is not False),
            (f"command {line.get('command')!r}", line.get("command") != command),
            (f"standard error {err!r}", err != b""),
            ("the schema refuses the line", not validator.is_valid(line)),
            (f"smc-emu answers {emulated!r}", emulated != plain),
            (f"the driver was reached: {traced!r}", traced != ""),
        ] if wrong]
    except (ValueError, AttributeError) as e:  # not UTF-8, not JSON, not an object
        return [f"not one valid JSON line ({e})"]


def main():
    parser = argparse.ArgumentParser()
    for name in ("charge", "emu", "schema", "strings"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    validator = jsonschema.Draft202012Validator(json.loads(pathlib.Path(args.schema).read_text()))
    strings = json.loads(pathlib.Path(args.strings).read_text(encoding="utf-8"))
    trace = pathlib.Path(tempfile.mkdtemp(), "trace")

    # Bytes that are not UTF-8, as the command: echoed with each ill-formed
    # sequence replaced exactly as Python's own decoder replaces it.
    ill_formed = [b"\xff", b"a\xc3", b"\xc0\xaf", b"\xe0\x80\x80", b"\xed\xa0\x80",
                  b"\xf4\x90\x80\x80", b"\xe2\x82\xe2\x82\xac", b"\xf0\x9f\x94a"]
    cases = [([b], b.decode("utf-8", "replace")) for b in ill_formed]
    # An argument cannot hold a NUL byte; none of the list's strings do.
    for s in strings:
        cases += [([s], s), (["charging", s], "charging"), (["adapter", s], "adapter")]

    failures = []
    for words, command in cases:
        plain, emulated = run([args.charge] + words), run([args.emu, "--trace", str(trace), "--"] + words)
        traced = trace.read_text() if trace.exists() else "no trace"
        trace.unlink(missing_ok=True)
        failures += [f"{words!r}: {p}" for p in problems(plain, emulated, traced, command, validator)]
    for failure in failures[:20]:
        print(failure)
    print(f"{len(cases)} argument vectors through both binaries, {len(failures)} problems")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
