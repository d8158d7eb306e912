#!/usr/bin/env python3
"""End-to-end tests: the built smc-charge and smc-emu, run as processes the
way a caller runs them. Every JSON line seen is checked against the schema.

    e2e_test.py --charge BIN --emu BIN --schema FILE [--wrap CMD] [unittest arguments]
"""

import argparse
import json
import os
import platform
import stat
import subprocess
import sys
import tempfile
import unittest

import jsonschema

CHARGE = EMU = None
WRAP = []  # a command that runs each binary, such as valgrind
VALIDATOR = None

NF = "key-not-found"
ALL_KEYS = ["CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "CH0J", "ACLC"]


# --- The driver traffic of one key access, as the trace shows it ----------

def check(key, fail=None):
    """An existence check: its own connection and one information query."""
    return ["open", f"info {key}" + (f" -> {fail}" if fail else ""), "close"]


def read(key, fail=None):
    return ["open", f"info {key}", f"read {key}" + (f" -> {fail}" if fail else ""), "close"]


def write(key, hex):
    return ["open", f"info {key}", f"write {key} {hex}", "close"]


def write_fails(key, fail):
    return ["open", f"info {key}", f"write {key} -> {fail}", "close"]


def caps_trace(present):
    return sum((check(k) if k in present else check(k, NF) for k in ALL_KEYS), [])


# --- The lines -------------------------------------------------------------

def caps(arch, *present):
    supports = ",".join(f'"{k}":{"true" if k in present else "false"}' for k in ALL_KEYS)
    return f'{{"ok":true,"command":"capabilities","supports":{{{supports}}},"arch":"{arch}"}}'


def status(backend, word):
    return f'{{"ok":true,"command":"charging-status","backend":"{backend}","status":"{word}"}}'


def wrote(command, backend, value):
    return f'{{"ok":true,"command":"{command}","backend":"{backend}","value":"{value}"}}'


def failed(command, value, code, error, backend=None):
    b = f'"backend":"{backend}",' if backend else ""
    return f'{{"ok":false,"command":"{command}",{b}"value":"{value}","code":"{code}","error":"{error}"}}'


def unavailable(command, value):
    return failed(command, value, "WRITE_UNAVAILABLE", "no supported control key found")


def io_failed(command, value, backend, io, smc):
    return failed(command, value, "WRITE_FAILED", f"SMC write failed: io={io} smc={smc}", backend)


NO_STATUS = ('{"ok":false,"command":"charging-status","code":"STATUS_UNAVAILABLE",'
             '"error":"unable to determine charging status"}')
MISSING = '{"ok":false,"command":"unknown","code":"INVALID_ARGS","error":"missing command"}'


# --- Running ---------------------------------------------------------------

def run(argv):
    if WRAP and argv[0] in (CHARGE, EMU):
        argv = WRAP + list(argv)
    p = subprocess.run(argv, capture_output=True, timeout=120 if WRAP else 30)
    return p.stdout.decode("utf-8"), p.stderr.decode("utf-8", "replace"), p.returncode


class E2E(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = self._dir.name
        self.addCleanup(self._dir.cleanup)
        self.runs = 0

    def path(self, name):
        return os.path.join(self.dir, name)

    def helper_line(self, argv):
        """Runs a helper (plain or emulated); checks the one valid line and
        the silent standard error; returns (line, exit status)."""
        out, err, code = run(argv)
        self.assertEqual(err, "", argv)
        self.assertTrue(out.endswith("\n") and out.count("\n") == 1, (argv, out))
        line = out[:-1]
        obj = json.loads(line)
        errors = [e.message for e in VALIDATOR.iter_errors(obj)]
        self.assertEqual(errors, [], line)
        self.assertEqual(code, 0 if obj["ok"] else 1, line)
        return line, code

    def emu(self, *args, state=None):
        """smc-emu with a fresh trace; returns (line, trace lines)."""
        self.runs += 1
        trace = self.path(f"trace{self.runs}")
        options = ["--trace", trace] + (["--state", state] if state else [])
        line, _ = self.helper_line([EMU] + options + list(args))
        with open(trace) as f:
            return line, f.read().splitlines()

    def expect(self, args, line, trace=None, state=None):
        got, got_trace = self.emu(*args, state=state)
        self.assertEqual(got, line, args)
        if trace is not None:
            self.assertEqual(got_trace, trace, args)


# --- Each command on each built-in machine --------------------------------

AS_PRESENT = {"CHTE", "CH0B", "CH0C", "CH0I", "CHIE", "ACLC"}
LEGACY_PRESENT = {"CH0B", "CH0C", "CH0I", "CH0J", "ACLC"}
INTEL_PRESENT = {"CH0B", "CH0C", "CH0I", "ACLC"}
PLACEHOLDER_PRESENT = {"CHTE", "CH0B", "CH0C", "CH0I", "CHIE"}


def family2(value):
    """The charging write through CH0B and CH0C after CHTE was not found."""
    return check("CHTE", NF) + check("CH0B") + check("CH0B") + write("CH0B", value) + \
        check("CH0C") + write("CH0C", value)


COMMANDS = {
    "apple-silicon": [
        (["capabilities"], caps("arm64", *AS_PRESENT), caps_trace(AS_PRESENT)),
        (["charging-status"], status("CHTE", "enabled"), read("CHTE")),
        (["charging", "on"], wrote("charging", "CHTE", "on"), check("CHTE") + write("CHTE", "00000000")),
        (["charging", "off"], wrote("charging", "CHTE", "off"), check("CHTE") + write("CHTE", "01000000")),
        (["adapter", "on"], wrote("adapter", "CHIE", "on"), check("CHIE") + write("CHIE", "00")),
        (["adapter", "off"], wrote("adapter", "CHIE", "off"), check("CHIE") + write("CHIE", "08")),
    ],
    "apple-silicon-legacy": [
        (["capabilities"], caps("arm64", *LEGACY_PRESENT), caps_trace(LEGACY_PRESENT)),
        (["charging-status"], status("CH0B", "enabled"), check("CHTE", NF) + read("CH0B")),
        (["charging", "on"], wrote("charging", "CH0B_CH0C", "on"), family2("00")),
        (["charging", "off"], wrote("charging", "CH0B_CH0C", "off"), family2("02")),
        (["adapter", "on"], wrote("adapter", "CH0J", "on"), check("CHIE", NF) + check("CH0J") + write("CH0J", "00")),
        (["adapter", "off"], wrote("adapter", "CH0J", "off"), check("CHIE", NF) + check("CH0J") + write("CH0J", "01")),
    ],
    "intel": [
        (["capabilities"], caps("x86_64", *INTEL_PRESENT), caps_trace(INTEL_PRESENT)),
        (["charging-status"], status("CH0B", "enabled"), check("CHTE", NF) + read("CH0B")),
        (["charging", "on"], wrote("charging", "CH0B_CH0C", "on"), family2("00")),
        (["charging", "off"], wrote("charging", "CH0B_CH0C", "off"), family2("02")),
        (["adapter", "on"], wrote("adapter", "CH0I", "on"),
         check("CHIE", NF) + check("CH0J", NF) + check("CH0I") + write("CH0I", "00")),
        (["adapter", "off"], wrote("adapter", "CH0I", "off"),
         check("CHIE", NF) + check("CH0J", NF) + check("CH0I") + write("CH0I", "01")),
    ],
    # Zero-size keys exist but are never written, and an empty CHTE is no status.
    "placeholder": [
        (["capabilities"], caps("arm64", *PLACEHOLDER_PRESENT), caps_trace(PLACEHOLDER_PRESENT)),
        (["charging-status"], NO_STATUS, read("CHTE") + read("CH0B")),
        (["charging", "on"], unavailable("charging", "on"), check("CHTE") + check("CH0B") + check("CH0C")),
        (["charging", "off"], unavailable("charging", "off"), check("CHTE") + check("CH0B") + check("CH0C")),
        (["adapter", "on"], wrote("adapter", "CHIE", "on"), check("CHIE") + write("CHIE", "00")),
        (["adapter", "off"], wrote("adapter", "CHIE", "off"), check("CHIE") + write("CHIE", "08")),
    ],
    "bare": [
        (["capabilities"], caps("arm64"), caps_trace(set())),
        (["charging-status"], NO_STATUS, check("CHTE", NF) + check("CH0B", NF)),
        (["charging", "on"], unavailable("charging", "on"), check("CHTE", NF) + check("CH0B", NF) + check("CH0C", NF)),
        (["charging", "off"], unavailable("charging", "off"), check("CHTE", NF) + check("CH0B", NF) + check("CH0C", NF)),
        (["adapter", "on"], unavailable("adapter", "on"), check("CHIE", NF) + check("CH0J", NF) + check("CH0I", NF)),
        (["adapter", "off"], unavailable("adapter", "off"), check("CHIE", NF) + check("CH0J", NF) + check("CH0I", NF)),
    ],
    "no-driver": [
        (["capabilities"], caps("arm64"), ["no-driver"] * 7),
        (["charging-status"], NO_STATUS, ["no-driver"] * 2),
        (["charging", "on"], unavailable("charging", "on"), ["no-driver"] * 3),
        (["charging", "off"], unavailable("charging", "off"), ["no-driver"] * 3),
        (["adapter", "on"], unavailable("adapter", "on"), ["no-driver"] * 3),
        (["adapter", "off"], unavailable("adapter", "off"), ["no-driver"] * 3),
    ],
}

# The built-in machines as the issue lists them, in the state file's form.
CATALOG = {
    "apple-silicon": ["arch arm64", "driver present", "key ACLC:ui8 =00", "key CH0B:hex_=",
                      "key CH0C:hex_=", "key CH0I:ui8 =", "key CHIE:hex_=00", "key CHTE:ui32=00000000"],
    "apple-silicon-legacy": ["arch arm64", "driver present", "key ACLC:ui8 =00", "key CH0B:hex_=00",
                             "key CH0C:hex_=00", "key CH0I:ui8 =00", "key CH0J:ui8 =00"],
    "intel": ["arch absent", "driver present", "key ACLC:ui8 =00", "key CH0B:hex_=00",
              "key CH0C:hex_=00", "key CH0I:ui8 =00"],
    "placeholder": ["arch arm64", "driver present", "key CH0B:hex_=", "key CH0C:hex_=",
                    "key CH0I:ui8 =", "key CHIE:hex_=00", "key CHTE:ui32="],
    "bare": ["arch arm64", "driver present"],
    "no-driver": ["arch arm64", "driver absent"],
}

# Argument errors: answered before any driver traffic, alike by both binaries.
ARGUMENT_ERRORS = [
    ([], MISSING),
    (["unknown"], '{"ok":false,"command":"unknown","code":"UNKNOWN_COMMAND","error":"unknown command"}'),
    (["Charging", "on"], '{"ok":false,"command":"Charging","code":"UNKNOWN_COMMAND","error":"unknown command"}'),
    (["charging"], '{"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"}'),
    (["charging", "OFF"], '{"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"}'),
    (["adapter", ""], '{"ok":false,"command":"adapter","code":"INVALID_ARGS","error":"adapter expects on/off"}'),
]


class Commands(E2E):
    def test_each_command_on_each_machine(self):
        self.assertEqual(sorted(COMMANDS), sorted(CATALOG))
        for machine, rows in COMMANDS.items():
            for args, line, trace in rows:
                with self.subTest(machine=machine, args=args):
                    self.expect(["--machine", machine] + args, line, trace)
                    # Arguments after the ones a command reads change nothing.
                    self.expect(["--machine", machine] + args + ["extra"], line, trace)

    def test_the_catalog_is_the_issues(self):
        listing, err, code = run([EMU, "--list-machines"])
        self.assertEqual((err, code), ("", 0))
        for machine, lines in CATALOG.items():
            with self.subTest(machine=machine):
                state = self.path(machine + ".state")
                self.emu("--machine", machine, "capabilities", state=state)
                with open(state) as f:
                    kept = [l for l in f.read().splitlines() if not l.startswith("#")]
                self.assertEqual(kept, lines)
                self.assertIn("\n".join(f"  {l}" for l in lines) + "\n", listing)
                self.assertIn(f"\n{machine}: " if machine != "apple-silicon" else "apple-silicon: ",
                              listing)

    def test_argument_errors_touch_no_driver(self):
        for args, line in ARGUMENT_ERRORS:
            with self.subTest(args=args):
                self.expect(args, line, [])
                self.assertEqual(self.helper_line([CHARGE] + args), (line, 1))

    def test_plain_helper_finds_no_driver(self):
        # Built here, the helper truthfully sees a Mac without the driver; only
        # the architecture comes from the host.
        host = "arm64" if platform.machine() == "aarch64" else "x86_64"
        self.assertEqual(self.helper_line([CHARGE, "capabilities"]), (caps(host), 0))
        for args, line, _ in COMMANDS["no-driver"][1:]:
            with self.subTest(args=args):
                self.assertEqual(self.helper_line([CHARGE] + args), (line, 1))


# --- Each fault at each position that matters ------------------------------

KNF = "KEY_NOT_FOUND"
IO_ERROR = -536870212

FAULTS = [
    # charging off on apple-silicon: check CHTE, then write CHTE.
    ("apple-silicon", ["--fail", "open=not-privileged@1"], ["charging", "off"], unavailable("charging", "off"),
     ["open -> not-privileged"] + check("CH0B") + check("CH0C")),
    ("apple-silicon", ["--fail", "open=no-driver@1"], ["charging", "off"], unavailable("charging", "off"),
     ["no-driver"] + check("CH0B") + check("CH0C")),
    ("apple-silicon", ["--fail", "info:CHTE=key-not-found@1"], ["charging", "off"], unavailable("charging", "off"),
     check("CHTE", NF) + check("CH0B") + check("CH0C")),
    ("apple-silicon", ["--fail", "open=io-error@2"], ["charging", "off"],
     failed("charging", "off", "SMC_OPEN_FAILED", "failed to open AppleSMC", "CHTE"),
     check("CHTE") + ["open -> io-error"]),
    ("apple-silicon", ["--fail", "open=no-driver@2"], ["charging", "off"],
     failed("charging", "off", "DRIVER_NOT_FOUND", "AppleSMC driver not found", "CHTE"),
     check("CHTE") + ["no-driver"]),
    ("apple-silicon", ["--fail", "info:CHTE=key-not-found@2"], ["charging", "off"],
     failed("charging", "off", KNF, "SMC key not found: CHTE", "CHTE"),
     check("CHTE") + check("CHTE", NF)),
    ("apple-silicon", ["--fail", "info:*=io-error@2"], ["charging", "off"],
     io_failed("charging", "off", "CHTE", IO_ERROR, 0), check("CHTE") + check("CHTE", "io-error")),
    ("apple-silicon", ["--fail", "info:CHTE=result=7@2"], ["charging", "off"],
     io_failed("charging", "off", "CHTE", 0, 7), check("CHTE") + check("CHTE", "result=7")),
    ("apple-silicon", ["--fail", "write:CHTE=not-privileged"], ["charging", "off"],
     failed("charging", "off", "PERMISSION_DENIED", "root privileges required", "CHTE"),
     check("CHTE") + write_fails("CHTE", "not-privileged")),
    ("apple-silicon", ["--unprivileged"], ["charging", "on"],
     failed("charging", "on", "PERMISSION_DENIED", "root privileges required", "CHTE"),
     check("CHTE") + write_fails("CHTE", "not-privileged")),
    ("apple-silicon", ["--fail", "write:CHTE=key-not-found"], ["charging", "off"],
     failed("charging", "off", KNF, "SMC key not found: CHTE", "CHTE"), check("CHTE") + write_fails("CHTE", NF)),
    ("apple-silicon", ["--fail", "write:*=result=255"], ["charging", "off"],
     io_failed("charging", "off", "CHTE", 0, 255), check("CHTE") + write_fails("CHTE", "result=255")),
    ("apple-silicon", ["--fail", "write:CHTE=io=0x10"], ["charging", "off"],
     io_failed("charging", "off", "CHTE", 16, 0), check("CHTE") + write_fails("CHTE", "io=0x00000010")),
    ("apple-silicon", ["--fail", "write:CHTE=io=0xe00002c2@1"], ["charging", "off"],
     io_failed("charging", "off", "CHTE", -536870206, 0), check("CHTE") + write_fails("CHTE", "io=0xe00002c2")),
    # charging off through CH0B and CH0C: a failure stops the rest; a re-check
    # that fails skips its key; nothing written is no success.
    ("apple-silicon-legacy", ["--fail", "write:CH0B=io-error"], ["charging", "off"],
     io_failed("charging", "off", "CH0B_CH0C", IO_ERROR, 0),
     check("CHTE", NF) + check("CH0B") + check("CH0B") + write_fails("CH0B", "io-error")),
    ("apple-silicon-legacy", ["--fail", "write:CH0C=not-privileged"], ["charging", "off"],
     failed("charging", "off", "PERMISSION_DENIED", "root privileges required", "CH0B_CH0C"),
     check("CHTE", NF) + check("CH0B") + check("CH0B") + write("CH0B", "02") + check("CH0C") +
     write_fails("CH0C", "not-privileged")),
    ("apple-silicon-legacy", ["--fail", "info:CH0C=key-not-found@2"], ["charging", "off"],
     failed("charging", "off", KNF, "SMC key not found: CH0C", "CH0B_CH0C"),
     check("CHTE", NF) + check("CH0B") + check("CH0B") + write("CH0B", "02") + check("CH0C") +
     check("CH0C", NF)),
    ("apple-silicon-legacy", ["--fail", "open=not-privileged@4"], ["charging", "off"],
     failed("charging", "off", "SMC_OPEN_FAILED", "failed to open AppleSMC", "CH0B_CH0C"),
     check("CHTE", NF) + check("CH0B") + check("CH0B") + ["open -> not-privileged"]),
    ("apple-silicon-legacy", ["--fail", "info:CH0B=key-not-found@1"], ["charging", "off"],
     wrote("charging", "CH0B_CH0C", "off"),
     check("CHTE", NF) + check("CH0B", NF) + check("CH0C") + check("CH0B") + write("CH0B", "02") +
     check("CH0C") + write("CH0C", "02")),
    ("apple-silicon-legacy", ["--fail", "info:CH0B=key-not-found@2"], ["charging", "off"],
     wrote("charging", "CH0B_CH0C", "off"),
     check("CHTE", NF) + check("CH0B") + check("CH0B", NF) + check("CH0C") + write("CH0C", "02")),
    ("apple-silicon-legacy", ["--fail", "info:CH0B=key-not-found", "--fail", "info:CH0C=key-not-found@2"],
     ["charging", "off"], unavailable("charging", "off"),
     check("CHTE", NF) + check("CH0B", NF) + check("CH0C") + check("CH0B", NF) + check("CH0C", NF)),
    # charging-status: a CHTE that cannot be read hands over to CH0B.
    ("apple-silicon", ["--fail", "read:CHTE=io-error"], ["charging-status"], NO_STATUS,
     read("CHTE", "io-error") + read("CH0B")),
    ("apple-silicon", ["--key", "CH0B=02", "--fail", "read:CHTE=not-privileged"], ["charging-status"],
     status("CH0B", "disabled"), read("CHTE", "not-privileged") + read("CH0B")),
    ("apple-silicon", ["--key", "CH0B=02", "--fail", "open=no-driver@1"], ["charging-status"],
     status("CH0B", "disabled"), ["no-driver"] + read("CH0B")),
    ("apple-silicon-legacy", ["--fail", "read:CH0B=result=5"], ["charging-status"], NO_STATUS,
     check("CHTE", NF) + read("CH0B", "result=5")),
    # adapter: the first key found is the only one tried.
    ("apple-silicon", ["--fail", "write:CHIE=io=0xe00002c2"], ["adapter", "off"],
     io_failed("adapter", "off", "CHIE", -536870206, 0), check("CHIE") + write_fails("CHIE", "io=0xe00002c2")),
    ("apple-silicon", ["--fail", "info:CHIE=key-not-found@1"], ["adapter", "off"], unavailable("adapter", "off"),
     check("CHIE", NF) + check("CH0J", NF) + check("CH0I")),
    ("apple-silicon-legacy", ["--fail", "info:CH0J=not-privileged@1"], ["adapter", "off"],
     wrote("adapter", "CH0I", "off"),
     check("CHIE", NF) + check("CH0J", "not-privileged") + check("CH0I") + write("CH0I", "01")),
    ("apple-silicon-legacy", ["--unprivileged"], ["adapter", "on"],
     failed("adapter", "on", "PERMISSION_DENIED", "root privileges required", "CH0J"),
     check("CHIE", NF) + check("CH0J") + write_fails("CH0J", "not-privileged")),
    ("intel", ["--fail", "write:CH0I=key-not-found"], ["adapter", "off"],
     failed("adapter", "off", KNF, "SMC key not found: CH0I", "CH0I"),
     check("CHIE", NF) + check("CH0J", NF) + check("CH0I") + write_fails("CH0I", NF)),
    ("intel", ["--fail", "open=io=-5@4"], ["adapter", "off"],
     failed("adapter", "off", "SMC_OPEN_FAILED", "failed to open AppleSMC", "CH0I"),
     check("CHIE", NF) + check("CH0J", NF) + check("CH0I") + ["open -> io=0xfffffffb"]),
    # capabilities: a failed check is a false entry, nothing more.
    ("apple-silicon", ["--fail", "info:*=not-privileged@3"], ["capabilities"],
     caps("arm64", *(AS_PRESENT - {"CH0C"})),
     check("CHTE") + check("CH0B") + check("CH0C", "not-privileged") + caps_trace(AS_PRESENT)[9:]),
    ("apple-silicon", ["--fail", "open=io-error@1"], ["capabilities"], caps("arm64", *(AS_PRESENT - {"CHTE"})),
     ["open -> io-error"] + caps_trace(AS_PRESENT)[3:]),
    ("apple-silicon", ["--fail", "open=no-driver"], ["capabilities"], caps("arm64"), ["no-driver"] * 7),
    ("apple-silicon", ["--unprivileged"], ["capabilities"], caps("arm64", *AS_PRESENT), caps_trace(AS_PRESENT)),
]


class Faults(E2E):
    def test_each_fault(self):
        for machine, options, args, line, trace in FAULTS:
            with self.subTest(machine=machine, options=options, args=args):
                self.expect(["--machine", machine] + options + args, line, trace)


# --- Options that shape the machine ----------------------------------------

OPTIONS = [
    (["--machine", "intel", "--arch", "arm64", "capabilities"], caps("arm64", *INTEL_PRESENT)),
    (["--machine", "intel", "--arch", "x86_64", "capabilities"], caps("x86_64", *INTEL_PRESENT)),
    (["--arch", "absent", "capabilities"], caps("x86_64", *AS_PRESENT)),
    (["--arch", "x86_64", "capabilities"], caps("x86_64", *AS_PRESENT)),
    (["capabilities"], caps("arm64", *AS_PRESENT)),  # apple-silicon is the default
    (["--key", "CHTE=02000000", "charging-status"], status("CHTE", "unknown")),
    (["--key", "CHTE=01", "charging-status"], status("CHTE", "disabled")),
    (["--key", "chte=01", "--key", "CHTE=0000000001", "charging-status"], status("CHTE", "enabled")),
    (["--key", "CHTE=", "charging-status"], NO_STATUS),
    (["--key", "CHTE:ui32=", "charging", "off"], unavailable("charging", "off")),
    (["--drop", "CHTE", "charging", "off"], unavailable("charging", "off")),
    (["--drop", "CHTE", "--key", "CH0C=00", "charging", "off"], wrote("charging", "CH0B_CH0C", "off")),
    (["--key", "CHTE=01000000", "--drop", "CHTE", "--drop", "CHTE", "charging-status"], NO_STATUS),
    (["--key", "CH0J:ui8 =00", "--drop", "ACLC", "capabilities"],
     caps("arm64", *(AS_PRESENT | {"CH0J"}) - {"ACLC"})),
    (["--drop", "CHIE", "--key", "CH0I=00", "adapter", "off"], wrote("adapter", "CH0I", "off")),
    (["--machine", "no-driver", "--machine", "bare", "--key", "CHTE=00", "charging-status"],
     status("CHTE", "enabled")),
    (["--", "--help"], '{"ok":false,"command":"--help","code":"UNKNOWN_COMMAND","error":"unknown command"}'),
    (["-", "on"], '{"ok":false,"command":"-","code":"UNKNOWN_COMMAND","error":"unknown command"}'),
    (["charging", "--machine"], '{"ok":false,"command":"charging","code":"INVALID_ARGS","error":"charging expects on/off"}'),
    (["--"], MISSING),
]

# The emulator's own errors, each with the start of its message.
C = ["charging", "off"]
EMU_ERRORS = [
    (["--bogus", *C], "unknown option '--bogus'"),
    (["-x", *C], "unknown option '-x'"),
    (["--machine"], "--machine needs a value"),
    (["--machine", "mac-pro", *C], "unknown machine 'mac-pro'"),
    (["--key", "CHT=00", *C], "--key 'CHT=00' is not NAME=HEX"),
    (["--key", "CHTE:ui3=00", *C], "--key 'CHTE:ui3=00' is not NAME=HEX"),
    (["--key", "CHTE", *C], "--key 'CHTE' is not NAME=HEX"),
    (["--key", "CH\tE=00", *C], "--key 'CH\tE=00': NAME and TYPE must be printable"),
    (["--key", "CHTE=0", *C], "--key 'CHTE=0': HEX must be"),
    (["--key", "CHTE=0g", *C], "--key 'CHTE=0g': HEX must be"),
    (["--key", "CHTE=" + "00" * 33, *C], "--key 'CHTE=" + "00" * 33 + "': HEX must be"),
    (["--drop", "CHTEX", *C], "--drop 'CHTEX': NAME must be"),
    (["--arch", "arm", *C], "--arch 'arm': expected"),
    (["--fail", "open=key-not-found", *C], "--fail 'open=key-not-found': an opening cannot"),
    (["--fail", "open=result=3@1", *C], "--fail 'open=result=3@1': an opening cannot"),
    (["--fail", "read:CHT=io-error", *C], "--fail 'read:CHT=io-error' is not"),
    (["--fail", "info:CHTE=io-eror", *C], "--fail 'info:CHTE=io-eror' is not"),
    (["--fail", "write:*=io-error@0", *C], "--fail 'write:*=io-error@0' is not"),
    (["--fail", "info:*=result=256", *C], "--fail 'info:*=result=256' is not"),
    (["--fail", "close=io-error", *C], "--fail 'close=io-error' is not"),
    (["--state", "", *C], "a FILE may not be empty"),
]

# Malformed state files, each with the start of its message after the path.
BAD_STATES = [
    ("", "no arch line"),
    ("arch arm64\n", "no driver line"),
    ("arch arm64\ndriver present\nkey CHTE=0\n", "line 3: 'CHTE=0': HEX must be"),
    ("arch arm64\ndriver present\nkey CHTE=00\nkey CHTE:ui32=00\n", "line 4: key 'CHTE' stands twice"),
    ("arch arm64\narch absent\ndriver present\n", "line 2: arch stands twice"),
    ("arch arm\ndriver present\n", "line 1: arch must be"),
    ("arch arm64\ndriver maybe\n", "line 2: driver must be"),
    ("arch arm64\ndriver present \n", "line 2: driver must be"),
    ("arch arm64\r\ndriver present\r\n", "line 1: arch must be"),
    ("# ok\n\narch arm64\ndriver present\nCHTE:ui32=00\n", "line 5: expected arch, driver, key"),
]


class Options(E2E):
    def test_options_shape_the_machine(self):
        for args, line in OPTIONS:
            with self.subTest(args=args):
                self.assertEqual(self.emu(*args)[0], line)

    def test_help_and_list(self):
        for option in ["--help", "--list-machines"]:
            with self.subTest(option=option):
                out, err, code = run([EMU, option, "--state", self.path("s"), "capabilities"])
                self.assertEqual((err, code), ("", 0))
                self.assertTrue(out.endswith("\n") and len(out) > 200)
                self.assertEqual(os.listdir(self.dir), [])
        self.assertTrue(run([EMU, "--help"])[0].startswith("Usage: smc-emu [OPTION]... [--] COMMAND [ARG]...\n"))

    def assert_emu_error(self, argv, message):
        """Exit 2, one line on standard error, nothing printed, no file touched."""
        before = self.snapshot()
        out, err, code = run(argv)
        self.assertEqual((out, code), ("", 2), argv)
        self.assertTrue(err.startswith("smc-emu: " + message), (argv, err))
        self.assertEqual(err.count("\n"), 1, err)
        self.assertEqual(self.snapshot(), before, argv)

    def snapshot(self):
        files = {}
        for name in os.listdir(self.dir):
            if os.path.isfile(self.path(name)):
                with open(self.path(name), "rb") as f:
                    files[name] = f.read()
            else:
                files[name] = os.listdir(self.path(name))
        return files

    def test_emulator_errors_exit_2(self):
        state, trace = self.path("state"), self.path("trace")
        for args, message in EMU_ERRORS:
            with self.subTest(args=args):
                self.assert_emu_error([EMU, "--state", state, "--trace", trace] + args, message)

    def test_malformed_state_files_exit_2(self):
        state, trace = self.path("state"), self.path("trace")
        for text, message in BAD_STATES:
            with self.subTest(text=text):
                with open(state, "w") as f:
                    f.write(text)
                self.assert_emu_error([EMU, "--state", state, "--trace", trace, "charging", "off"],
                                      f"state file {state}, {message}")

    def test_unusable_files_exit_2(self):
        folder = self.path("folder")
        os.mkdir(folder)
        missing = self.path("missing/file")
        new = self.path("new")
        self.assert_emu_error([EMU, "--state", folder, "capabilities"], f"cannot read state file {folder}: ")
        # The trace is opened first; the state is then not created.
        self.assert_emu_error([EMU, "--state", new, "--trace", missing, "capabilities"],
                              f"cannot open trace file {missing}: ")
        # The state cannot be created; the new trace is taken back.
        self.assert_emu_error([EMU, "--state", missing, "--trace", new, "capabilities"],
                              f"cannot write state file {missing}: ")


# --- State carried across runs ----------------------------------------------

class State(E2E):
    def lines(self, path):
        with open(path) as f:
            return [l for l in f.read().splitlines() if not l.startswith("#")]

    def test_consecutive_runs_see_earlier_writes(self):
        cases = [
            ("apple-silicon", ["charging", "off"], status("CHTE", "disabled"), "key CHTE:ui32=01000000"),
            ("apple-silicon-legacy", ["charging", "off"], status("CH0B", "disabled"), "key CH0C:hex_=02"),
            ("intel", ["charging", "off"], status("CH0B", "disabled"), "key CH0B:hex_=02"),
            ("intel", ["adapter", "off"], status("CH0B", "enabled"), "key CH0I:ui8 =01"),
            ("placeholder", ["adapter", "off"], NO_STATUS, "key CHIE:hex_=08"),
        ]
        for machine, write_args, line, saved in cases:
            with self.subTest(machine=machine, args=write_args):
                state = self.path(machine + "-" + write_args[0])
                # Only the first run's --machine counts: then the file does.
                self.emu("--machine", machine, *write_args, state=state)
                self.assertIn(saved, self.lines(state))
                self.assertEqual(self.emu("--machine", "bare", "charging-status", state=state)[0], line)
        state = self.path("apple-silicon-charging")
        self.emu("charging", "on", state=state)
        self.assertEqual(self.emu("charging-status", state=state)[0], status("CHTE", "enabled"))
        self.assertEqual(sorted(os.listdir(self.dir)),
                         sorted([n for n in os.listdir(self.dir) if not n.startswith(".")]),
                         "a temporary file was left behind")

    def test_options_apply_on_top_without_saving(self):
        state = self.path("s")
        self.emu("--key", "CHTE=01000000", "capabilities", state=state)
        self.assertIn("key CHTE:ui32=01000000", self.lines(state))  # created with --key, type kept
        before = open(state).read()
        self.assertEqual(self.emu("--key", "CHTE=00000000", "--arch", "x86_64", "charging-status", state=state)[0],
                         status("CHTE", "enabled"))
        self.assertEqual(open(state).read(), before, "a run without a write saved the file")
        self.emu("--drop", "ACLC", "--arch", "absent", "adapter", "on", state=state)
        saved = self.lines(state)
        self.assertEqual(saved[:2], ["arch absent", "driver present"])
        self.assertNotIn("key ACLC:ui8 =00", saved)
        self.assertIn("key CHIE:hex_=00", saved)

    def test_only_carried_out_writes_are_saved(self):
        state = self.path("s")
        line, _ = self.emu("--machine", "apple-silicon-legacy", "--fail", "write:CH0C=io-error", "charging", "off",
                           state=state)
        self.assertEqual(line, io_failed("charging", "off", "CH0B_CH0C", IO_ERROR, 0))
        self.assertIn("key CH0B:hex_=02", self.lines(state))  # kept: no undoing
        self.assertIn("key CH0C:hex_=00", self.lines(state))
        self.emu("--unprivileged", "adapter", "off", state=state)
        self.assertIn("key CH0J:ui8 =00", self.lines(state))

    def test_hand_edited_file_and_its_mode(self):
        state = self.path("s")
        with open(state, "w") as f:
            f.write("# edited by hand\n\ndriver present\nkey CHTE:ui32=01000000\nkey #:= :    =\narch x86_64\n")
        os.chmod(state, 0o640)
        link = self.path("link")
        os.symlink("s", link)
        self.assertEqual(self.emu("capabilities", state=link)[0], caps("x86_64", "CHTE"))
        self.assertEqual(self.emu("charging-status", state=link)[0], status("CHTE", "disabled"))
        self.emu("charging", "on", state=link)
        self.assertTrue(os.path.islink(link), "the save replaced the link")
        self.assertEqual(stat.S_IMODE(os.stat(state).st_mode), 0o640)
        self.assertEqual(self.lines(state),
                         ["arch x86_64", "driver present", "key #:= :    =", "key CHTE:ui32=00000000"])

    def test_trace_appends_across_runs(self):
        trace = self.path("shared-trace")
        for args in (["charging-status"], ["adapter", "off"]):
            _, err, code = run([EMU, "--trace", trace] + args)
            self.assertEqual((err, code), ("", 0))
        with open(trace) as f:
            self.assertEqual(f.read().splitlines(), read("CHTE") + check("CHIE") + write("CHIE", "08"))


# --- The schema itself --------------------------------------------------------

GOOD_LINES = [
    caps("x86_64"), status("CHTE", "unknown"), wrote("charging", "CH0B_CH0C", "on"), NO_STATUS, MISSING,
    unavailable("adapter", "off"), io_failed("adapter", "on", "CH0J", -2147483648, 255),
    '{"ok":false,"command":"unknown","code":"UNKNOWN_COMMAND","error":"unknown command"}',
    '{"ok":false,"command":"","code":"UNKNOWN_COMMAND","error":"unknown command"}',
    '{"ok":false,"command":"unknown","code":"ENCODE_FAILED","error":"failed to encode response"}',
]

BAD_LINES = [
    '{"ok":true,"command":"charging-status","backend":"CHTE","status":"enabled","extra":1}',  # unknown member
    '{"ok":true,"command":"charging-status","backend":"CHTE","status":"Enabled"}',
    '{"ok":true,"command":"charging-status","backend":"CH0B","status":"unknown"}',
    '{"ok":true,"command":"charging-status","backend":"CHTE"}',
    '{"ok":true,"command":"charging","backend":"CHIE","value":"off"}',
    '{"ok":true,"command":"charging","backend":"CHTE","value":"1"}',
    '{"ok":true,"command":"charging","backend":"CHTE","value":"off","code":"WRITE_FAILED","error":"x"}',
    '{"ok":true,"command":"capabilities","supports":{"CHTE":true},"arch":"arm64"}',
    '{"ok":true,"command":"capabilities","supports":{},"arch":"arm64"}',
    caps("aarch64"),
    caps("arm64").replace('"ACLC":false', '"ACLC":false,"XXXX":true'),
    '{"ok":true,"command":"frobnicate"}',
    '{"ok":false,"command":"charging","value":"off","code":"WRITE_UNAVAILABLE"}',  # code without error
    '{"ok":false,"command":"charging","value":"off","error":"no supported control key found"}',
    '{"ok":false,"command":"charging","backend":"CHTE","value":"off","code":"WRITE_UNAVAILABLE",'
    '"error":"no supported control key found"}',
    '{"ok":false,"command":"charging","backend":"CHTE","value":"off","code":"WRITE_FAILED",'
    '"error":"SMC write failed: io=1 smc=256"}',
    '{"ok":false,"command":"charging","backend":"CHTE","value":"off","code":"KEY_NOT_FOUND",'
    '"error":"SMC key not found: ACLC"}',
    '{"ok":false,"command":"charging","backend":"CHTE","value":"off","code":"PERMISSION_DENIED",'
    '"error":"failed to open AppleSMC"}',
    '{"ok":false,"command":"charging","code":"UNKNOWN_COMMAND","error":"unknown command"}',
    '{"ok":false,"command":"unknown","code":"INVALID_ARGS","error":"missing command","value":"on"}',
    '{"ok":false,"command":"adapter","code":"INVALID_ARGS","error":"charging expects on/off"}',
    '{"ok":"false","command":"unknown","code":"INVALID_ARGS","error":"missing command"}',
    '{"ok":false,"command":"unknown","code":"INVALID_ARGS","error":"missing command","backend":null}',
]


class Schema(unittest.TestCase):
    def test_lines_pass_or_fail(self):
        jsonschema.Draft202012Validator.check_schema(VALIDATOR.schema)
        for line in GOOD_LINES:
            with self.subTest(line=line):
                self.assertTrue(VALIDATOR.is_valid(json.loads(line)))
        for line in BAD_LINES:
            with self.subTest(line=line):
                self.assertFalse(VALIDATOR.is_valid(json.loads(line)))


def main():
    global CHARGE, EMU, VALIDATOR, WRAP
    parser = argparse.ArgumentParser()
    parser.add_argument("--charge", required=True)
    parser.add_argument("--emu", required=True)
    parser.add_argument("--schema", required=True)
    parser.add_argument("--wrap", default="", help="a command prefix for every run of the binaries")
    args, rest = parser.parse_known_args()
    CHARGE, EMU, WRAP = args.charge, args.emu, args.wrap.split()
    with open(args.schema) as f:
        VALIDATOR = jsonschema.Draft202012Validator(json.load(f))
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=1)


if __name__ == "__main__":
    main()
