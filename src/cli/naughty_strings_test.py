#!/usr/bin/env python3
"""Every string of the Big List of Naughty Strings, as the command and as the
on/off value of charging and adapter: each run prints exactly one valid JSON
line that the schema accepts, echoes the command written byte for byte as
Python's own JSON encoder writes it, exits 1, and writes nothing on standard
error. smc-emu must answer byte for byte alike and leave its trace empty: no
argument error may reach the driver. Commands at the edges of UTF-8, and
every control character, must come back as Python's own decoder reads them.

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
    echo = json.dumps(command, ensure_ascii=False)
    try:
        text = out.decode("utf-8")
        line = json.loads(text)
        return [what for what, wrong in [
            ("not exactly one line", text.count("\n") != 1 or not text.endswith("\n")),
            (f"exit status {status}, ok {line.get('ok')}", status != 1 or line.get("ok") is not False),
            (f"command {line.get('command')!r}", line.get("command") != command),
            # Python escapes exactly what the line escapes, in the same forms.
            ("command not escaped as JSON writes it", '"command":' + echo + "," not in text),
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

    # Commands at each edge of UTF-8's table, well-formed or not: echoed with
    # each ill-formed sequence replaced exactly as Python's own decoder
    # replaces it. Then every control character, and DEL, in one command.
    edges = [b"\xff", b"a\xc3", b"\xc0\xaf", b"\xc1\xbf", b"\xc2\x80", b"\xdf\xbf",
             b"\xe0\x80\x80", b"\xe0\x9f\xbf", b"\xe0\xa0\x80", b"\xe0\xc0\x80",
             b"\xed\x9f\xbf", b"\xed\xa0\x80", b"\xee\x80\x80", b"\xef\xbf\xbf",
             b"\xf0\x8f\xbf\xbf", b"\xf0\x90\x80\x80", b"\xf1\x80\x80\x80",
             b"\xf3\xbf\xbf\xbf", b"\xf4\x8f\xbf\xbf", b"\xf4\x90\x80\x80", b"\xf5\x80",
             b"\xe2\x82\xe2\x82\xac", b"\xf0\x9f\x94a", bytes(range(1, 32)) + b"\x7f"]
    cases = [([b], b.decode("utf-8", "replace")) for b in edges]
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
