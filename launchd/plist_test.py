#!/usr/bin/env python3
"""The LaunchDaemon list: the members that launchd reads, nothing that an
installer must set already set, and arguments that HELPER, built with no Mac
attached (no battery), runs as a holder that a SIGTERM stops.

  plist_test.py --plist FILE --helper HELPER"""

import argparse
import plistlib
import signal
import subprocess
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--plist", required=True)
parser.add_argument("--helper", required=True)
args = parser.parse_args()

with open(args.plist, "rb") as file:
    plist = plistlib.load(file, fmt=plistlib.FMT_XML)

# Each member with its type: a boolean is not an integer to launchd, though
# python's True == 1. The installer's placeholders are no full path and no
# bundle identifier, so that a list installed as it is runs nothing.
unset = "SET-BY-THE-INSTALLER"
expected = [("AssociatedBundleIdentifiers", list, [unset]), ("KeepAlive", bool, True), ("Label", str, "smc-charge.hold"),
            ("ProgramArguments", list, [unset, "hold-daemon", "75", "80"]), ("RunAtLoad", bool, True),
            ("StandardErrorPath", str, "/Library/Logs/smc-charge.hold.log"),
            ("StandardOutPath", str, "/Library/Logs/smc-charge.hold.log")]
found = sorted((key, type(value), value) for key, value in plist.items())
failures = [] if found == expected else [f"members {found}, not {expected}"]

holder = subprocess.Popen([args.helper, *plist["ProgramArguments"][1:]], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
start = holder.stdout.readline()
holder.send_signal(signal.SIGTERM)
stop, error = holder.communicate(timeout=30)
lines = [b'{"ok":false,"command":"hold-daemon","event":"start","code":"BATTERY_UNAVAILABLE",'
         b'"error":"unable to read the battery","writes":{}}\n',
         b'{"ok":true,"command":"hold-daemon","event":"stop","writes":{}}\n']
if ([start, stop], error, holder.returncode) != (lines, b"", 0):
    failures.append(f"the helper runs the arguments as {start + stop!r}, {error!r}, status {holder.returncode}")

for failure in failures:
    print(f"{args.plist}: {failure}", file=sys.stderr)
sys.exit(1 if failures else 0)
