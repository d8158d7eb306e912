#!/usr/bin/env python3
"""Every string of the Big List of Naughty Strings, as the command and as the
on/off value of charging and adapter: each run prints exactly one valid JSON
line that the schema accepts, echoes the command, exits 1, and writes nothing
on standard error. Through smc-emu the trace must stay empty as well: no
argument error may reach the driver.

    naughty_strings_test.py --charge BIN --emu BIN --schema FILE --strings blns.json
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile

import jsonschema


def run(argv):
    done = subprocess.run(argv, capture_output=True, timeout=10)
    return done.stdout, done.stderr, done.returncode


def main():
    parser = argparse.ArgumentParser()
    for name in ("charge", "emu", "schema", "strings"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    validator = jsonschema.Draft202012Validator(json.load(open(args.schema)))
    strings = json.load(open(args.strings, encoding="utf-8"))
    trace = os.path.join(tempfile.mkdtemp(), "trace")

    failures = []
    runs = 0
    for s in strings:
        # An argument cannot hold a NUL byte; none of the list's strings do.
        for words, expected in (([s], s), (["charging", s], "charging"), (["adapter", s], "adapter")):
            for helper in ([args.charge], [args.emu, "--trace", trace, "--"]):
                runs += 1
                out, err, status = run(helper + words)
                problem = None
                try:
                    text = out.decode("utf-8")
                    line = json.loads(text)
                except (UnicodeDecodeError, ValueError) as e:
                    problem = f"not one valid JSON line ({e})"
                if problem is None:
                    if not text.endswith("\n") or text.count("\n") != 1:
                        problem = "not exactly one line"
                    elif status != 1 or line.get("ok") is not False:
                        problem = f"exit status {status}, ok {line.get('ok')}"
                    elif line.get("command") != expected:
                        problem = f"command {line.get('command')!r}"
                    elif err:
                        problem = f"standard error {err!r}"
                    elif not validator.is_valid(line):
                        problem = "the schema refuses the line"
                    elif os.path.exists(trace) and os.path.getsize(trace) > 0:
                        problem = "the driver was reached: " + open(trace).read()
                if problem:
                    failures.append(f"{helper[0]} {words!r}: {problem}")
    for failure in failures[:20]:
        print(failure)
    print(f"{runs - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
