#!/usr/bin/env python3
"""The LaunchDaemon list as CMake configured it: the members that launchd
reads, with the values that make it run the installed helper's `hold` at
load and every minute, and arguments that the helper takes as a hold.

  plist_test.py --plist FILE --program PATH --helper HELPER

PATH is where the list says the helper is; HELPER is a built helper with no
Mac attached (no battery), which must answer the list's arguments as a hold
that could not read the battery, not as arguments it refuses."""

import argparse
import plistlib
import subprocess
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--plist", required=True)
parser.add_argument("--program", required=True)
parser.add_argument("--helper", required=True)
args = parser.parse_args()

with open(args.plist, "rb") as file:
    plist = plistlib.load(file, fmt=plistlib.FMT_XML)

# Each member with its type: a boolean is not an integer to launchd, though
# python's True == 1.
expected = [("Label", str, "smc-charge.hold"), ("ProgramArguments", list, [args.program, "hold", "75", "80"]),
            ("RunAtLoad", bool, True), ("StartInterval", int, 60)]
found = sorted((key, type(value), value) for key, value in plist.items())
failures = [] if found == expected else [f"members {found}, not {expected}"]
if not args.program.startswith("/"):
    failures.append(f"launchd needs a full path, not {args.program!r}")

run = subprocess.run([args.helper, *plist["ProgramArguments"][1:]], capture_output=True)
line = b'{"ok":false,"command":"hold","code":"BATTERY_UNAVAILABLE",' \
       b'"error":"unable to read the battery","writes":{}}\n'
if (run.returncode, run.stdout, run.stderr) != (1, line, b""):
    failures.append(f"the helper answers the arguments with {run.returncode} {run.stdout!r} {run.stderr!r}")

for failure in failures:
    print(f"{args.plist}: {failure}", file=sys.stderr)
sys.exit(1 if failures else 0)
