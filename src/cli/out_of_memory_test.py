#!/usr/bin/env python3
"""smc-emu built with a failing operator new (src/testing/failing_new.cc) runs
each command with allocation N failing, then every one from N on, for each N
up to the run's last. Each run ends in one line the command may give, with
its status and nothing on standard error; or, before the helper runs, in
smc-emu's own error (status 2), swept for the first command only.

    out_of_memory_test.py EMU
"""

import itertools
import json
import os
import re
import subprocess
import sys
import tempfile

FALLBACK = b'{"ok":false,"command":"unknown","code":"ENCODE_FAILED","error":"failed to encode response"}\n'
KNOWN = ["CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "ACLC"]  # on the default machine, CH0J aside


def caps(known):
    supports = {k: k in known for k in ["CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J", "ACLC"]}
    return json.dumps({"ok": True, "command": "capabilities", "supports": supports, "arch": "arm64"},
                      separators=(",", ":")).encode() + b"\n"


# Each command with the lines some run must give, and those it may: a key
# check that runs out of memory finds no key; a write, kIOReturnError.
CASES = [
    (["capabilities"], {caps(KNOWN): 0},
     {caps(c): 0 for n in range(len(KNOWN)) for c in itertools.combinations(KNOWN, n)}),
    (["charging", "off"], {
        b'{"ok":true,"command":"charging","backend":"CHTE","value":"off"}\n': 0,
        b'{"ok":false,"command":"charging","value":"off","code":"WRITE_UNAVAILABLE",'
        b'"error":"no supported control key found"}\n': 1,
        b'{"ok":false,"command":"charging","backend":"CHTE","value":"off","code":"WRITE_FAILED",'
        b'"error":"SMC write failed: io=-536870212 smc=0"}\n': 1}, {}),
    (["charging-status"], {
        b'{"ok":true,"command":"charging-status","backend":"CHTE","status":"enabled"}\n': 0,
        b'{"ok":false,"command":"charging-status","code":"STATUS_UNAVAILABLE",'
        b'"error":"unable to determine charging status"}\n': 1}, {}),
    (["charging", "of"], {
        b'{"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"}\n': 1}, {}),
]


def main():
    failures, own = 0, 0  # own: smc-emu's allocations before the helper runs
    with tempfile.TemporaryDirectory() as folder:
        mark = os.path.join(folder, "failed")
        for case, (argv, reached, allowed) in enumerate(CASES):
            lines, seen = {**reached, **allowed, FALLBACK: 1}, set()
            for mode in ("", "+"):
                for n in itertools.count(own if case else 0):
                    env = dict(os.environ, SMC_FAIL_NEW=f"{n}{mode}", SMC_FAIL_NEW_MARK=mark)
                    run = subprocess.run(sys.argv[1:2] + argv, capture_output=True, timeout=30, env=env)
                    seen.add(run.stdout)
                    own += case == 0 and mode == "" and n == own and run.returncode == 2
                    if not (lines.get(run.stdout) == run.returncode and run.stderr == b"" or run.stdout == b""
                            and run.returncode == 2 and re.fullmatch(rb"smc-emu: [^\n]*\n", run.stderr)):
                        failures += print(f"{argv} failing allocation {n}{mode}: {run}") or 1
                    if not os.path.exists(mark):
                        break  # past the run's last allocation
                    os.unlink(mark)
            for line in (set(reached) | {FALLBACK}) - seen:
                failures += print(f"{argv}: no failing allocation gives {line!r}") or 1
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
