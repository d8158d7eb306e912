#!/usr/bin/env python3
"""End-to-end tests: the built smc-charge and smc-emu, run as processes the
way a caller runs them. Every JSON line seen is checked against the schema.

    e2e_test.py --charge BIN --emu BIN --schema FILE --version X.Y.Z [--wrap CMD] [unittest arguments]
Status 77: every test that ran was skipped, nothing was checked (ctest: skipped).
"""

import argparse
import concurrent.futures
import contextlib
import itertools
import json
import os
import re
import resource
import signal
import socket
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import jsonschema

CHARGE = EMU = VALIDATOR = VERSION = None  # VERSION: the one that the build declares (--version)
SCHEMA = AJV = None  # the schema's file; Ajv's command line (npm's @jirutka/ajv-cli), its second validator
STRINGS = FAILING_EMU = None  # the naughty strings; smc-emu whose allocations fail on demand
WRAP = []  # a command that runs each binary, such as valgrind

ALL_KEYS = ["CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J", "ACLC"]
REPORTED = ALL_KEYS + ["CHLS", "CHIB", "bfD0", "bfE0", "bfF0"]  # keys reports these too
IO_ERROR = -536870212
C = ["charging", "off"]
ACCESSES = {"?": ["open", "info {key}{end}", "close"], "<": ["open", "info {key}", "read {key}{end}", "close"],
            ">": ["open", "info {key}", "write {key}{end}", "close"]}


def calls(short):
    """The trace of a run, one word per key access over its own connection:
    ?K a check, -K a check that finds no K, <K a read, >K=HEX a write, and
    /ERR after K fails the access's last call with ERR. Any other word is a
    line of its own, with / for ' -> ' (open/io-error)."""
    lines = []
    for word in short.split():
        word = "?" + word[1:] + "/key-not-found" if word[0] == "-" else word
        end = {"/": " -> ", "=": " "}.get(word[5:6], "") + word[6:]
        lines += [l.format(key=word[1:5], end=end) for l in ACCESSES.get(word[0], [word.replace("/", " -> ")])]
    return lines


def reader_gone():  # standard output: a pipe whose reading end is closed
    r, w = os.pipe()
    os.dup2(w, 1), os.close(r), os.close(w)


onto_full = lambda: os.dup2(os.open("/dev/full", os.O_WRONLY), 1)  # standard output: a device that takes no byte


# --- The lines, members in the order the helper prints them ---------------

def line(**members):
    return json.dumps(members, separators=(",", ":"))


def caps(arch, *present):
    return line(ok=True, command="capabilities", supports={k: k in present for k in ALL_KEYS}, arch=arch)


def key_fields(key):
    """NAME:TYPE=HEX[/AA] or NAME:=HEX[/AA] (the blank type) as (name, type, hex, attribute byte)."""
    blank = key[5] == "="
    value, _, attributes = key[6 if blank else 10:].partition("/")
    return key[:4], "\0" * 4 if blank else key[5:9], value, attributes or "d4"


def state_key(key):
    name, type_, value, attributes = key_fields(key)
    return f"key {name}:{type_.strip(chr(0))}={value}/{attributes}"


def keys_line(arch, keys, refused=(), failure="key-not-found"):
    """keys on a machine with `keys` (NAME:TYPE=HEX[/AA]|...), where any other key fails with `failure`."""
    known = {f[0]: f for f in map(key_fields, filter(None, keys.split("|"))) if f[0] not in refused}
    reports = {k: dict(known=True, type=known[k][1], size=len(known[k][2]) // 2, attributes=known[k][3],
                       value=known[k][2]) if k in known
               else dict(known=False, error="not-privileged" if k in refused else failure) for k in REPORTED}
    return line(ok=True, command="keys", arch=arch, keys=reports)


def controls(backends):
    """The controls line for "STATUS CHARGING ADAPTER-STATUS ADAPTER", - where one is left out."""
    names = ["charging-status", "charging", "adapter-status", "adapter"]
    return line(ok=True, command="controls",
                controls={n: b for n, b in zip(names, backends.split()) if b != "-"})


def status(backend, word, command="charging-status"):
    return line(ok=True, command=command, backend=backend, status=word)


def wrote(command, backend, value):
    return line(ok=True, command=command, backend=backend, value=value)


def failed(command, code, error, **members):
    return line(ok=False, command=command, **members, code=code, error=error)


def unavailable(command, value):
    return failed(command, "WRITE_UNAVAILABLE", "no supported control key found", value=value)


def io_failed(command, value, backend, io, smc):
    return failed(command, "WRITE_FAILED", f"SMC write failed: io={io} smc={smc}", backend=backend, value=value)


NO_STATUS = failed("charging-status", "STATUS_UNAVAILABLE", "unable to determine charging status")
NO_ADAPTER_STATUS = NO_STATUS.replace("charging-status", "adapter-status")
MISSING = failed("unknown", "INVALID_ARGS", "missing command")
NOT_ON_OFF = failed("charging", "INVALID_ARGS", "charging expects on/off")


def version_line():
    return line(ok=True, command="version", version=VERSION)


# --- Running ---------------------------------------------------------------

def run(argv, preexec=None):
    p = subprocess.run(WRAP + list(argv), capture_output=True, timeout=120 if WRAP else 30, preexec_fn=preexec)
    return p.stdout.decode("utf-8"), p.stderr.decode("utf-8", "replace"), p.returncode


def text(path):
    with open(path) as f:
        return f.read()


def lines(path):
    return [l for l in text(path).splitlines() if not l.startswith("#")]


class E2E(unittest.TestCase):
    def setUp(self):
        self.dir = self.enterContext(tempfile.TemporaryDirectory())
        self.runs = 0

    def path(self, name):
        return os.path.join(self.dir, name)

    def helper_line(self, argv):
        """Runs a helper, plain or emulated: one valid line, silent standard
        error, the exit status that goes with ok. Returns the line."""
        out, err, code = run(argv)
        self.assertEqual((err, out.count("\n"), out[-1:]), ("", 1, "\n"), (argv, out))
        obj = json.loads(out)
        self.assertEqual([e.message for e in VALIDATOR.iter_errors(obj)], [], out)
        self.assertEqual(code, 0 if obj["ok"] else 1, out)
        return out[:-1]

    def emu(self, *args, state=None, trace=None):
        """smc-emu with the trace given, else a fresh one; returns (line, trace lines)."""
        self.runs += 1
        trace = trace or self.path(f"trace{self.runs}")
        options = ["--trace", trace] + (["--state", state] if state else [])
        return self.helper_line([EMU] + options + list(args)), text(trace).splitlines()

    def expect(self, args, line, short, **files):
        self.assertEqual(self.emu(*args, **files), (line, calls(short)), args)

    def timeline(self, text):
        """A timeline file of the events in `text`, separated by |."""
        self.runs += 1
        path = self.path(f"timeline{self.runs}")
        with open(path, "w") as f:
            f.write(text.replace("|", "\n") + "\n")
        return path


# --- Each command on each built-in machine --------------------------------

ON_OFF = {"CHTE": ("00000000", "01000000"), "CH0B": ("00", "02"), "CH0C": ("00", "02"),
          "CHIE": ("00", "08"), "CH0J": ("00", "01"), "CH0I": ("00", "01")}
FAMILY2 = "-CHTE ?CH0B ?CH0B >CH0B={CH0B} ?CH0C >CH0C={CH0C}"

# A machine: its state file's arch, driver and battery words (then the keys it refuses) and its keys; charging-status's line
# and trace; for charging, then for adapter, the backend (None: no usable key) and the trace.
MACHINES = {
    "apple-silicon": ("arm64 present 60", "ACLC:ui8 =00|CH0B:hex_=|CH0C:hex_=|CH0I:ui8 =|CHIE:hex_=00|CHTE:ui32=00000000",
                      status("CHTE", "enabled"), "<CHTE", "CHTE", "?CHTE >CHTE={CHTE}", "CHIE", "?CHIE >CHIE={CHIE}"),
    "apple-silicon-legacy": ("arm64 present 60", "ACLC:ui8 =00|CH0B:hex_=00|CH0C:hex_=00|CH0I:ui8 =00|CH0J:ui8 =00",
                             status("CH0B", "enabled"), "-CHTE <CH0B",
                             "CH0B_CH0C", FAMILY2, "CH0J", "-CHIE ?CH0J >CH0J={CH0J}"),
    "intel": ("absent present 60", "ACLC:ui8 =00|CH0B:hex_=00|CH0C:hex_=00|CH0I:ui8 =00", status("CH0B", "enabled"),
              "-CHTE <CH0B", "CH0B_CH0C", FAMILY2, "CH0I", "-CHIE -CH0J ?CH0I >CH0I={CH0I}"),
    # Zero-size keys exist but are never written, and an empty CHTE is no status.
    "placeholder": ("arm64 present 60", "CH0B:hex_=|CH0C:hex_=|CH0I:ui8 =|CHIE:hex_=00|CHTE:ui32=", NO_STATUS,
                    "<CHTE <CH0B", None, "?CHTE ?CH0B ?CH0C", "CHIE", "?CHIE >CHIE={CHIE}"),
    "apple-silicon-15.7": ("arm64 present 60 CH0J",
                           "ACLC:ui8 =00|CH0B:hex_=|CH0C:hex_=|CH0I:ui8 =|CHIE:hex_=00|CHTE:ui32=00000000",
                           status("CHTE", "enabled"), "<CHTE", "CHTE", "?CHTE >CHTE={CHTE}", "CHIE", "?CHIE >CHIE={CHIE}"),
    # Only the adapter is left; the charge-limit and firmware-limit keys are refused.
    "apple-silicon-15.8": ("arm64 present 60 CH0J CHIB CHLS bfD0 bfE0 bfF0",
                           "ACLC:ui8 =00|CH0B:=/00|CH0C:=/00|CH0I:=/00|CHIE:hex_=00|CHTE:=/00",
                           NO_STATUS, "<CHTE <CH0B", None, "?CHTE ?CH0B ?CH0C", "CHIE", "?CHIE >CHIE={CHIE}"),
    "bare": ("arm64 present none", "", NO_STATUS, "-CHTE -CH0B", None, "-CHTE -CH0B -CH0C", None, "-CHIE -CH0J -CH0I"),
    "no-driver": ("arm64 absent none", "", NO_STATUS, "no-driver " * 2, None, "no-driver " * 3, None, "no-driver " * 3),
}


# What controls names on each machine (- for an operation left out), and its trace: the status reading's, the
# charging write's checks, then the adapter write's checks and the reading of the key they chose.
CONTROLS = {
    "apple-silicon": ("CHTE CHTE CHIE CHIE", "<CHTE ?CHTE ?CHIE <CHIE"),
    "apple-silicon-legacy": ("CH0B CH0B_CH0C CH0J CH0J", "-CHTE <CH0B -CHTE ?CH0B -CHIE ?CH0J <CH0J"),
    "intel": ("CH0B CH0B_CH0C CH0I CH0I", "-CHTE <CH0B -CHTE ?CH0B -CHIE -CH0J ?CH0I <CH0I"),
    "placeholder": ("- - CHIE CHIE", "<CHTE <CH0B ?CHTE ?CH0B ?CH0C ?CHIE <CHIE"),
    "apple-silicon-15.7": ("CHTE CHTE CHIE CHIE", "<CHTE ?CHTE ?CHIE <CHIE"),
    "apple-silicon-15.8": ("- - CHIE CHIE", "<CHTE <CH0B ?CHTE ?CH0B ?CH0C ?CHIE <CHIE"),
    "bare": ("- - - -", "-CHTE -CH0B -CHTE -CH0B -CH0C -CHIE -CH0J -CH0I"),
    "no-driver": ("- - - -", "no-driver " * 8),
}


class Commands(E2E):
    def test_each_command_on_each_machine(self):
        listing, err, code = run([EMU, "--list-machines", "--state", self.path("s"), "capabilities"])
        self.assertEqual((err, code, os.listdir(self.dir)), ("", 0, []))
        self.assertEqual([l.split(":")[0] for l in listing.splitlines() if l[:1].isalpha()], list(MACHINES))
        for machine, (words, keys, status_line, status_trace, *writes) in MACHINES.items():
            arch, driver, charge, *refused = words.split()
            catalog = [f"arch {arch}", f"driver {driver}", f"battery {charge}"]
            catalog += [f"battery-entry {LAYOUTS.get(machine)} 112 4382 4107 4050 30.56"] * (charge != "none")
            catalog += [state_key(k) for k in keys.split("|") if k]
            catalog += [f"refused {k}" for k in refused]
            self.assertIn("".join(f"\n  {l}" for l in catalog) + "\n", listing)
            present = [k[:4] for k in keys.split("|")]
            checks = " ".join(f"?{k}/not-privileged" if k in refused else ("?" if k in present else "-") + k
                              for k in ALL_KEYS)
            runs = [(["version"], version_line(), ""), (["controls"], controls(CONTROLS[machine][0]), CONTROLS[machine][1]),
                    (["charging-status"], status_line, status_trace),
                    ([], MISSING, ""), (["charging", "OFF"], NOT_ON_OFF, "")]
            for command, backend, trace in (("charging", *writes[:2]), ("adapter", *writes[2:])):
                for i, value in enumerate(["on", "off"]):
                    line = wrote(command, backend, value) if backend else unavailable(command, value)
                    runs.append(([command, value], line, trace.format(**{k: v[i] for k, v in ON_OFF.items()})))
                    if command == "adapter":
                        # A fresh run reads back what the last one left: the adapter's checks, then its key's value.
                        runs.append((["adapter-status"], status(backend, ["enabled", "disabled"][i], "adapter-status")
                                     if backend else NO_ADAPTER_STATUS,
                                     " ".join(trace.split()[:-1] + [f"<{backend}"]) if backend else trace))
            state = self.path(machine)
            with self.subTest(machine=machine, args="capabilities"):
                # A missing state file is created from the machine.
                self.expect(["--machine", machine, "capabilities"], caps(arch.replace("absent", "x86_64"), *present),
                            "no-driver " * 7 if driver == "absent" else checks, state=state)
                self.assertEqual(lines(state), catalog)
                # The file that --print-state prints is the one that --state makes.
                self.assertEqual(run([EMU, "--machine", machine, "--print-state"]), (text(state), "", 0))
                # From the file now: each key's information, then its value, over connections of their own.
                unknown = "driver-not-found" if driver == "absent" else "key-not-found"
                reads = " ".join(f"?{k}/not-privileged" if k in refused else f"?{k} <{k}" if k in present else f"-{k}"
                                 for k in REPORTED)
                self.expect(["--machine", machine, "keys"], keys_line(arch.replace("absent", "x86_64"), keys, refused,
                                                                      unknown),
                            "no-driver " * 12 if driver == "absent" else reads, state=state)
            for args, line, trace in runs:
                with self.subTest(machine=machine, args=args):
                    self.expect(["--machine", machine] + args, line, trace, state=state)
                    if driver == "absent":
                        # Built here, the helper truthfully sees a Mac without the driver.
                        self.assertEqual(self.helper_line([CHARGE] + args), line)
            # The file kept the refused keys, and the last charging write, off.
            self.assertEqual(lines(state)[len(catalog) - len(refused):], catalog[len(catalog) - len(refused):])
            self.assertEqual(self.emu("charging-status", state=state)[0],
                             status_line.replace("enabled", "disabled"))
        host = "arm64" if os.uname().machine in ("aarch64", "arm64") else "x86_64"  # the one thing taken from the host
        self.assertEqual(self.helper_line([CHARGE, "capabilities"]), caps(host))
        self.assertEqual(self.helper_line([CHARGE, "keys"]), keys_line(host, "", failure="driver-not-found"))
        # A line that cannot be written changes nothing of the run, and ends it; into a pipe that nobody
        # reads any more, too, with the status and not by a signal. (valgrind would take a closed
        # standard output's number for its log.)
        trace = self.path("gone")
        for argv, preexec in (([CHARGE, "version"], reader_gone), ([EMU, "--trace", trace, *C], reader_gone),
                              *(() if WRAP else [([CHARGE, "version"], lambda: os.close(1))])):
            self.assertEqual(run(argv, preexec), ("", "", 0), argv)
        self.assertEqual(text(trace).splitlines(), calls("?CHTE >CHTE=01000000"))


# --- What controls names is what each operation does ------------------------

# On every machine: sizes 1, 33 and 0, a blank type, refused and dropped keys, a failed read (and no fallback).
VARIATIONS = [
    [], ["--key", "CHTE=01"], ["--key", "CHTE=" + "00" * 33, "--key", "CH0C=00"],
    ["--key", "CHIE=" + "00" * 33, "--key", "CH0J:=0000", "--fail", "read:CH0J=io-error"],
    ["--refuse", "CHIE", "--key", "CH0I=01"], ["--drop", "CHTE", "--key", "CH0B:=/00"],
    ["--refuse", "CHTE", "--refuse", "CH0B", "--key", "CHIE=0800"],
]
OPERATIONS = {op: [op] for op in ("charging-status", "adapter-status")} | {"charging": C, "adapter": ["adapter", "off"]}


class Agreement(E2E):
    def test_controls_names_what_each_operation_then_uses(self):
        for machine, variation in itertools.product(MACHINES, VARIATIONS):
            with self.subTest(machine=machine, variation=variation):
                args = ["--machine", machine, *variation]
                out, trace = self.emu(*args, "controls")
                self.assertEqual([l for l in trace if l.startswith("write")], [])
                named = json.loads(out)["controls"]
                for operation, argv in OPERATIONS.items():
                    answer = json.loads(self.emu(*args, *argv)[0])
                    self.assertEqual(answer.get("backend"), named.get(operation), (operation, answer))
                    self.assertEqual(answer.get("code", "")[-11:] == "UNAVAILABLE", operation not in named, answer)


# --- Each kind of fault at each kind of position --------------------------

FAULTS = [
    # The opening: of the first check (CHTE then counts as absent), of the write.
    ("--fail open=not-privileged@1 charging off", "open/not-privileged ?CH0B ?CH0C", unavailable("charging", "off")),
    ("--fail open=no-driver@2 charging off", "?CHTE no-driver",
     failed("charging", "DRIVER_NOT_FOUND", "AppleSMC driver not found", backend="CHTE", value="off")),
    ("--machine intel --fail open=io=-5@4 adapter off", "-CHIE -CH0J ?CH0I open/io=0xfffffffb",
     failed("adapter", "SMC_OPEN_FAILED", "failed to open AppleSMC", backend="CH0I", value="off")),
    # The write's own information query; a re-check, which skips its key.
    ("--fail info:CHTE=key-not-found@2 charging off", "?CHTE -CHTE",
     failed("charging", "KEY_NOT_FOUND", "SMC key not found: CHTE", backend="CHTE", value="off")),
    ("--machine apple-silicon-legacy --fail info:CH0B=key-not-found@2 charging off",
     "-CHTE ?CH0B -CH0B ?CH0C >CH0C=02", wrote("charging", "CH0B_CH0C", "off")),
    ("--machine apple-silicon-legacy --drop CH0C --fail info:CH0B=key-not-found@2 charging off",
     "-CHTE ?CH0B -CH0B -CH0C", unavailable("charging", "off")),
    # The write; through CH0B and CH0C the first failure ends the run.
    ("--fail write:*=result=255 charging off", "?CHTE >CHTE/result=255",
     io_failed("charging", "off", "CHTE", 0, 255)),
    ("--fail write:CHTE=io=0x10 charging off", "?CHTE >CHTE/io=0x00000010",
     io_failed("charging", "off", "CHTE", 16, 0)),
    ("--machine apple-silicon-legacy --fail write:CH0B=io-error charging off", "-CHTE ?CH0B ?CH0B >CH0B/io-error",
     io_failed("charging", "off", "CH0B_CH0C", IO_ERROR, 0)),
    # A reply of any other size than the block's fails the call, whatever it holds.
    ("--fail write:*=reply=79 charging off", "?CHTE >CHTE/reply=79", io_failed("charging", "off", "CHTE", 0, 0)),
    # Names are read by position, and may hold '=': the key "A=B=", then any key.
    ("--fail info:A=B==io-error --fail write:*=io=0x80000000 charging off", "?CHTE >CHTE/io=0x80000000",
     io_failed("charging", "off", "CHTE", -2147483648, 0)),
    ("--unprivileged charging on", "?CHTE >CHTE/not-privileged",
     failed("charging", "PERMISSION_DENIED", "root privileges required", backend="CHTE", value="on")),
    ("--unprivileged charging-status", "<CHTE", status("CHTE", "enabled")),
    # A failed read hands charging-status over to CH0B; a failed check is a false entry.
    ("--key CH0B=02 --fail read:CHTE=not-privileged charging-status", "<CHTE/not-privileged <CH0B",
     status("CH0B", "disabled")),
    ("--key CH0B=02 --fail read:CHTE=reply=0 charging-status", "<CHTE/reply=0 <CH0B", status("CH0B", "disabled")),
    ("--fail info:CH0C=not-privileged capabilities", "?CHTE ?CH0B ?CH0C/not-privileged ?CH0I ?CHIE -CH0J ?ACLC",
     caps("arm64", "CHTE", "CH0B", "CH0I", "CHIE", "ACLC")),
    # keys tells how each access failed: the openings of CH0B's and CH0C's queries, CH0I's read, CHIE's
    # query, and ACLC's read, in the information query that the read makes first; and a key's own attribute byte.
    ("--key CHTE=0123456789abcdef/80 --fail open=io-error@3 --fail open=no-driver@4 --fail read:CH0I=result=7 "
     "--fail info:CHIE=io=-5 --fail info:ACLC=key-not-found@2 --refuse CHIB keys",
     "?CHTE <CHTE open/io-error no-driver ?CH0I <CH0I/result=7 ?CHIE/io=0xfffffffb -CH0J ?ACLC -ACLC "
     "-CHLS ?CHIB/not-privileged -bfD0 -bfE0 -bfF0",
     line(ok=True, command="keys", arch="arm64", keys=dict(
         {k: dict(known=False, error="key-not-found") for k in REPORTED},
         CHTE=dict(known=True, type="ui32", size=8, attributes="80", value="0123456789abcdef"),
         CH0B=dict(known=False, error="failed-to-open"), CH0C=dict(known=False, error="driver-not-found"),
         CH0I=dict(known=True, type="ui8 ", size=0, attributes="d4", error="io=0 smc=7"),
         CHIE=dict(known=False, error="io=-5 smc=0"), CHIB=dict(known=False, error="not-privileged"),
         ACLC=dict(known=True, type="ui8 ", size=1, attributes="d4", error="key-not-found")))),
    # Each fault counts every opening, also those that another one failed.
    ("--fail open=io-error@1 --fail open=io-error@2 charging off", "open/io-error open/io-error ?CH0C",
     unavailable("charging", "off")),
]


class Faults(E2E):
    def test_each_fault(self):
        for args, trace, line in FAULTS:
            with self.subTest(args=args):
                self.expect(args.split(), line, trace)


# --- The options -------------------------------------------------------------

OPTIONS = [
    ("--machine=intel --arch x86_64 --arch arm64 capabilities", caps("arm64", "CH0B", "CH0C", "CH0I", "ACLC")),
    ("--machine no-driver --machine bare --key CHTE=00 charging-status", status("CHTE", "enabled")),
    ("--key CHTE=02000000 charging-status", status("CHTE", "unknown")),
    # A key larger than a block carries is read, its first 32 bytes, but never written.
    ("--key CHTE=01" + "00" * 39 + " charging-status", status("CHTE", "disabled")),
    ("--key CHTE=01000000 --drop CHTE charging-status", NO_STATUS),
    ("--drop CHTE --key CHTE=01000000 charging-status", status("CHTE", "disabled")),
    ("-- --help", failed("--help", "UNKNOWN_COMMAND", "unknown command")),
    ("- on", failed("-", "UNKNOWN_COMMAND", "unknown command")),
    ("charging --machine", NOT_ON_OFF),
    ("--", MISSING),
]

def as_nobody():
    if os.getuid() == 0:  # permission bits do not stop root
        os.setgid(65534)
        os.setuid(65534)


def others_can_enter(path):
    """Whether path and every folder above it let everyone through (o+x)."""
    path = os.path.abspath(path)
    while os.stat(path).st_mode & 0o001 and path != "/":
        path = os.path.dirname(path)
    return path == "/"


def file_size(limit):
    return lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))


# The emulator's own errors, each with the start of its message and what the
# run starts with; {dir} is the test's folder, which holds a folder "folder",
# a FIFO "fifo" and a state file in a read-only folder "ro". A later --state
# or --trace wins.
EMU_ERRORS = [
    (["--bogus", *C], "unknown option '--bogus'"),
    (["--machine"], "--machine needs a value"),
    (["--machine", "mac-pro", *C], "unknown machine 'mac-pro'"),
    (["--key", "CH\nE=00", *C], "--key 'CH\\nE=00': NAME and TYPE must be printable"),
    (["--key", "CHTE=" + "00" * 256, *C], "--key 'CHTE=" + "00" * 256 + "': HEX must be"),
    (["--key", "CHTE=00/4", *C], "--key 'CHTE=00/4': /AA must be"),
    (["--refuse", "CHTEX", *C], "--refuse 'CHTEX': NAME must be"),
    (["--drop", "CHTEX", *C], "--drop 'CHTEX': NAME must be"),
    (["--arch", "arm", *C], "--arch 'arm': expected"),
    (["--as", "staff", *C], "--as 'staff': expected root, admin or user"),
    (["--battery", "101", *C], "--battery '101': expected a PERCENT"),
    (["--battery", "+5", *C], "--battery '+5': expected a PERCENT"),
    (["--minutes", "10081", *C], "--minutes '10081': expected a number"),
    (["--layout", "batterydata", *C], "--layout 'batterydata': expected top-level, BatteryData or intel"),
    (["--temperature", "36.555", *C], "--temperature '36.555': expected degrees Celsius"),
    (["--temperature", "100.01", *C], "--temperature '100.01': expected degrees Celsius"),
    (["--full-charge-capacity", "100001", *C], "--full-charge-capacity '100001': expected mAh from 0 to 100000, or none"),
    (["--fail", "registry=key-not-found", *C], "--fail 'registry=key-not-found' is not"),
    (["--fail", "open=no-entry", *C], "--fail 'open=no-entry' is not"),
    (["--fail", "open=result=3@1", *C], "--fail 'open=result=3@1': an opening cannot"),
    (["--fail", "write:*=io-error@0", *C], "--fail 'write:*=io-error@0' is not"),
    (["--fail", "write:CHTE=result=0", *C], "--fail 'write:CHTE=result=0': a fault must fail"),
    (["--fail", "open=io=-0", *C], "--fail 'open=io=-0': a fault must fail"),
    (["--fail", "schedule=key-not-found", *C], "--fail 'schedule=key-not-found': a timed wake's request fails with"),
    (["--fail", "unschedule=no-driver@1", *C], "--fail 'unschedule=no-driver@1': a timed wake's request fails with"),
    # A number that no IOKit return code can be.
    (["--fail", "open=io=-4294967295", *C], "--fail 'open=io=-4294967295' is not"),
    (["--fail", "open=io=2147483648", *C], "--fail 'open=io=2147483648' is not"),
    # smc-emu's own output, when it cannot be written.
    (["--help"], "cannot write to standard output: No space left on device", onto_full),
    (["--version"], "cannot write to standard output: Broken pipe", reader_gone),
    (["--list-machines"], "cannot write to standard output: No space left on device", onto_full),
    (["--print-state"], "cannot write to standard output: Broken pipe", reader_gone),
    (["--state", "", *C], "a FILE may not be empty"),
    (["--state", "{dir}/folder", *C], "cannot read state file {dir}/folder: "),
    (["--state", "{dir}/fifo", *C], "cannot read state file {dir}/fifo: not a regular file"),
    (["--trace", "{dir}/fifo", *C], "cannot open trace file {dir}/fifo: not a regular file"),
    (["--trace", "{dir}/state", *C], "--state and --trace name the same file"),
    # A save that cannot work stops the run before the helper, with the reason.
    (["--state", "{dir}/ro/s", *C], "cannot write state file {dir}/ro/s: Permission denied", as_nobody),
    (["--state", "{dir}/new", *C], "cannot write state file {dir}/new: File too large", file_size(0)),
    # The trace is opened first; the state is then not created.
    (["--state", "{dir}/new", "--trace", "{dir}/no/file", *C], "cannot open trace file {dir}/no/file: "),
    # The state cannot be created; the new trace is taken back.
    (["--state", "{dir}/no/file", "--trace", "{dir}/new", *C], "cannot write state file {dir}/no/file: "),
]

# Malformed state files, each with the start of its message after the path.
BAD_STATES = [
    ("", "no arch line"),
    ("arch arm64\r\ndriver present\r\n", "line 1: arch must be"),
    ("arch arm64\ndriver present\nkey CHTE=00\nkey CHTE:ui32=00\n", "line 4: key 'CHTE' stands twice"),
    ("# ok\n\narch arm64\ndriver present\nkey CHTE=0\n", "line 5: 'CHTE=0': HEX must be"),
    ("arch arm64\ndriver present\nCHTE:ui32=00\n", "line 3: expected arch, driver, battery, battery-entry, key"),
    ("arch arm64\ndriver present\nbattery 100.1\n", "line 3: battery must be a PERCENT"),
    ("arch arm64\ndriver present\nbattery 7.25\n", "line 3: battery must be a PERCENT"),
    ("battery 7.5\narch arm64\ndriver present\nbattery none\n", "line 4: battery stands twice"),
    ("arch arm64\ndriver present\nrefused CH0\n", "line 3: refused NAME: NAME must be four"),
    ("arch arm64\nrefused CH0J\nrefused CH0J\ndriver present\n", "line 3: refused 'CH0J' stands twice"),
    ("arch arm64\ndriver present\nbattery-entry intel 1 2 3 4\n", "line 3: battery-entry must be LAYOUT CYCLES"),
    ("arch arm64\ndriver present\nbattery-entry intel 1 2 3 4 5 6\n", "line 3: battery-entry must be"),
    ("arch arm64\ndriver present\nbattery-entry intel none none none none 5\nbattery-entry intel 1 2 3 4 5\n",
     "line 4: battery-entry stands twice"),
]


class Options(E2E):
    def test_options_shape_the_machine(self):
        for args, line in OPTIONS:
            with self.subTest(args=args):
                self.assertEqual(self.emu(*args.split())[0], line)
        out, err, code = run([EMU, "--help"])
        self.assertEqual((out.split("\n")[0], err, code), ("Usage: smc-emu [OPTION]... [--] COMMAND [ARG]...", "", 0))
        self.assertEqual(run([EMU, "--version"]), (f"smc-emu {VERSION}\n", "", 0))

    def assert_emu_error(self, argv, message, preexec=None):
        """Exit 2, one line on standard error, nothing printed, no file touched."""
        if WRAP and preexec not in (None, as_nobody):
            self.skipTest("valgrind cannot start under a file size limit")
        if preexec is as_nobody and os.getuid() == 0 and not (others_can_enter(EMU) and others_can_enter(self.dir)):
            self.skipTest("nobody cannot reach smc-emu or the test's folder")
        def snapshot():
            return {n: os.listdir(p) if os.path.isdir(p) else text(p) if os.path.isfile(p) else None
                    for n in os.listdir(self.dir) for p in [self.path(n)]}
        before = snapshot()
        out, err, code = run(argv, preexec)
        self.assertEqual((out, code), ("", 2), argv)
        self.assertTrue(err.startswith("smc-emu: " + message) and err.count("\n") == 1, (argv, err))
        self.assertEqual(snapshot(), before, argv)

    def test_emulator_errors_exit_2(self):
        state, trace = self.path("state"), self.path("trace")
        os.mkdir(self.path("folder"))
        os.mkfifo(self.path("fifo"))
        os.mkdir(self.path("ro"))
        with open(self.path("ro/s"), "w") as f:
            f.write("arch arm64\ndriver present\n")
        os.chmod(self.path("ro"), 0o555)
        os.chmod(self.dir, 0o777)
        for args, message, *preexec in EMU_ERRORS:
            with self.subTest(args=args):
                args = [a.format(dir=self.dir) for a in args]
                self.assert_emu_error([EMU, "--state", state, "--trace", trace] + args, message.format(dir=self.dir),
                                      *preexec)
        for content, message in BAD_STATES:
            with self.subTest(content=content):
                with open(state, "w") as f:
                    f.write(content)
                self.assert_emu_error([EMU, "--state", state, "--trace", trace, *C], f"state file {state}, {message}")
        # With standard output and error closed, the line does not land in the
        # trace. (valgrind would take the free numbers for its own log.)
        if not WRAP:
            code = run([EMU, "--trace", trace, *C], lambda: os.closerange(1, 3))[2]
            self.assertEqual((code, text(trace).splitlines()), (0, calls("?CHTE >CHTE=01000000")))
        # A trace that fails during the run stops it before the line, and
        # keeps no part of a line: here "op" of "open" would fit.
        with open(trace, "w") as f:
            f.write("x\n")
        self.assert_emu_error([EMU, "--trace", trace, *C], "cannot write the trace: File too large", file_size(4))

    def test_malformed_timelines(self):
        timeline = self.path("timeline")
        os.mkdir(self.path("folder"))
        os.mkfifo(self.path("fifo"))
        for content, options, message in BAD_TIMELINES:
            with self.subTest(content=content, options=options):
                with open(timeline, "w") as f:
                    f.write(content)
                argv = [EMU, "--state", self.path("state"), "--trace", self.path("trace"), *options]
                self.assert_emu_error(argv + ["--timeline", timeline, "hold-daemon", "75", "80"],
                                      f"timeline {timeline}, {message}")
        with open(timeline, "w") as f:
            f.write("0 stop\n")
        with open(self.path("asks"), "w") as f:
            f.write("0 unplug\n0 holder\n1 stop\n")
        for args, message in TIMELINE_ERRORS:
            with self.subTest(args=args):
                self.assert_emu_error([EMU, "--trace", self.path("trace")] + [a.format(dir=self.dir) for a in args],
                                      message.format(dir=self.dir))


# Malformed timelines, with options of the run, each with its message after the path: checked whole, against the
# starting machine, before anything runs.
BAD_TIMELINES = [
    ("", [], "no line: a timeline ends in a stop"),
    ("# a comment\n\n3 unplug\n", [], "line 3: the timeline ends without a stop"),
    ("0 stop\n1 sleep\n", [], "line 2: nothing may follow stop"),
    ("5 sleep\n4 wake\n9 stop\n", [], "line 2: minute 4 comes before minute 5 above"),
    ("525601 stop\n", [], "line 1: expected MINUTE WORD, MINUTE from 0 to 525600"),
    ("-1 stop\n", [], "line 1: expected MINUTE WORD"),
    ("5\n", [], "line 1: expected MINUTE WORD"),
    ("5 nap\n9 stop\n", [], "line 1: expected sleep, wake, dark, unplug, plug, battery PERCENT, temp C, band, holder or stop"),
    ("5 temp 36.555\n9 stop\n", [], "line 1: temp takes degrees Celsius from 0 to 100, two decimals at most"),
    ("5 temp 36\n9 stop\n", ["--battery", "none"], "line 1: temp on a machine without a battery"),
    ("5  stop\n", [], "line 1: expected sleep, wake"),
    ("5 stop\r\n", [], "line 1: expected sleep, wake"),
    ("5 stop \n", [], "line 1: stop takes no value"),
    ("5 sleep 3\n9 stop\n", [], "line 1: sleep takes no value"),
    ("5 battery 101\n9 stop\n", [], "line 1: battery takes a PERCENT from 0 to 100"),
    ("5 battery\n9 stop\n", [], "line 1: battery takes a PERCENT"),
    ("5 battery 50\n9 stop\n", ["--machine", "bare"], "line 1: battery on a machine without a battery"),
    ("5 battery 50\n9 stop\n", ["--battery", "none"], "line 1: battery on a machine without a battery"),
    ("5 wake\n9 stop\n", [], "line 1: wake while awake"),
    ("5 sleep\n6 sleep\n9 stop\n", [], "line 2: sleep while asleep"),
    ("5 plug\n9 stop\n", [], "line 1: plug while plugged in"),
    ("5 unplug\n9 stop\n", ["--unplugged"], "line 1: unplug while unplugged"),
    ("5 sleep\n9 stop\n", [], "line 2: stop while asleep"),
    ("5 dark\n6 dark\n9 stop\n", [], "line 2: dark while dark"),
    ("5 sleep\n6 dark\n7 wake\n8 wake\n9 stop\n", [], "line 4: wake while awake"),
    ("5 dark\n6 sleep\n9 stop\n", [], "line 3: stop while asleep"),
    # A caller's requests: any level from 0 to 100 (the holder judges the band), the caller one of three accounts.
    ("5 band\n9 stop\n", [], "line 1: band takes LOWER UPPER or full"),
    ("5 band 70\n9 stop\n", [], "line 1: band takes LOWER UPPER (each from 0 to 100) or full, then as ROLE or nothing"),
    ("5 band 70 101\n9 stop\n", [], "line 1: band takes LOWER UPPER"),
    ("5 band full 80\n9 stop\n", [], "line 1: band takes LOWER UPPER"),
    ("5 band 70 80 by user\n9 stop\n", [], "line 1: band takes LOWER UPPER"),
    ("5 band full as staff\n9 stop\n", [], "line 1: as takes root, admin or user"),
    ("5 holder as user\n9 stop\n", [], "line 1: holder takes no value"),
    ("5 sleep\n6 band 70 80\n7 wake\n9 stop\n", [], "line 2: band while asleep (wake first)"),
]

# --timeline itself, with a well-formed file {dir}/timeline.
TIMELINE_ERRORS = [
    (["--timeline", "{dir}/timeline", "hold", "75", "80"], "--timeline runs the command hold-daemon alone, not 'hold'"),
    (["--timeline", "{dir}/timeline"], "--timeline runs the command hold-daemon alone\n"),
    (["--timeline", "{dir}/timeline", "--print-state"], "--timeline runs the command hold-daemon alone\n"),
    (["--timeline", "", "hold-daemon", "75", "80"], "a FILE may not be empty"),
    (["--timeline", "{dir}/none", "hold-daemon", "75", "80"],
     "cannot read timeline {dir}/none: No such file or directory"),
    (["--timeline", "{dir}/folder", "hold-daemon", "75", "80"], "cannot read timeline {dir}/folder: "),
    (["--timeline", "{dir}/fifo", "hold-daemon", "75", "80"], "cannot read timeline {dir}/fifo: not a regular file"),
    (["--timeline", "{dir}/asks", "hold-daemon", "75", "80"], "timeline {dir}/asks, line 2: holder needs --state"),
]

# --- State carried across runs ----------------------------------------------

class State(E2E):
    def test_a_failed_write_saves_nothing_and_the_trace_grows(self):
        files = {"state": self.path("s"), "trace": self.path("t")}
        self.emu("--machine", "apple-silicon-legacy", "--fail", "write:CH0C=io-error", *C, **files)
        # The write before the failed one stays: nothing is undone.
        self.assertEqual(lines(files["state"])[5:7], ["key CH0B:hex_=02/d4", "key CH0C:hex_=00/d4"])
        # Only the first run's --machine counts: then the file does.
        self.expect(["--machine", "bare", "charging-status"], status("CH0B", "disabled"),
                    "-CHTE ?CH0B ?CH0B >CH0B=02 ?CH0C >CH0C/io-error -CHTE <CH0B", **files)

    def test_hand_edited_file_with_options_on_top(self):
        state, link = self.path("s"), self.path("link")
        with open(state, "w") as f:
            # Key lines as files had them before attribute bytes, and a blank type.
            f.write("# by hand\n\ndriver present\nkey CHTE:ui32=01000000\nkey ACLC=00\nkey #:= :    =\nkey CHIB:=/40\n"
                    "arch x86_64\n")
        os.chmod(state, 0o640)
        os.symlink("s", link)
        before = text(state)
        self.assertEqual(self.emu("capabilities", state=link)[0], caps("x86_64", "CHTE", "ACLC"))
        self.assertIn('"CHIB":{"known":true,"type":"\\u0000\\u0000\\u0000\\u0000","size":0,"attributes":"40","value":""}',
                      self.emu("keys", state=link)[0])
        # Options apply for one run, and a run without a carried-out write saves nothing.
        self.assertEqual(self.emu("--key", "CHTE=00000000", "charging-status", state=link)[0],
                         status("CHTE", "enabled"))
        self.emu("--fail", "write:CHTE=io-error", "charging", "on", state=link)
        self.assertEqual(text(state), before)
        # With a write they are saved, through the link, in the file's mode.
        self.emu("--key", "CHTE=02000000", "--key", "CHIE=00", "--drop", "ACLC", "--arch", "absent",
                 "--refuse", "CH0J", "charging", "on", state=link)
        self.assertEqual((os.path.islink(link), os.stat(state).st_mode & 0o7777), (True, 0o640))
        # The type and attribute byte of CHTE stay; --refuse was for that run only.
        self.assertEqual(lines(state), ["arch absent", "driver present", "battery none", "key #:= :    =/d4", "key CHIB:=/40",
                                        "key CHIE:hex_=00/d4", "key CHTE:ui32=00000000/d4"])
        self.assertEqual([n for n in os.listdir(self.dir) if n.startswith(".")], [], "a temporary file was left")

    def test_saved_where_the_name_leads(self):
        # The longest name there can be; a dangling link, saved where it points.
        os.symlink("target", self.path("link"))
        for given, saved in (("s" * 255, "s" * 255), ("link", "target")):
            with self.subTest(given=given[:8]):
                self.emu(*C, state=self.path(given))
                self.assertIn("key CHTE:ui32=01000000/d4", lines(self.path(saved)))
        self.assertTrue(os.path.islink(self.path("link")))

    def test_each_save_is_flushed_before_and_after_its_rename(self):
        if WRAP or not shutil.which("strace"):
            self.skipTest("needs strace, and no wrapper")
        log = self.path("calls")
        # (LeakSanitizer cannot run under ptrace.)
        p = subprocess.run(["strace", "-qq", "-o", log, "-e", "trace=fsync,rename,renameat,renameat2", EMU,
                            "--state", self.path("s"), *C], capture_output=True,
                           env=dict(os.environ, ASAN_OPTIONS="detect_leaks=0"))
        if p.returncode != 0 and b"ptrace" in p.stderr:
            self.skipTest("strace cannot trace here")
        # Two saves: the new file, then the write.
        self.assertEqual((p.returncode, [re.match("fsync|rename", l).group() for l in text(log).splitlines()]),
                         (0, ["fsync", "rename", "fsync"] * 2))


# --- The battery, and holding a level ------------------------------------------

def battery(level, source="adapter", charging=True):
    return line(ok=True, command="battery", level=level, source=source, charging=charging)


def held(level, writes=None, code=None, error=None):
    members = dict(level=level) if level is not None else {}
    members |= dict(code=code, error=error) if code else {}
    return line(ok=code is None, command="hold", **members, writes=dict(writes or {}))


NO_BATTERY = failed("battery", "BATTERY_UNAVAILABLE", "unable to read the battery")
BAD_HOT = failed("hold", "INVALID_ARGS", "hold expects LOWER UPPER [--hot C], 30 <= C <= 45")
NO_LEVEL = dict(code="BATTERY_UNAVAILABLE", error="unable to read the battery")
NO_KEY = dict(code="WRITE_UNAVAILABLE", error="no supported control key found")
IO_ERROR_WRITE = dict(code="WRITE_FAILED", error=f"SMC write failed: io={IO_ERROR} smc=0")
IO_ERROR_READ = dict(code="READ_FAILED", error=f"SMC read failed: io={IO_ERROR} smc=0")
DENIED = dict(code="PERMISSION_DENIED", error="root privileges required")
BAD_BAND = failed("hold", "INVALID_ARGS", "hold expects LOWER UPPER, 20 <= LOWER < UPPER <= 100")
UNKNOWN = dict(code="STATUS_UNKNOWN", error="a control holds a value the helper did not write")

BATTERY_RUNS = [
    # Where the power comes from follows the keys; a full battery charges no more; minutes move the level first.
    ("battery", battery(60)), ("--unplugged battery", battery(60, "battery", False)),
    ("--key CHTE=01000000 battery", battery(60, charging=False)), ("--key CHIE=08 battery", battery(60, "battery", False)),
    # Only the machine's own control counts: on the legacy firmware that is CH0J, not CH0I.
    ("--machine apple-silicon-legacy --key CH0I=01 battery", battery(60)),
    ("--machine apple-silicon-legacy --key CH0J=01 battery", battery(60, "battery", False)),
    ("--battery 100 battery", battery(100, charging=False)), ("--battery none battery", NO_BATTERY),
    ("--machine no-driver battery", NO_BATTERY), ("--machine no-driver --battery 7 battery", battery(7)),
    ("--minutes 10 battery", battery(65)), ("--unplugged --minutes 10 battery", battery(58, "battery", False)),
    ("--key CHTE=01000000 --minutes 600 battery", battery(60, charging=False)),
    ("--minutes 1000 battery", battery(100, charging=False)),
    ("--key CHIE=08 --minutes 10080 battery", battery(0, "battery", False)),
]

# Runs of hold, whole: each needed write is tried, the first failure is the line's; a value that the helper did not
# write is left alone; a check or a read that fails otherwise than for a missing key decides nothing and only turns a
# cut adapter back on; a level that cannot be read does the same.
HOLD_RUNS = [
    ("--battery none --key CHIE=08", "power-sources ?CHIE <CHIE >CHIE=00", held(None, {"adapter": "on"}, **NO_LEVEL)),
    ("--machine bare --key CHIE=01", "power-sources ?CHIE <CHIE", held(None, **NO_LEVEL)),
    ("--battery none --unprivileged --key CHIE=08", "power-sources ?CHIE <CHIE >CHIE/not-privileged", held(None, **NO_LEVEL)),
    ("--machine bare --battery 50", "power-sources -CHIE -CH0J -CH0I -CHTE -CH0B -CH0C", held(50, **NO_KEY)),
    ("--machine no-driver --battery 50", "power-sources " + "no-driver " * 6, held(50, **NO_KEY)),
    ("--battery 90 --fail write:CHTE=io-error", "power-sources ?CHIE <CHIE ?CHTE <CHTE battery-entry >CHTE/io-error >CHIE=08",
     held(90, {"adapter": "off"}, **IO_ERROR_WRITE)),
    ("--battery 90 --unprivileged", "power-sources ?CHIE <CHIE ?CHTE <CHTE battery-entry >CHTE/not-privileged >CHIE/not-privileged",
     held(90, **DENIED)),
    ("--battery 70 --key CHIE=08 --fail write:CHIE=result=7", "power-sources ?CHIE <CHIE ?CHTE <CHTE >CHIE/result=7",
     held(70, code="WRITE_FAILED", error="SMC write failed: io=0 smc=7")),
    ("--machine apple-silicon-legacy --battery 81 --fail write:CH0C=io-error",
     "power-sources -CHIE ?CH0J <CH0J -CHTE ?CH0B -CHTE <CH0B battery-entry ?CH0B >CH0B=02 ?CH0C >CH0C/io-error >CH0J=01",
     held(81, {"adapter": "off"}, **IO_ERROR_WRITE)),
    # A key that vanishes between the reading and its write.
    ("--battery 90 --fail info:CHTE=key-not-found@3", "power-sources ?CHIE <CHIE ?CHTE <CHTE battery-entry -CHTE >CHIE=08",
     held(90, {"adapter": "off"}, code="KEY_NOT_FOUND", error="SMC key not found: CHTE")),
    # Another writer's value: left alone, the other writes made.
    ("--key CHTE=02000000 --key CHIE=08 --battery 50", "power-sources ?CHIE <CHIE ?CHTE <CHTE >CHIE=00",
     held(50, {"adapter": "on"}, **UNKNOWN)),
    # A driver failure is no missing key: nothing is decided, a cut adapter is turned back on.
    ("--machine apple-silicon-15.7 --battery 80 --fail info:CHTE=io-error", "power-sources ?CHIE <CHIE ?CHTE/io-error",
     held(80, code="READ_FAILED", error=f"SMC read failed: io={IO_ERROR} smc=0")),
    ("--battery 80 --key CHIE=08 --fail info:CHTE=result=7", "power-sources ?CHIE <CHIE ?CHTE/result=7 >CHIE=00",
     held(80, {"adapter": "on"}, code="READ_FAILED", error="SMC read failed: io=0 smc=7")),
    ("--battery 90 --fail read:CHIE=io=-5", "power-sources ?CHIE <CHIE/io=0xfffffffb",
     held(90, code="READ_FAILED", error="SMC read failed: io=-5 smc=0")),
    ("--battery 90 --key CHIE=08 --fail read:CHTE=reply=0", "power-sources ?CHIE <CHIE ?CHTE <CHTE/reply=0 >CHIE=00",
     held(90, {"adapter": "on"}, code="READ_FAILED", error="SMC read failed: io=0 smc=0")),
    ("--battery 90 --fail open=io-error@3", "power-sources ?CHIE <CHIE open/io-error",
     held(90, code="SMC_OPEN_FAILED", error="failed to open AppleSMC")),
    # A key refused to everyone, or a driver that is missing, is a control that is not there.
    ("--battery 90 --refuse CHIE", "power-sources ?CHIE/not-privileged -CH0J ?CH0I ?CHTE <CHTE battery-entry >CHTE=01000000",
     held(90, {"charging": "off"})),
    ("--battery 90 --fail open=no-driver@1", "power-sources no-driver -CH0J ?CH0I ?CHTE <CHTE battery-entry >CHTE=01000000",
     held(90, {"charging": "off"})),
]

# Each: smc-emu's options, hold 75 80's own, and its line (or its level, heat and writes where heat decided).
HEAT_RUNS = [
    ("--battery 78 --temperature 36", "", (78, "36.0", {"charging": "off"})),
    ("--battery 78 --temperature 33 --key CHTE=01000000", "", (78, "33.0")),  # paused, it stays paused in the margin
    ("--battery 78 --temperature 33", "", held(78)),  # charging, the margin lets it go on
    ("--battery 74 --temperature 33 --key CHTE=01000000", "", held(74, {"charging": "on"})),  # at the lower level
    ("--battery 75 --temperature 40 --key CHTE=01000000", "", held(75, {"charging": "on"})),
    ("--battery 78 --temperature 32 --key CHTE=01000000", "", held(78)),  # cool: the band keeps it, no heat named
    ("--battery 78 --temperature 36 --unplugged", "", held(78)),  # unplugged, nothing charges
    ("--machine apple-silicon-15.8 --battery 78 --temperature 36", "", (78, "36.0", {"adapter": "off"})),
    ("--machine intel --battery 85 --temperature 35", "", (85, "35.0", {"charging": "off", "adapter": "off"})),
    ("--battery 78 --temperature 40", "--hot 42", held(78)),
    ("--battery 78 --temperature 40", "--hot 42 --hot 43", BAD_HOT),
    ("--battery 78 --temperature 40", "--hot 46", BAD_HOT),
    ("--battery 78 --temperature 40", "--charge-asleep", BAD_HOT),  # the holder's option alone
    ("--battery 78 --temperature 40", "x --hot 36", (78, "40.0", {"charging": "off"})),  # a word passed over
]

# The band's arguments: digits only, at most three, 20 <= LOWER < UPPER <= 100; a band that could drain a Mac is none.
BANDS = [([], BAD_BAND), (["75"], BAD_BAND), (["80", "75"], BAD_BAND), (["75", "75"], BAD_BAND), (["0", "80"], BAD_BAND),
         (["19", "80"], BAD_BAND), (["75", "101"], BAD_BAND), (["+20", "80"], BAD_BAND), (["1000", "80"], BAD_BAND),
         (["75", "80.0"], BAD_BAND), ([" 75", "80"], BAD_BAND), (["20", "100"], held(60)), (["075", "080", "x"], held(60)),
         (["59", "61"], held(60))]

# Each machine's charging keys and adapter key (None: not usable); apple-silicon without CHIE has charging alone.
HOLDERS = [(m, [], *([k] if k else None for k in ks)) for m, ks in (
    ("apple-silicon", ("CHTE", "CHIE")), ("apple-silicon-15.7", ("CHTE", "CHIE")),
    ("apple-silicon-legacy", ("CH0B CH0C", "CH0J")), ("intel", ("CH0B CH0C", "CH0I")),
    ("apple-silicon-15.8", (None, "CHIE")), ("placeholder", (None, "CHIE")))]
HOLDERS = [(m, o, c and c[0].split(), a and a[0]) for m, o, c, a in HOLDERS] + [("apple-silicon", ["--drop", "CHIE"], ["CHTE"], None)]
# The values that put each key in each state, and the states that each key's value reads as.
ADAPTER_VALUES = {"enabled": "00", "disabled": {"CHIE": "08", "CH0J": "01", "CH0I": "01"}, "unknown": "02"}
CHARGING_VALUES = {"CHTE": {"enabled": "00000000", "disabled": "01000000", "unknown": "02000000"},
                   "CH0B": {"enabled": "00", "disabled": "02"}, "CH0C": {"enabled": "00", "disabled": "02"}}


def status_of(key, value):
    """What the status readings make of a key's value (hex)."""
    if key == "CHTE":
        return {"00000000": "enabled", "01000000": "disabled"}.get((value + "0" * 8)[:8], "unknown")
    if key == "CH0B":
        return "enabled" if value[:2] == "00" else "disabled"
    off = ADAPTER_VALUES["disabled"][key]
    rest_zero = set(value[2:]) <= {"0"}
    return "enabled" if value[:2] == "00" and rest_zero else "disabled" if value[:2] == off and rest_zero else "unknown"


class Hold(E2E):
    def test_battery(self):
        for args, expected in BATTERY_RUNS:
            with self.subTest(args=args):
                self.expect(args.split(), expected, "power-sources")
        state = self.path("s")
        self.emu("--minutes", "3", "battery", state=state)  # moved and saved before the run, which writes nothing
        self.assertEqual(lines(state)[2], "battery 61.5")
        self.assertEqual(self.emu("--unplugged", "--minutes", "8", "battery", state=state)[0], battery(59, "battery", False))

    def test_heat(self):
        """A hot battery above the lower level is not charged; in the margin a paused one stays paused, read from
        the controls alone; at or below the lower level, or cool, the band decides; --hot moves the edge."""
        hot = lambda level, degrees, writes=None: held(level, writes)[:-1].replace(
            f'"level":{level},', f'"level":{level},"heat":{degrees},') + "}"
        for args, options, expected in HEAT_RUNS:
            with self.subTest(args=args, options=options):
                self.assertEqual(self.emu(*args.split(), "hold", "75", "80", *options.split())[0],
                                 expected if isinstance(expected, str) else hot(*expected))

    def test_runs_and_bands(self):
        for args, trace, expected in HOLD_RUNS:
            with self.subTest(args=args):
                self.expect(args.split() + ["hold", "75", "80"], expected, trace)
        for band, expected in BANDS:
            with self.subTest(band=band):
                self.assertEqual(self.emu("hold", *band)[0], expected)
                # A holder refuses the same bands, writes nothing on a Mac it finds whole, and stays until its stop,
                # so that launchd does not start it again and again, saying why once an hour: a day, 25 times.
                if expected == BAD_BAND:
                    out, err, code = run([EMU, "--state", self.path(f"state{self.runs}"), "--timeline",
                                          self.timeline("1440 stop"), "hold-daemon", *band])
                    self.assertEqual((out.splitlines(), err, code),
                                     ([BAD_BAND.replace('"hold"', '"hold-daemon"')] * 25 + [holder_line("stop")], "", 0))

    def test_every_band_edge_from_every_state_on_every_machine(self):
        """After one run: the rules hold, and the writes are exactly the controls whose status changed."""
        cases = []
        for (machine, options, charging, adapter), (lower, upper) in itertools.product(HOLDERS, ((75, 80), (20, 100))):
            keys = {"adapter": [adapter] if adapter else [], "charging": charging or []}
            starts = [(a, c) for a in (["enabled", "disabled", "unknown"] if adapter else [None])
                      for c in ((["enabled", "disabled"] + ["unknown"] * (charging == ["CHTE"])) if charging else [None])]
            for level, (a, c), plugged in itertools.product(
                    sorted({lower - 1, lower, lower + 1, upper - 1, upper, min(upper + 1, 100)}), starts, (True, False)):
                values = [f"{k}={CHARGING_VALUES[k][c]}" for k in keys["charging"] if c]
                if a:
                    values.append(f"{adapter}={ADAPTER_VALUES['disabled'][adapter] if a == 'disabled' else ADAPTER_VALUES[a]}")
                args = ["--machine", machine, *options, *[w for v in values for w in ("--key", v)],
                        "--battery", str(level)] + ["--unplugged"] * (not plugged) + ["hold", str(lower), str(upper)]
                cases.append((args, keys, level, lower, upper, plugged, {"adapter": a, "charging": c}))
        with concurrent.futures.ThreadPoolExecutor(2) as pool:
            results = list(pool.map(lambda case: self.hold_once(case[0]), cases))
        for (args, keys, level, lower, upper, plugged, before), (out, state) in zip(cases, results):
            with self.subTest(args=" ".join(args)):
                after = {control: status_of(names[0], state[names[0]]) if names else None for control, names in keys.items()}
                answer = json.loads(out)
                on_adapter = plugged and before["adapter"] != "disabled"
                away = not on_adapter and before["adapter"] in ("enabled", None)  # unplugged, as far as hold can tell
                # Each write changed its control, and each change is a write; no other writer's value is touched.
                self.assertEqual(answer["writes"], {k: {"enabled": "on", "disabled": "off"}[after[k]]
                                                    for k in keys if after[k] != before[k]})
                self.assertTrue(all(after[k] == "unknown" for k in keys if before[k] == "unknown"))
                self.assertEqual(answer.get("code", "STATUS_UNKNOWN"), "STATUS_UNKNOWN")
                self.assertTrue(answer["ok"] or "unknown" in before.values())
                known = {k: v for k, v in after.items() if v not in (None, "unknown")}
                if upper == 100:  # nothing is held: every control on
                    self.assertNotIn("disabled", known.values())
                elif away:  # plugging in charges to the upper level again
                    self.assertNotEqual(known.get("charging"), "disabled")
                elif level <= lower:  # never left on the battery at or below the lower level
                    self.assertNotIn("disabled", known.values())
                elif level >= upper:  # never charged at or above the upper level: by charging, else by the adapter
                    self.assertIn(known.get("charging" if keys["charging"] else "adapter", "disabled"), ["disabled"])
                    if level > upper and "adapter" in known:
                        self.assertEqual(known["adapter"], "disabled")
                # Both: rest in the band; charging that holds another writer's value holds nothing, and the adapter
                # then cycles through the band as where it is alone.
                elif keys["adapter"] and keys["charging"] and before["charging"] != "unknown" and "adapter" in known:
                    self.assertEqual(known["adapter"], "enabled")

    def hold_once(self, args):
        """One hold on a fresh machine: its line, and its keys' values (hex) as the run left them."""
        # Each run saves its machine with fsync: in memory, where there is a tmpfs, that costs nothing.
        state = tempfile.mktemp(dir="/dev/shm" if os.access("/dev/shm", os.W_OK) else self.dir)
        self.addCleanup(lambda: os.path.exists(state) and os.unlink(state))
        out = self.helper_line([EMU, "--state", state] + args)
        keys = dict(l.split(" ", 1)[1].split("=", 1) for l in lines(state) if l.startswith("key "))
        return out, {name.split(":")[0]: value.split("/")[0] for name, value in keys.items()}


# --- The battery's health, from its registry entry ----------------------------

# Where each built-in machine with a battery keeps its entry's capacities.
LAYOUTS = {"apple-silicon": "top-level", "apple-silicon-legacy": "top-level", "intel": "intel",
           "placeholder": "top-level", "apple-silicon-15.7": "top-level", "apple-silicon-15.8": "BatteryData"}
NO_HEALTH = failed("battery-health", "BATTERY_UNAVAILABLE", "unable to read the battery")


def health(layout="top-level", cycles=112, design=4382, nominal=4107, full=4050, celsius=30.5, voltage=11900,
           current=1215, watts=96):
    """The line of a battery's entry at 60 percent, charging on its adapter; None leaves a figure out."""
    share = nominal * 100 // design if nominal is not None and design else None
    members = dict(layout=layout, cycleCount=cycles, designCapacity=design, nominalCapacity=nominal,
                   fullChargeCapacity=full, nominalOverDesign=share, temperature=celsius, voltage=voltage,
                   current=current, adapterWatts=watts)
    return line(ok=True, command="battery-health", **{k: v for k, v in members.items() if v is not None})


# How the figures follow the battery, the adapter and the options (the SMC plays no part); the faults of the
# registry's calls, and no figure guessed.
HEALTH_RUNS = [
    ("--unplugged --fail open=no-driver", health(current=-486, watts=None)), ("--key CHTE=01000000", health(current=0)),
    ("--key CHIE=08 --battery 0", health(voltage=11000, current=-486, watts=None)),
    ("--battery 100", health(voltage=12500, current=0)), ("--temperature 100", health(celsius=100.0)),
    ("--temperature none --cycle-count none --design-capacity 0", health(celsius=None, cycles=None, design=0)),
    ("--nominal-capacity 4500 --layout BatteryData --temperature 34.99", health("BatteryData", nominal=4500, celsius=34.9)),
    ("--full-charge-capacity none --layout BatteryData", health("BatteryData", full=None, current=0)),
    ("--full-charge-capacity 3000 --layout intel --arch absent", health("intel", full=3000, current=900)),
    ("--fail registry=no-entry", NO_HEALTH, "no-battery-entry"), ("--battery none", NO_HEALTH, "no-battery-entry"),
    ("--fail registry=io-error", NO_HEALTH, "battery-entry/io-error"),
    ("--fail registry=io=-5@1", NO_HEALTH, "battery-entry/io=0xfffffffb"),
]


class Health(E2E):
    def test_each_layout_on_each_machine(self):
        for machine in MACHINES:
            for layout in (None, "top-level", "BatteryData", "intel") if machine != "intel" else (None,):
                args = ["--machine", machine] + (["--layout", layout] if layout else []) + ["battery-health"]
                with self.subTest(args=args):
                    if machine not in LAYOUTS:
                        self.expect(args, NO_HEALTH, "no-battery-entry")
                        continue
                    found = layout or LAYOUTS[machine]
                    # On Apple silicon an Intel entry is read from the top level, without its MaxCapacity.
                    expected = health("top-level", full=None) if found == "intel" and machine != "intel" else health(found)
                    self.expect(args, expected, "battery-entry")
        # The helper built here has no battery's entry to read.
        self.assertEqual(self.helper_line([CHARGE, "battery-health"]), NO_HEALTH)
        self.assertEqual(self.emu("--machine", "apple-silicon-15.8", "--unplugged", "battery-health")[0],
                         '{"ok":true,"command":"battery-health","layout":"BatteryData","cycleCount":112,'
                         '"designCapacity":4382,"nominalCapacity":4107,"fullChargeCapacity":4050,"nominalOverDesign":93,'
                         '"temperature":30.5,"voltage":11900,"current":-486}')

    def test_figures_follow_the_battery_and_the_options(self):
        for args, expected, *trace in HEALTH_RUNS:
            with self.subTest(args=args):
                self.expect(args.split() + ["battery-health"], expected, trace[0] if trace else "battery-entry")

    def test_temperature_along_a_timeline_and_kept(self):
        state, timeline = self.path("s"), self.path("timeline")
        with open(timeline, "w") as f:
            f.write("0 temp 36.5\n1 temp 40.05\n2 stop\n")
        trace = self.path("trace")
        self.assertEqual(run([EMU, "--state", state, "--trace", trace, "--layout", "BatteryData", "--timeline", timeline,
                              "hold-daemon", "75", "80"])[1:], ("", 0))
        self.assertEqual([l for l in text_lines(trace) if " temp " in l], ["at 0 temp 36.5", "at 1 temp 40.05"])
        # Saved at the stop, with the options of the run, and read back by the next.
        self.assertEqual(lines(state)[3], "battery-entry BatteryData 112 4382 4107 4050 40.05")
        self.assertEqual(self.emu("battery-health", state=state)[0], health("BatteryData", celsius=40.0, voltage=11915))


# --- The holder that stays ------------------------------------------------------

def holder_line(event, level=None, writes=None, **failure):
    members = dict(event=event) | (dict(level=level) if level is not None else {}) | failure
    return line(ok=not failure, command="hold-daemon", **members, writes=dict(writes or {}))


# Each scenario: the starting level, a timeline, and for each kind of Mac (both controls, the adapter alone, charging
# alone) what its battery does once each moment's decisions are made: at the start, then at each event.
SCENARIOS = [
    ("above the band, a night asleep", 90, "1 sleep|481 wake|482 stop",
     {"both": "draining still draining charging", "adapter": "draining draining draining charging",
      "charging": "still still still charging"}),
    ("in the band, a night asleep", 78, "1 sleep|481 wake|482 stop",
     {"both": "charging still still charging", "adapter": "charging draining draining charging",
      "charging": "charging still still charging"}),
    ("below the band, a night asleep", 60, "1 sleep|481 wake|482 stop",
     {"both": "charging charging draining charging", "adapter": "charging charging draining charging",
      "charging": "charging charging still still"}),
    # Unplugged at the upper level, charging goes back on, so that plugged in again in the band it charges.
    ("unplugged at the upper level", 80, "1 unplug|11 plug|12 stop",
     {"both": "still draining charging charging", "adapter": "draining draining draining charging",
      "charging": "still draining charging charging"}),
    ("a night asleep unplugged", 78, "1 unplug|2 sleep|482 wake|483 plug|484 stop",
     {"both": "charging draining draining draining charging charging",
      "adapter": "charging draining draining draining charging charging",
      "charging": "charging draining draining draining charging charging"}),
    ("stopped with the adapter cut", 95, "1 stop",
     {"both": "draining charging", "adapter": "draining charging", "charging": "still charging"}),
]


class Holder(E2E):
    def test_every_generation_through_each_scenario(self):
        for (machine, options, charging, adapter), (name, start, events, expected) in itertools.product(HOLDERS, SCENARIOS):
            kind = "both" if charging and adapter else "adapter" if adapter else "charging"
            with self.subTest(machine=machine, options=options, scenario=name):
                self.runs += 1
                state, trace = self.path(f"state{self.runs}"), self.path(f"trace{self.runs}")
                out, err, code = run([EMU, "--machine", machine, *options, "--battery", str(start), "--state", state,
                                      "--trace", trace, "--timeline", self.timeline(events), "hold-daemon", "75", "80"])
                self.assertEqual((err, code), ("", 0), out)
                lines_ = [json.loads(l) for l in out.splitlines()]
                self.assertTrue(all(l["ok"] for l in lines_), out)
                self.assertEqual([l["event"] for l in lines_ if l["event"] in ("start", "sleep", "wake", "stop")],
                                 ["start"] + [e.split()[1] for e in events.split("|") if e.split()[1] in ("sleep", "wake", "stop")])
                # What the battery does once each moment's decisions are made.
                activity, at = {}, {}
                for text in text_lines(trace):
                    found = re.fullmatch(r"at (\S+) (\S+)(?: \S+ (\S+))?", text)
                    if found and found.group(2) == "level":
                        activity[float(found.group(1))] = found.group(3)
                moments = [0.0] + [float(e.split()[0]) for e in events.split("|")]
                seen, now = [], None
                for moment in moments:
                    now = next((activity[m] for m in sorted(activity, reverse=True) if m <= moment), now)
                    seen.append(now)
                self.assertEqual(" ".join(seen), expected[kind])
                # Each sleep message answered, and no plugged-in Mac left on its battery: both controls on at the end.
                answers = [t.split()[2] for t in text_lines(trace) if re.fullmatch(r"at \S+ (allow|cancel) \d+", t)]
                self.assertEqual(answers, ["allow"] * 2 * events.count("sleep"))
                for control, usable in (("charging", charging), ("adapter", adapter)):
                    if usable:
                        self.assertEqual(json.loads(self.emu(f"{control}-status", state=state)[0])["status"], "enabled")

    def test_a_decision_every_minute_between_events(self):
        trace = self.path("trace")
        run([EMU, "--battery", "78", "--trace", trace, "--timeline", self.timeline("10 stop"), "hold-daemon", "75", "80"])
        self.assertEqual([t for t in text_lines(trace) if t.endswith(" timer")], [f"at {m} timer" for m in range(1, 11)])

    def test_what_each_timeline_word_tells_the_holder(self):
        # Dark from a full wake: the sleep's messages, and the holder runs on (its timer fires); then asleep, from a
        # dark wake without a word, frozen; dark again without a word, running; awake from it: the wake's messages.
        trace = self.path("trace")
        out, err, code = run([EMU, "--battery", "78", "--trace", trace, "--timeline",
                              self.timeline("2 dark|4 sleep|60 dark|62 sleep|120 dark|121 wake|122 dark|123 stop"),
                              "hold-daemon", "75", "80"])
        self.assertEqual(([json.loads(l)["event"] for l in out.splitlines()], err, code),
                         (["start", "sleep", "wake", "sleep", "stop"], "", 0))
        told = [t for t in text_lines(trace) if re.fullmatch(r"at \S+ (dark|sleep|wake|stop|timer|message .*)", t)]
        self.assertEqual(" ".join(t[3:] for t in told).replace(" message", ""),
                         "1 timer 2 timer 2 dark 2 can-sleep 1 2 will-sleep 2 3 timer 4 timer 4 sleep 60 dark 61 timer "
                         "62 timer 62 sleep 120 dark 121 timer 121 wake 121 will-power-on 121 has-powered-on 122 timer "
                         "122 dark 122 can-sleep 3 122 will-sleep 4 123 timer 123 stop")

    def test_a_holder_that_waited_starts_from_the_mac_as_the_first_left_it(self):
        state, traces = self.path("state"), [self.path("trace1"), self.path("trace2")]
        self.emu("--battery", "50", "version", state=state)
        first = subprocess.Popen(WRAP + [EMU, "--state", state, "--trace", traces[0], "--timeline",
                                         self.timeline("0 unplug|15000 stop"), "hold-daemon", "75", "80"],
                                 stdout=subprocess.DEVNULL)
        while not os.path.exists(traces[0]) or not os.path.getsize(traces[0]):  # its clock starts: it has the lock
            time.sleep(0.01)
        second = subprocess.Popen(WRAP + [EMU, "--state", state, "--trace", traces[1], "--timeline",
                                          self.timeline("3 stop"), "hold-daemon", "75", "80"], stdout=subprocess.PIPE)
        self.assertIsNone(first.poll(), "the first holder ended before the second could wait")
        self.assertEqual(first.wait(timeout=600 if WRAP else 60), 0)
        # The battery that the first ran down to 0, at the second's minute 0, and its clock forward from there.
        lines_ = [json.loads(l) for l in second.communicate(timeout=60)[0].splitlines()]
        self.assertEqual(next(l for l in lines_ if l["event"] == "start")["level"], 0)
        minutes = [float(t.split()[1]) for t in text_lines(traces[1]) if t.startswith("at ")]
        self.assertEqual((text_lines(traces[1])[0], minutes, second.returncode),
                         ("at 0 level 0 charging", sorted(minutes), 0))

    def test_faults_at_start_sleep_and_stop(self):
        for args, events, expected, status in HOLDER_FAULTS:
            with self.subTest(args=args):
                out, err, code = run([EMU, *args.split(), "--timeline", self.timeline(events), "hold-daemon", "75", "80"])
                self.assertEqual((out.splitlines(), err, code), (expected, "", status))

    def test_stopped_by_each_signal_and_one_holder_per_mac(self):
        state = self.path("state")
        self.emu("--battery", "90", "version", state=state)
        start = holder_line("start", 90, {"charging": "off", "adapter": "off"})
        for sig in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=sig):
                first = self.daemon(state)
                self.assertEqual(first.stdout.readline().decode(), start + "\n")
                # A second holder of the same Mac says at once whom it waits for, and decides nothing while the
                # first lives; then it starts from the Mac as the first left it.
                second = self.daemon(state)
                wait = line(ok=True, command="hold-daemon", event="wait", holder=dict(pid=first.pid, lower=75, upper=80))
                self.assertEqual(second.stdout.readline().decode(), wait + "\n")
                first.send_signal(sig)
                self.assertEqual(self.ended(first), ([holder_line("stop", writes={"adapter": "on", "charging": "on"})], 0))
                self.assertEqual(second.stdout.readline().decode(), start + "\n")
                # A stop ends a waiting holder too, which touches nothing: the other one holds.
                third = self.daemon(state)
                self.assertEqual(json.loads(third.stdout.readline())["holder"]["pid"], second.pid)
                third.send_signal(sig)
                self.assertEqual(self.ended(third), ([holder_line("stop")], 0))
                second.send_signal(sig)
                self.assertEqual(self.ended(second)[1], 0)
        self.assertEqual([json.loads(self.emu(c, state=state)[0])["status"] for c in ("charging-status", "adapter-status")],
                         ["enabled", "enabled"])

    def test_sighup_reopens_the_log(self):
        """As newsyslog rotates it: the log renamed, SIGHUP, and the lines go on in a new file at the old path."""
        log = self.path("log")
        with open(log, "wb") as out:
            holder = subprocess.Popen(WRAP + [EMU, "--battery", "78", "hold-daemon", "75", "80"], stdout=out,
                                      stderr=out)
        deadline = time.monotonic() + (30 if WRAP else 5)
        while not text(log) and time.monotonic() < deadline:
            time.sleep(0.05)
        os.rename(log, log + ".0")
        holder.send_signal(signal.SIGHUP)
        time.sleep(1 if WRAP else 0.2)
        holder.send_signal(signal.SIGTERM)
        self.assertEqual(holder.wait(timeout=60 if WRAP else 10), 0)
        self.assertEqual(text(log + ".0"), holder_line("start", 78) + "\n")
        self.assertEqual(text(log), holder_line("stop") + "\n")

    def test_a_holder_that_cannot_start_stays_and_restores(self):
        # A lock that is not the holder's own file: no holder starts; a cut adapter is turned back on, and the
        # holder stays, trying each minute and saying so once an hour, until its stop restores the rest.
        os.mkdir(self.path("other"))
        os.mkdir(self.path("other/state.lock"))
        self.emu("--battery", "90", "--key", "CHIE=08", "--key", "CHTE=01000000", "version",
                 state=self.path("other/state"))
        out, err, code = run([EMU, "--state", self.path("other/state"), "--timeline", self.timeline("150 stop"),
                              "hold-daemon", "75", "80"])
        unavailable = holder_line("start", code="HOLDER_UNAVAILABLE", error="unable to start the holder")
        self.assertEqual((out.splitlines(), err, code),
                         ([holder_line("start", writes={"adapter": "on"}, code="HOLDER_UNAVAILABLE",
                                       error="unable to start the holder"), unavailable, unavailable,
                           holder_line("stop", writes={"charging": "on"})], "", 0))
        # A lock file of root's own with a mode that others may read is made the holder's own.
        lock = self.path("state.lock")
        with open(lock, "w"):
            os.chmod(lock, 0o644)
        out, err, code = run([EMU, "--state", self.path("state"), "--battery", "78", "--timeline",
                              self.timeline("0 stop"), "hold-daemon", "75", "80"])
        self.assertEqual((out.splitlines()[0], os.stat(lock).st_mode & 0o777), (holder_line("start", 78), 0o600))
        if not WRAP:  # nor one without a descriptor left for its stop signals (valgrind needs its own)
            self.assertEqual(run([EMU, "hold-daemon", "75", "80"], lambda: resource.setrlimit(resource.RLIMIT_NOFILE, (4, 4))),
                             (unavailable + "\n", "", 1))

    def daemon(self, state):
        return subprocess.Popen(WRAP + [EMU, "--state", state, "hold-daemon", "75", "80"], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

    def ended(self, process):
        out, err = process.communicate(timeout=60 if WRAP else 10)
        self.assertEqual(err, b"")
        return out.decode().splitlines(), process.returncode


def text_lines(path):
    return text(path).splitlines()


# Faults at the start, before a sleep and at the stop: the line says what failed, the holder goes on, a sleep is
# let go on all the same, and the status is 1 only when the stop's restore failed.
HOLDER_FAULTS = [
    ("--battery 90 --fail info:CHTE=io-error@1", "0 stop",
     [holder_line("start", 90, **IO_ERROR_READ), holder_line("stop")], 0),
    # Charging not stopped at the sleep: the adapter holds the band alone, cut above the lower level with a wake
    # asked for; at each wake charging is tried again once its hour has passed, and said to fail again; awake,
    # the adapter alone goes on holding the band.
    ("--battery 78 --fail write:CHTE=io-error", "0 sleep|480 wake|480 stop",
     [holder_line("start", 78), holder_line("sleep", 78, {"adapter": "off"}, **IO_ERROR_WRITE),
      holder_line("dark", 76, **IO_ERROR_WRITE), holder_line("dark", 76), holder_line("dark", 75, {"adapter": "on"}),
      holder_line("dark", 80, {"adapter": "off"}), holder_line("dark", 77, **IO_ERROR_WRITE), holder_line("dark", 77),
      holder_line("dark", 76, **IO_ERROR_WRITE), holder_line("dark", 76), holder_line("dark", 75, {"adapter": "on"}),
      holder_line("dark", 80, {"adapter": "off"}), holder_line("wake", 78), holder_line("stop", writes={"adapter": "on"})],
     0),
    ("--battery 90 --fail write:CHIE=io-error@2", "0 stop",
     [holder_line("start", 90, {"charging": "off", "adapter": "off"}),
      holder_line("stop", writes={"charging": "on"}, **IO_ERROR_WRITE)], 1),
    ("--battery 50 --key CHTE=02000000", "0 stop",
     [holder_line("start", 50, **UNKNOWN), holder_line("stop", **UNKNOWN)], 1),
]


# --- The band from the app ------------------------------------------------------

def holding(lower, upper, full=False, command="band"):
    """The answer of band or holder (without holder's decision), its pid as 0 (unpid)."""
    return line(ok=True, command=command, holder=dict(pid=0, lower=lower, upper=upper, full=full))


def unpid(text):
    return re.sub(r'"pid":\d+', '"pid":0', text)


def not_allowed(group="admin"):
    return failed("band", "NOT_ALLOWED", f"only root and members of {group} may change the band")


NO_HOLDER = failed("band", "NO_HOLDER", "no holder is running")
BAND_REFUSED = failed("band", "INVALID_ARGS", "band expects LOWER UPPER or full, 20 <= LOWER < UPPER <= 100")

# Who asks what of a holder of 75 80 (--band-group, --as, the command): its line, and the band held after it.
CALLERS = [
    ("admin", "user", "band 70 85", not_allowed(), "75 80"),
    ("admin", "user", "band full", not_allowed(), "75 80"),
    ("admin", "admin", "band 70 85", holding(70, 85), "70 85"),
    ("admin", "root", "band full", holding(75, 80, True), "75 80 full"),
    ("staff", "user", "band 20 100", holding(20, 100), "20 100"),
    ("staff", "nobody", "band 70 85", None, "75 80"),  # not an account: smc-emu refuses it, nothing is asked
    ("admin", "admin", "band 10 90", BAND_REFUSED, "75 80"),
    ("admin", "user", "holder", "holder", "75 80"),
]

# Full charges on a holder of 75 80 from a level: its timeline, whether the battery reaches 100, and the answer to
# band full (then the holder's, at the end, says no full charge is under way and the band is 75 80 again).
FULL_CHARGES = [
    (90, "0 band full|40 holder|41 stop", True, holding(75, 80, True)),
    (90, "0 band full|10 unplug|12 plug|40 holder|41 stop", False, holding(75, 80, True)),  # unplugged halfway, it ends
    (90, "0 unplug|1 band full|5 plug|60 holder|61 stop", True, holding(75, 80, True)),  # it waits for the plug
    (100, "0 band full|40 holder|41 stop", True, holding(75, 80)),  # nothing to charge
]


def answers(trace):
    """The answers of a timeline's requests, pids as 0."""
    return [unpid(t.split(" answer ", 1)[1]) for t in text_lines(trace) if re.match(r"at \S+ answer ", t)]


class Band(E2E):
    def holder_run(self, events, *args, band=("75", "80"), state=None):
        """A holder along `events`: its lines, its trace and its state file."""
        timeline = self.timeline(events)
        trace, state = self.path(f"trace{self.runs}"), state or self.path(f"state{self.runs}")
        out, err, code = run([EMU, *args, "--state", state, "--trace", trace, "--timeline", timeline, "hold-daemon", *band])
        self.assertEqual((err, code), ("", 0), out)
        return [json.loads(l) for l in out.splitlines()], trace, state

    def test_a_change_at_each_level_on_every_generation_is_kept(self):
        # From 78 in 75 80, to a band above, around and below the level: the decision at the change is a holder's
        # start with that band, and a holder started again holds it, deciding as one started with it.
        for (machine, options, _, _), band in itertools.product(HOLDERS, ("80 90", "70 85", "60 70")):
            with self.subTest(machine=machine, options=options, band=band):
                machine_args, lower, upper = ["--machine", machine, *options, "--battery", "78"], *map(int, band.split())
                lines_, trace, state = self.holder_run(f"0 band {band}|1 stop", *machine_args)
                self.assertEqual(answers(trace), [holding(lower, upper)])
                fresh = self.holder_run("0 stop", *machine_args, band=band.split())[0][0]
                change = next(l for l in lines_ if l["event"] == "band")
                self.assertEqual((change["level"], change["writes"]), (fresh["level"], fresh["writes"]))
                shutil.copy(state, state + ".copy")
                again, trace, _ = self.holder_run("0 holder|1 stop", state=state)
                self.assertEqual(json.loads(answers(trace)[0])["holder"], dict(pid=0, lower=lower, upper=upper, full=False))
                self.assertEqual(again[0], self.holder_run("0 stop", state=state + ".copy", band=band.split())[0][0])

    def test_who_may_change_the_band(self):
        for group, role, command, expected, after in CALLERS:
            with self.subTest(group=group, role=role, command=command):
                state = self.path(f"state-{group}-{role}-{command.replace(' ', '-')}")
                holder = subprocess.Popen(WRAP + [EMU, "--state", state, "hold-daemon", "75", "80", "--band-group", group],
                                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                self.assertEqual(json.loads(holder.stdout.readline())["event"], "start")
                out, err, code = run([EMU, "--state", state, "--as", role, *command.split()])
                if expected is None:
                    self.assertEqual((out, err, code), ("", "smc-emu: --as 'nobody': expected root, admin or user\n", 2))
                elif expected == "holder":
                    self.assertTrue(unpid(out).startswith(holding(75, 80, command="holder")[:-1] + ',"decision":'), out)
                else:
                    self.assertEqual((unpid(out), err, code), (expected + "\n", "", 0 if '"ok":true' in expected else 1))
                now = json.loads(self.helper_line([EMU, "--state", state, "--as", "user", "holder"]))["holder"]
                self.assertEqual(f"{now['lower']} {now['upper']}" + (" full" if now["full"] else ""), after)
                holder.send_signal(signal.SIGTERM)
                lines_, _ = holder.communicate(timeout=60 if WRAP else 10)
                # A change is decided at once (the start line was read above; the stop's comes last).
                self.assertEqual([json.loads(l)["event"] for l in lines_.decode().splitlines()[:-1]],
                                 ["band"] if after != "75 80" else [])
                # No holder: none running, or none that an emulated Mac without a state file can reach. No caller's
                # file is left beside the state.
                for args in (["--state", state], []):
                    self.assertEqual(self.helper_line([EMU, *args, "band", "70", "80"]), NO_HOLDER)
                    self.assertEqual(self.helper_line([EMU, *args, "holder"]), NO_HOLDER.replace('"band"', '"holder"'))
                self.assertEqual([n for n in os.listdir(self.dir) if ".caller." in n], [])

    def test_a_full_charge_then_the_band_again(self):
        for (machine, options, _, _), (start, events, reaches, answer) in itertools.product(HOLDERS, FULL_CHARGES):
            with self.subTest(machine=machine, options=options, events=events):
                trace = self.holder_run(events, "--machine", machine, *options, "--battery", str(start))[1]
                self.assertEqual(answers(trace)[0], answer)
                self.assertEqual(json.loads(answers(trace)[1])["holder"], dict(pid=0, lower=75, upper=80, full=False))
                # Up to the last answer: the level reached, and what the battery does then, held above the band.
                told = text_lines(trace)
                told = told[:max(i for i, t in enumerate(told) if " answer " in t)]
                levels = [t.split()[3:] for t in told if re.fullmatch(r"at \S+ level \S+ \S+", t)]
                self.assertEqual((any(float(l) == 100 for l, _ in levels), levels[-1][1] == "charging"), (reaches, False))

    def test_hostile_callers_change_no_decision(self):
        """A week along a timeline with band changes, and the same week with hostile callers: an endless line, bytes
        that are not text, a caller that says nothing and a thousand connections, all made while the holder is
        stopped, so that it serves them at one moment of its week: its lines and its trace, but for the timers that
        end the silent callers, are the same."""
        resource.setrlimit(resource.RLIMIT_NOFILE, (resource.getrlimit(resource.RLIMIT_NOFILE)[1],) * 2)
        # No request of the week's own is under way when they come: the stop lands in its first minutes, and the
        # holder serves the hostile callers before its time moves on (a ninth caller hangs up the first).
        events = self.timeline("300 band 70 85|600 unplug|700 plug|1500 sleep|1980 wake|3000 band full|5000 holder|"
                               "5500 band 10 90|6000 band 60 90 as user|10080 stop")
        runs = []
        for hostile in (False, True):
            state, trace = self.path(f"state{hostile}"), self.path(f"trace{hostile}")
            holder = subprocess.Popen(WRAP + [EMU, "--state", state, "--trace", trace, "--timeline", events,
                                              "hold-daemon", "75", "80"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            callers = []
            while hostile and not callers:  # stopped once it listens
                self.assertIsNone(holder.poll(), "the holder's week ended before it could be stopped")
                time.sleep(0.001)
                holder.send_signal(signal.SIGSTOP)
                for _ in range(1004):
                    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                    s.setblocking(False)
                    try:
                        s.connect(state + ".sock")
                    except OSError:  # not yet there, or its backlog is full: the kernel refuses the rest
                        s.close()
                        break
                    callers.append(s)
                if not callers:
                    holder.send_signal(signal.SIGCONT)
            if hostile:
                self.assertGreater(len(callers), 100)
                endless, garbage = callers[0], callers[1]
                garbage.send(b"\xff\xfe\x00band 70 85\n")
                with contextlib.suppress(BlockingIOError):
                    while True:
                        endless.send(b"band 7" * 1000)
                holder.send_signal(signal.SIGCONT)
            out, err = holder.communicate(timeout=600 if WRAP else 60)
            self.assertEqual((err, holder.returncode), (b"", 0))
            if hostile:  # each was hung up on, without an answer
                for s in callers:
                    s.setblocking(True)
                    with contextlib.suppress(ConnectionResetError):
                        self.assertEqual(s.recv(10), b"")
                    s.close()
            told = text_lines(trace)
            timers = [t.endswith(" timer") and t.startswith("at ") for t in told]
            runs.append((unpid(out.decode()).splitlines(), [unpid(t) for t, timer in zip(told, timers) if not timer],
                         sum(timers)))
        self.assertEqual(runs[1][:2], runs[0][:2])
        self.assertGreater(runs[1][2], runs[0][2], "no silent caller was hung up on during the week")
        # Two changes decided; a band that the holder refuses, and a caller not allowed, change nothing.
        said = answers(self.path("traceFalse"))
        self.assertEqual((said[:2], said[3:], [l for l in runs[0][0] if '"event":"band"' in l][2:]),
                         ([holding(70, 85), holding(70, 85, True)], ["none", not_allowed()], []))


# --- Hostile arguments ------------------------------------------------------

class Naughty(E2E):
    """Each naughty string (--strings) as the command and as the on/off value of
    charging and adapter, then commands at each edge of UTF-8's table and with
    every control character: one line, status 1, the command echoed after
    Python's own decoder's repair and written byte for byte as its own JSON
    encoder writes it; smc-emu answers alike and reaches no driver."""

    def test_arguments(self):
        if STRINGS is None:
            self.skipTest("no --strings")
        edges = [b"\xff", b"a\xc3", b"\xc0\xaf", b"\xc1\xbf", b"\xc2\x80", b"\xdf\xbf",
                 b"\xe0\x80\x80", b"\xe0\x9f\xbf", b"\xe0\xa0\x80", b"\xe0\xc0\x80",
                 b"\xed\x80\x80", b"\xed\x9f\xbf", b"\xed\xa0\x80", b"\xee\x80\x80", b"\xef\xbf\xbf",
                 b"\xf0\x8f\xbf\xbf", b"\xf0\x90\x80\x80", b"\xf1\x80\x80\x80",
                 b"\xf3\xbf\xbf\xbf", b"\xf4\x8f\xbf\xbf", b"\xf4\x90\x80\x80", b"\xf5\x80",
                 b"\xdf\xc0", b"\xe1\xc0\x80", b"\xe1\x80\xc0", b"\xf0\xc0\x80\x80", b"\xf1\xc0\x80\x80",
                 b"\xe2\x82\xe2\x82\xac", b"\xf0\x9f\x94a", bytes(range(1, 32)) + b"\x7f"]
        cases = [([b], b.decode("utf-8", "replace")) for b in edges]
        for s in STRINGS:  # none holds a NUL byte, which no argument can
            cases += [([s], s), (["charging", s], "charging"), (["adapter", s], "adapter")]
        for words, command in cases:
            with self.subTest(words=words):
                out = self.helper_line([CHARGE, *words])
                self.assertEqual(self.emu("--", *words), (out, []))
                self.assertIn('"command":' + json.dumps(command, ensure_ascii=False) + ",", out)
                self.assertFalse(json.loads(out)["ok"])


# --- Memory running out -----------------------------------------------------

class OutOfMemory(unittest.TestCase):
    """smc-emu whose operator new fails on demand (--failing-emu) runs each command with allocation N failing,
    then every one from N on, for each N up to the run's last. Each run ends in a line that the command may give,
    with its status and a silent standard error; or, before the helper runs, in smc-emu's one-line error, status 2
    (swept for the first command only: the allocations before the helper are the same for all)."""

    def test_each_allocation_fails_in_turn(self):
        if FAILING_EMU is None:
            self.skipTest("no --failing-emu")
        fallback, known = failed("unknown", "ENCODE_FAILED", "failed to encode response"), ALL_KEYS[:5] + ["ACLC"]
        # The lines some run must give, then those it may: a key check that
        # runs out of memory finds no key; a write fails with kIOReturnError.
        cases = [(["capabilities"], [caps("arm64", *known)],
                  [caps("arm64", *c) for n in range(6) for c in itertools.combinations(known, n)]),
                 (C, [wrote("charging", "CHTE", "off"), unavailable("charging", "off"),
                      io_failed("charging", "off", "CHTE", IO_ERROR, 0)], []),
                 (["charging-status"], [status("CHTE", "enabled"), NO_STATUS], []),
                 (["battery"], [battery(60), NO_BATTERY], []),
                 (["battery-health"], [health(), NO_HEALTH], []),
                 # Below the band with every control on: a check or a read that fails decides nothing.
                 (["hold", "75", "80"], [held(60), held(None, **NO_LEVEL), held(60, **IO_ERROR_READ)], []),
                 (["charging", "of"], [NOT_ON_OFF], [])]
        own = 0  # smc-emu's own allocations, before the helper runs
        with tempfile.TemporaryDirectory() as folder:
            mark = os.path.join(folder, "failed")
            for case, (argv, reached, allowed) in enumerate(cases):
                seen = set()
                for mode in ("", "+"):
                    for n in itertools.count(own if case else 0):
                        env = dict(os.environ, SMC_FAIL_NEW=f"{n}{mode}", SMC_FAIL_NEW_MARK=mark)
                        p = subprocess.run([FAILING_EMU, *argv], capture_output=True, timeout=30, env=env)
                        out, err = p.stdout.decode(), p.stderr.decode()
                        own += case == 0 and mode == "" and n == own and p.returncode == 2
                        seen.add(out[:-1])
                        if out:
                            self.assertIn(out[:-1], reached + allowed + [fallback], (argv, n, mode))
                            self.assertEqual((err, out[-1], p.returncode), ("", "\n", 1 - json.loads(out)["ok"]))
                        else:
                            self.assertTrue(p.returncode == 2 and re.fullmatch("smc-emu: [^\n]*\n", err), (n, p))
                        if not os.path.exists(mark):
                            break  # past the run's last allocation
                        os.unlink(mark)
                self.assertEqual(set(reached + [fallback]) - seen, set(), argv)

    def test_a_holder_with_each_allocation_failing(self):
        """The holder through a timeline of its start and its stop, every allocation from smc-emu's own on
        failing in turn: each run ends in lines the holder may print (a decision that ran out of memory prints
        the fallback line, and the holder goes on), with the status of its last, or in smc-emu's error."""
        if FAILING_EMU is None:
            self.skipTest("no --failing-emu")
        fallback = failed("unknown", "ENCODE_FAILED", "failed to encode response")
        allowed = {holder_line("start", 60), holder_line("start", 60, **IO_ERROR_READ),
                   holder_line("start", **NO_LEVEL), holder_line("stop"), holder_line("stop", **IO_ERROR_READ),
                   holder_line("start", code="HOLDER_UNAVAILABLE", error="unable to start the holder"), fallback}
        seen = set()
        with tempfile.TemporaryDirectory() as folder:
            mark, timeline = os.path.join(folder, "failed"), os.path.join(folder, "timeline")
            with open(timeline, "w") as f:
                f.write("0 stop\n")
            for n in itertools.count():
                env = dict(os.environ, SMC_FAIL_NEW=str(n), SMC_FAIL_NEW_MARK=mark)
                p = subprocess.run([FAILING_EMU, "--timeline", timeline, "hold-daemon", "75", "80"], capture_output=True,
                                   timeout=30, env=env)
                out, err = p.stdout.decode().splitlines(), p.stderr.decode()
                seen.update(out)
                if p.returncode == 2:
                    self.assertTrue(not out and re.fullmatch("smc-emu: [^\n]*\n", err), (n, p))
                else:
                    self.assertEqual((set(out) - allowed, err, p.returncode), (set(), "", 1 - json.loads(out[-1])["ok"]), n)
                if not os.path.exists(mark):
                    break
                os.unlink(mark)
        self.assertIn(holder_line("start", 60), seen)
        self.assertIn(fallback, seen)


# --- The schema itself --------------------------------------------------------

# The documented lines that no run above prints.
GOOD_LINES = [io_failed("adapter", "on", "CH0J", -2147483648, 255), failed("", "UNKNOWN_COMMAND", "unknown command"),
              line(ok=True, command="battery-health", layout="intel", temperature=-0.5, current=-3000),
              line(ok=True, command="battery-health", layout="top-level"),
              line(ok=True, command="adapter-status", backend="CH0I", status="unknown"),
              failed("unknown", "ENCODE_FAILED", "failed to encode response"),
              # What the lines of the holder's life print only after a day or with another holder running.
              line(ok=True, command="hold-daemon", event="wait", holder=dict(pid=4321, lower=75, upper=80)),
              line(ok=True, command="hold-daemon", event="wait"), holder_line("dark", 76, {"adapter": "on"}),
              BAD_BAND.replace('"hold"', '"hold-daemon"')[:-1] + ',"writes":{"adapter":"on"}}']

KEYS = keys_line("arm64", "CHTE:ui32=00000000")
BAD_LINES = [
    status("CHTE", "enabled")[:-1] + ',"extra":1}',  # an unknown member
    status("CHTE", "Enabled"),
    status("CH0B", "unknown"),
    line(ok=False, command="charging", value="off", code="WRITE_UNAVAILABLE"),  # code without error
    wrote("charging", "CHTE", "off")[:-1] + ',"code":"WRITE_FAILED","error":"SMC write failed: io=1 smc=0"}',
    io_failed("charging", "off", "CHTE", 1, 256),
    failed("adapter", "INVALID_ARGS", "charging expects on/off"),
    line(ok=True, command="version", version="0.2"),
    caps("arm64")[:-1] + ',"version":"0.2.0"}',  # a member of another command's line
    KEYS.replace(':"00000000"', ':"0000000A"'),  # upper-case hex
    KEYS.replace(',"value":"00000000"', ""),  # a known key without value or error
    KEYS.replace(',"value":"00000000"', ',"value":"00000000","error":"not-privileged"'),
    KEYS.replace(',"ACLC":{"known":false,"error":"key-not-found"}', ""),
    KEYS.replace('"known":false,"error":"key-not-found"', '"known":false,"size":0,"error":"key-not-found"'),
    KEYS.replace('"error":"key-not-found"', '"error":"io=1 smc=256"'),
    KEYS.replace('"attributes":"d4"', '"attributes":"D4"'),
    KEYS.replace(',"attributes":"d4"', ""),
    controls("CHTE CHTE CHIE CHIE").replace('"charging"', '"charge"'),  # an unknown operation
    controls("- CHIE - -"),  # another operation's backend
    caps("arm64")[:-1] + ',"controls":{}}',
    line(ok=True, command="adapter-status", backend="CH0B", status="enabled"),
    battery(101), battery("78"), battery(78.5), battery(78, "ac"), battery(78, charging="true"),
    battery(78)[:-1] + ',"writes":{}}', NO_BATTERY[:-1] + ',"level":0}',
    held(81, {"charging": "maybe"}), held(81, {"fan": "on"}), held(81).replace(',"writes":{}', ""),  # no writes
    held(81, {"adapter": "off"}, **IO_ERROR_WRITE).replace('"level":81,', ""),  # a failed write without the level
    held(81, **NO_LEVEL), held(None, {"charging": "on"}, **NO_LEVEL), held(None, **NO_KEY),
    held(81, code="STATUS_UNAVAILABLE", error="unable to determine charging status"),
    held(80, {"charging": "off"}, **IO_ERROR_READ), held(None, **IO_ERROR_READ), held(None, **UNKNOWN),  # decided, unread
    held(80, code="READ_FAILED", error="SMC read failed: io=1"),
    caps("arm64")[:-1] + ',"level":5}', BAD_BAND[:-1] + ',"writes":{}}',
    # A holder's line names its event, reads the level at each but its stop, and starts or not as a whole.
    line(ok=True, command="hold-daemon", level=80, writes={}), line(ok=True, command="hold", event="start", level=80, writes={}),
    holder_line("stop", 80), holder_line("start"), holder_line("nap", 80), holder_line("stop", code="WRITE_UNAVAILABLE",
    error="no supported control key found"),
    holder_line("start", writes={"charging": "on"}, code="HOLDER_UNAVAILABLE", error="unable to start the holder"),
    line(ok=True, command="hold-daemon", event="wait", holder=dict(pid=4321, lower=75, upper=80), writes={}),
    holder_line("start", 80)[:-1] + ',"holder":{"pid":1,"lower":75,"upper":80}}',
    BAD_BAND.replace('"hold"', '"hold-daemon"')[:-1] + ',"writes":{"charging":"on"}}',
    failed("hold-daemon", "INVALID_ARGS", "hold expects LOWER UPPER, 20 <= LOWER < UPPER <= 100", event="start"),
    # The battery's health: its layout always, each figure of its type and range, on its own line alone.
    line(ok=True, command="battery-health", cycleCount=1), health().replace("top-level", "Intel"),
    health().replace("30.5", '"30.5"'), health().replace("112", "-1"), health()[:-1] + ',"level":60}',
    NO_HEALTH[:-1] + ',"layout":"intel"}', battery(60)[:-1] + ',"temperature":30.5}',
]


class Schema(unittest.TestCase):
    def test_lines_pass_or_fail(self):
        jsonschema.Draft202012Validator.check_schema(VALIDATOR.schema)
        for example in GOOD_LINES + BAD_LINES:
            with self.subTest(line=example):
                self.assertEqual(VALIDATOR.is_valid(json.loads(example)), example in GOOD_LINES)

    def test_ajv_in_strict_mode_agrees(self):
        """Ajv 8, the validator of JavaScript apps, in strict mode: the schema compiles without a
        complaint and takes each line as jsonschema does."""
        if not AJV:
            self.skipTest("no --ajv")
        with tempfile.TemporaryDirectory() as folder:
            expected = {}
            for i, example in enumerate(GOOD_LINES + BAD_LINES):
                path = os.path.join(folder, f"{i}.json")
                with open(path, "w", encoding="utf-8") as f:
                    f.write(example)
                expected[path] = (example, "valid" if example in GOOD_LINES else "invalid")
            done = subprocess.run(["node", AJV, "validate", "--strict=true", "--errors=no", "-s", SCHEMA]
                                  + list(expected), capture_output=True, text=True)
        # One verdict per file on standard error, and nothing else.
        verdicts = dict(line.rsplit(" ", 1) for line in done.stderr.splitlines() if line.count(" ") == 1)
        self.assertEqual(done.stderr.count("\n"), len(expected), done.stderr[:2000])
        for path, (example, verdict) in expected.items():
            self.assertEqual(verdicts.get(path), verdict, example)


def main():
    global CHARGE, EMU, VALIDATOR, VERSION, WRAP, STRINGS, FAILING_EMU, SCHEMA, AJV
    parser = argparse.ArgumentParser()
    for name in ("charge", "emu", "schema", "version"):
        parser.add_argument("--" + name, required=True)
    parser.add_argument("--wrap", default="", help="a command prefix for every run of the binaries")
    parser.add_argument("--strings", help="blns.json, the naughty strings")
    parser.add_argument("--failing-emu", help="smc-emu with an operator new that fails on demand")
    parser.add_argument("--ajv", help="lib/main.js of the npm package @jirutka/ajv-cli")
    args, rest = parser.parse_known_args()
    SCHEMA, AJV = args.schema, args.ajv
    CHARGE, EMU, VERSION, WRAP, FAILING_EMU = args.charge, args.emu, args.version, args.wrap.split(), args.failing_emu
    VALIDATOR = jsonschema.Draft202012Validator(json.loads(text(args.schema)))
    STRINGS = json.loads(text(args.strings)) if args.strings else None
    result = unittest.main(argv=[sys.argv[0]] + rest, verbosity=1, exit=False).result
    # A test skipped as a whole (not one case of it) counts; 77 is ctest's SKIP_RETURN_CODE here.
    skipped = [test for test, _ in result.skipped if not hasattr(test, "test_case")]
    sys.exit(1 if not result.wasSuccessful() else 77 if result.testsRun and len(skipped) == result.testsRun else 0)


if __name__ == "__main__":
    main()
