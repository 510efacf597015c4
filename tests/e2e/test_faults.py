#!/usr/bin/env python3
"""The real program on a hostile machine. One prefix is seeded once with every
fault at the same time: product files locked without sharing or that cannot be
opened at all, names outside the OEM code page and paths longer than 260
characters, registry keys that refuse the program, values of every odd type
and size and names with embedded NULs, a Startup folder and Run keys full of
odd entries, services whose binary paths lead nowhere, and no Windows Firewall
object (Wine has no Security Center either). The faults do not touch each
other, so one run of the program serves every collector case and is the
"everything at once" case too; each case checks its own part of that run's
archive. The destination faults need runs of their own, and fail.

Each run must end as it should and leave nothing behind: no working folder, no
temporary files, no partial archive, no process.

Covered elsewhere, not repeated here:
- a desktop that is a file instead of a folder: test_end_to_end.py FailedReport;
- a link planted where the working folder goes, a stale working folder, a
  temporary folder outside the code page, console tools that never end, a
  window closed during the report: test_working_folder.py.

The 5 GiB file (case 4) is seeded only with VELMORA_LARGE_TESTS=1."""

import glob
import hashlib
import os
import re
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import zipfile

import e2e_support as e2e
from seeded_product import INSTALL, SeededProduct, md5sum, uninstall_heading

BIN = None
LARGE = os.environ.get("VELMORA_LARGE_TESTS") == "1"
EMPTY_MD5 = hashlib.md5(b"").hexdigest()
PROGRAMS = ("systeminfo.exe", "schtasks.exe", "VelmoraHelper.exe")
REPORT_FILES = ["Findings.txt", "Velmora_Debug_Info.txt", "uninstall.txt", "boottime.txt",
                "diskinfo.txt", "StorageInfo.txt", "services.txt", "taskschd.txt", "SystemInfo.txt",
                "FilesInfo.txt"]
MARKER = "velmorareaderror"

REG_NONE, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 0, 1, 2, 3, 4, 7, 11

UNINSTALL = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
UNINSTALL_TWIN = "SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
FAULT_KEY = UNINSTALL + "\\Velmora Faults"
USER_FAULT_KEY = UNINSTALL + "\\Velmora Faults User"
# Enumerated after the user's fault key, so that the export's budget runs out
# in here and every earlier block stays whole.
LARGE_VALUES_KEY = UNINSTALL + "\\Velmora Large Values"
LARGE_VALUES = 50  # 1 MiB each, the most one value may cost
EXPORT_BUDGET = 8 << 20
SERVICES = "SYSTEM\\CurrentControlSet\\services"
SERVICE_FAULT_KEY = SERVICES + "\\VelmoraFaultKey"
SERVICE_AFTER_KEY = SERVICES + "\\VelmoraFaultKeyZ"
BOOT_KEY = SERVICES + "\\CorvaneBootTime"
DRIVER_KEY = SERVICES + "\\CorvaneDriver"
RUN = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_ONCE_EX = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnceEx"
POLICIES_RUN = "Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\Explorer\\Run"
NT_WINDOWS = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"

NO_ACCESS = "D:P"                 # nobody may do anything but the owner change it
READ_ONLY = "D:P(A;;KR;;;WD)"     # readable, but refuses full access

BIG_TEXT = "C:\\big\\" + "x" * (32767 - len("C:\\big\\"))  # 64 KiB with its NUL
HUGE_BINARY = 64 << 20  # a user's own value: far above what one value may cost
HUGE_TEXT = 3 << 20
VALUE_LIMIT = 1 << 20
LINKS = ("Link A", "Link B")  # under the user's entry, each leading back to it
LONG_COMMAND = "C:\\long.exe " + "/x" * 2500

NON_OEM = "\u0414\u043c\u0438\u0442\u0440\u0438\u0439 \u65e5\u672c"  # Cyrillic and CJK
OEM = "caf\u00e9"  # outside ASCII, inside code page 437
LONG_NAME = "n" * 226 + ".log"  # the installation's path and "Update\" make it 276
DEEP = "deep\\" + "\\".join(c * 60 for c in "defg")
DEEP_KEY = "\\".join(["Deep"] + ["level"] * 60)
# Uninstall entries of the product whose location is no text: passed over.
ODD_PRODUCT_ENTRIES = [("Corvane 4 Pro_is1", REG_DWORD, struct.pack("<I", 1), "===== Corvane v4 Pro"),
                       ("Corvane 3_is1", REG_BINARY, b"C:\\", "===== Corvane v3 free")]


def utf16(text):
    return text.encode("utf-16-le")


def hexed(text):
    return utf16(text).hex()


def win_text(text):
    """Registry text data with its terminating NUL."""
    return utf16(text + "\0")


# name, type, data, the line in "uninstall.txt" (None: no line)
ODD_VALUES = [
    ("qword", REG_QWORD, struct.pack("<Q", 0x0102030405060708),
     '"qword"=hex:08,07,06,05,04,03,02,01'),
    ("multi", REG_MULTI_SZ, utf16("a\0b\0\0"), '"multi"=hex:61,00,00,00,62,00,00,00,00,00'),
    ("none", REG_NONE, b"", '"none"='),
    ("odd type", 0x12345, b"\x01\x02", '"odd type"=hex:01,02'),
    ("short dword", REG_DWORD, b"\xaa\xbb", '"short dword"=dword:0000BBAA'),
    ("long dword", REG_DWORD, b"\x01" * 8, '"long dword"=' + MARKER),
    ("big text", REG_SZ, win_text(BIG_TEXT), '"big text"="' + BIG_TEXT.replace("\\", "\\\\") + '"'),
    ("text with nul", REG_SZ, utf16("before\0after\0"), '"text with nul"="before"'),
    ("odd length", REG_SZ, b"a\x00b", '"odd length"="a"'),
    ("unterminated", REG_SZ, utf16("abc"), '"unterminated"="abc"'),
    ("expand", REG_EXPAND_SZ, win_text("%SystemRoot%\\x"), '"expand"="%SystemRoot%\\\\x"'),
    # The registry API takes a name up to its first NUL: this one is read
    # through the native calls, not taken for "hidden", and shown with "\0".
    ("hidden\0name", REG_SZ, win_text("secret"), '"hidden\\0name"="secret"'),
    ("hidden", REG_SZ, win_text("visible"), '"hidden"="visible"'),
]


class Script:
    """Commands for velmora_fault_seeder, one a line."""

    def __init__(self):
        self.lines = []

    def add(self, *fields):
        self.lines.append("\t".join(fields))

    def key(self, root, path, view="64"):
        self.add("key", root, view, hexed(path))

    def value(self, root, path, name, kind, data, view="64"):
        self.add("value", root, view, hexed(path), hexed(name), str(kind), data.hex())

    def filled(self, root, path, name, kind, count, byte, view="64"):
        self.add("filled", root, view, hexed(path), hexed(name), str(kind), str(count), "%02x" % byte)

    def link(self, root, path, name, target, view="64"):
        self.add("link", root, view, hexed(path), hexed(name), hexed(target))

    def subkey(self, root, path, name, view="64"):
        self.add("subkey", root, view, hexed(path), hexed(name))

    def protect(self, root, path, sddl, view="64"):
        self.add("protect", root, view, hexed(path), sddl)

    def delete(self, root, path, view="64"):
        self.add("delete", root, view, hexed(path))

    def service(self, name, display, binary):
        self.add("service", hexed(name), hexed(display), hexed(binary))

    def delete_service(self, name):
        self.add("delete-service", hexed(name))

    def shortcut(self, path, target, arguments=""):
        self.add("shortcut", hexed(path), hexed(target), hexed(arguments))

    def run(self):
        with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False) as f:
            f.write("\n".join(self.lines) + "\n")
        try:
            result = e2e.wine(os.path.join(BIN, "velmora_fault_seeder.exe"), e2e.windows_path(f.name))
            return result.stdout.decode(errors="replace")
        finally:
            os.remove(f.name)


# Services whose binary paths lead nowhere or through a link: name, display
# name, binary path, and what the line ends with: nothing, the fingerprint of
# the file behind the link, or that of a file that cannot be read.
SERVICES_WITH_ODD_PATHS = [
    ("VelmoraNothing", "Velmora Fault Nothing", "C:\\nowhere\\missing.exe", ""),
    ("VelmoraFolder", "Velmora Fault Folder", "C:\\windows", ""),
    ("VelmoraLinked", "Velmora Fault Linked", "C:\\velmora-link\\linked.exe", "linked"),
    ("VelmoraLoop", "Velmora Fault Loop", "C:\\velmora-loop\\loop.exe", ""),
    ("VelmoraLong", "Velmora Fault " + "L" * 50, "C:\\long\\" + "p" * 2000 + ".exe", ""),
    ("VelmoraHeld", "Velmora Fault Held", INSTALL + "\\locked.dll", "held"),
    ("VelmoraSocket", "Velmora Fault Socket", INSTALL + "\\unreadable.dll", ""),
    # The 32-bit program sees SysWOW64 in its place unless it switches the
    # redirection off; another file lies there.
    ("VelmoraSystem32", "Velmora Fault System32", "C:\\windows\\system32\\velmorasys.exe",
     "system32"),
]


class Machine:
    """Every fault of the suite in the test prefix, and their removal."""

    def __init__(self):
        self.product = SeededProduct(BIN)
        self.drive_c = e2e.unix_path("C:\\")
        self.outside = tempfile.mkdtemp(prefix="velmora-faults-")
        self.startup = None
        self.holder = None
        self.signal = os.path.join(self.outside, "release")

    # -- seeding -----------------------------------------------------------

    def seed(self):
        self.product.seed()
        self.seed_product_faults()
        self.seed_links()
        self.seed_system_file()
        self.seed_startup_folder()
        script = Script()
        self.seed_registry(script)
        self.seed_autostart_keys(script)
        for name, display, binary, _ in SERVICES_WITH_ODD_PATHS:
            script.service(name, display, binary)
        failures = script.run()
        if "failed" in failures:
            raise RuntimeError("seeding failed:\n" + failures)
        self.hold(self.product.unix("locked.dll"), self.product.unix("locked.log"),
                  os.path.join(self.product.settings, "locked.ini"))

    def seed_product_faults(self):
        product = self.product
        files = {"locked.dll": b"locked away", "locked.log": b"locked log",
                 NON_OEM + ".dll": b"a name outside the code page",
                 NON_OEM + ".log": b"a log outside the code page",
                 "Update\\" + LONG_NAME: b"a path longer than 260 characters",
                 DEEP + "\\long.dll": b"a program file deep down",
                 "Update\\random.bin": os.urandom(1 << 20),
                 OEM + ".log": b"a name in the code page",
                 NON_OEM + "\\inner.dll": b"in a folder outside the code page"}
        for relative, content in files.items():
            path = product.unix(relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)
        with open(os.path.join(product.settings, "locked.ini"), "wb") as f:
            f.write(b"[held by another program]")
        # Opened by nobody, root included: a file that cannot be read.
        # (Bound from inside the folder: socket paths are short.)
        here = os.getcwd()
        os.chdir(product.install)
        try:
            for name in ("unreadable.dll", "unreadable.log"):
                with socket.socket(socket.AF_UNIX) as sock:
                    sock.bind(name)
        finally:
            os.chdir(here)
        if LARGE:
            with open(product.unix("huge.dll"), "wb") as f:
                f.truncate(5 << 30)
        stamp = time.mktime((2023, 7, 4, 15, 30, 45, 0, 0, -1))
        for name in ("locked.dll", "unreadable.dll", NON_OEM + ".dll", DEEP + "\\long.dll",
                     NON_OEM + "\\inner.dll") + (
                ("huge.dll",) if LARGE else ()):
            os.utime(product.unix(name), (stamp, stamp))

    def seed_links(self):
        linked = os.path.join(self.outside, "linked")
        os.makedirs(linked)
        shutil.copyfile(os.path.join(BIN, "fixed_version.dll"), os.path.join(linked, "linked.exe"))
        os.symlink(linked, os.path.join(self.drive_c, "velmora-link"))
        os.symlink("velmora-loop", os.path.join(self.drive_c, "velmora-loop"))

    def seed_system_file(self):
        shutil.copyfile(os.path.join(BIN, "fixed_version.dll"), self.system_file("system32"))
        if os.path.isdir(os.path.dirname(self.system_file("syswow64"))):
            with open(self.system_file("syswow64"), "wb") as f:
                f.write(b"the 32-bit twin")

    def system_file(self, folder):
        return os.path.join(self.drive_c, "windows", folder, "velmorasys.exe")

    def seed_startup_folder(self):
        programs = e2e.environment_variable("APPDATA") + "\\Microsoft\\Windows\\Start Menu\\Programs"
        # Named as the prefix has it ("StartUp" in Wine), as the shell gives it.
        name = next((entry for entry in os.listdir(e2e.unix_path(programs))
                     if entry.lower() == "startup"), "Startup")
        folder = programs + "\\" + name
        self.startup = folder
        unix = e2e.unix_path(folder)
        os.makedirs(os.path.join(unix, "sub"), exist_ok=True)
        for name, content in (("garbage.lnk", os.urandom(300)), ("empty.lnk", b""),
                              ("desktop.ini", b"[.ShellClassInfo]"), ("note.txt", b"note"),
                              (NON_OEM + ".cmd", b"@echo off"), ("sub\\deep.bat", b"@echo off")):
            with open(os.path.join(unix, *name.split("\\")), "wb") as f:
                f.write(content)
        os.symlink(".", os.path.join(unix, "sub", "loop"))
        # Broken as shortcuts break: the target is removed after the shortcut was made.
        gone = os.path.join(self.drive_c, "missing")
        os.makedirs(gone, exist_ok=True)
        open(os.path.join(gone, "gone.exe"), "wb").close()
        script = Script()
        script.shortcut(folder + "\\broken.lnk", "C:\\missing\\gone.exe")
        script.shortcut(folder + "\\long arguments.lnk", "C:\\windows\\notepad.exe", "/x" * 400)
        failures = script.run()
        shutil.rmtree(gone)
        if "failed" in failures:
            raise RuntimeError("shortcuts failed:\n" + failures)

    def seed_registry(self, script):
        for root, path in (("HKLM", FAULT_KEY), ("HKCU", USER_FAULT_KEY)):
            for name, kind, data, _ in ODD_VALUES:
                script.value(root, path, name, kind, data)
            script.key(root, path + "\\Locked\\Inside")
            script.protect(root, path + "\\Locked", NO_ACCESS)
            script.key(root, path + "\\Read only")
            script.protect(root, path + "\\Read only", READ_ONLY)
            script.subkey(root, path, "a\0b")
            script.subkey(root, path, "\0")
            script.value(root, path + "\\ZZ After", "after", REG_SZ, win_text("kept"))
        script.value("HKLM", FAULT_KEY + "\\\0", "inside", REG_SZ, win_text("its own"))
        script.filled("HKCU", USER_FAULT_KEY, "huge", REG_BINARY, HUGE_BINARY, 0x5A)
        for number in range(LARGE_VALUES):
            script.filled("HKCU", LARGE_VALUES_KEY, f"large {number:02}", REG_BINARY, VALUE_LIMIT,
                          0x5A)
        for name in LINKS:
            script.link("HKCU", USER_FAULT_KEY, name, USER_FAULT_KEY)
        script.value("HKLM", FAULT_KEY + "\\" + DEEP_KEY, "bottom", REG_SZ, win_text("reached"))
        for entry, kind, data, _ in ODD_PRODUCT_ENTRIES:
            script.value("HKLM", UNINSTALL + "\\" + entry, "InstallLocation", kind, data, view="32")
        for path in (SERVICE_FAULT_KEY, BOOT_KEY):
            for name, kind, data, _ in ODD_VALUES:
                script.value("HKLM", path, name, kind, data)
            script.key("HKLM", path + "\\Locked")
            script.protect("HKLM", path + "\\Locked", NO_ACCESS)
            script.subkey("HKLM", path, "\0")
        script.value("HKLM", SERVICE_AFTER_KEY, "Start", REG_DWORD, struct.pack("<I", 3))
        script.value("HKLM", DRIVER_KEY, "Type", REG_DWORD, struct.pack("<I", 1))

    def seed_autostart_keys(self, script):
        run = [("", REG_SZ, win_text("C:\\empty name.exe")),
               ("Long", REG_SZ, win_text(LONG_COMMAND)),
               ("Dword", REG_DWORD, struct.pack("<I", 1)),
               ("Binary", REG_BINARY, b"\x01\x02"),
               ("Multi", REG_MULTI_SZ, utf16("C:\\multi.exe\0\0")),
               ("Hidden\0Run", REG_SZ, win_text("C:\\hidden.exe")),
               ("Good", REG_SZ, win_text("C:\\good.exe /a")),
               ("Quoted", REG_SZ, win_text('"C:\\Program Files\\q.exe" /q'))]
        for name, kind, data in run:
            script.value("HKCU", RUN, name, kind, data)
        entry = RUN_ONCE_EX + "\\0001"
        script.value("HKLM", entry, "1", REG_SZ, win_text("||C:\\once.exe /x"))
        script.value("HKLM", entry, "2", REG_DWORD, struct.pack("<I", 2))
        script.value("HKLM", entry, "3", REG_SZ, win_text("lib.dll|Entry|args"))
        script.subkey("HKLM", RUN_ONCE_EX, "\0")
        script.value("HKLM", RUN_ONCE_EX + "\\\0", "1", REG_SZ, win_text("||C:\\hidden once.exe"))
        script.filled("HKCU", RUN, "Huge", REG_SZ, HUGE_TEXT, 0x41)
        script.value("HKLM", POLICIES_RUN, "Blocked", REG_SZ, win_text("C:\\blocked.exe"))
        script.protect("HKLM", POLICIES_RUN, NO_ACCESS)
        script.value("HKCU", NT_WINDOWS, "Load", REG_DWORD, struct.pack("<I", 1))
        script.value("HKCU", NT_WINDOWS, "Run", REG_SZ, win_text("C:\\a.exe, C:\\b.exe"))

    def hold(self, *paths):
        """Keeps the files open without sharing until release()."""
        signal = e2e.windows_path(self.signal)
        self.holder = subprocess.Popen(
            [e2e.WINE, os.path.join(BIN, "velmora_fault_seeder.exe"), "--hold", signal,
             *[e2e.windows_path(p) for p in paths]],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        deadline = time.monotonic() + 60
        while not os.path.exists(self.signal + ".held"):
            if self.holder.poll() is not None or time.monotonic() > deadline:
                raise RuntimeError("the files could not be held")
            time.sleep(0.1)

    # -- removal -----------------------------------------------------------

    def remove(self):
        if self.holder is not None:
            open(self.signal, "w").close()
            self.holder.wait(timeout=60)
        script = Script()
        for root, path in (("HKLM", FAULT_KEY), ("HKCU", USER_FAULT_KEY), ("HKCU", LARGE_VALUES_KEY),
                           ("HKLM", SERVICE_FAULT_KEY),
                           ("HKLM", SERVICE_AFTER_KEY), ("HKLM", BOOT_KEY), ("HKLM", DRIVER_KEY),
                           ("HKLM", RUN_ONCE_EX), ("HKLM", POLICIES_RUN)):
            script.delete(root, path)
        for entry, *_ in ODD_PRODUCT_ENTRIES:
            script.delete("HKLM", UNINSTALL + "\\" + entry, view="32")
        for name, *_ in SERVICES_WITH_ODD_PATHS:
            script.delete_service(name)
        # Its hidden value cannot be named by reg.exe: the test user's Run key goes whole.
        script.delete("HKCU", RUN)
        script.run()
        for name in ("Load", "Run"):
            e2e.wine("reg", "delete", "HKCU\\" + NT_WINDOWS, "/v", name, "/f")
        self.product.remove()
        for link in ("velmora-link", "velmora-loop"):
            path = os.path.join(self.drive_c, link)
            if os.path.islink(path):
                os.remove(path)
        for folder in ("system32", "syswow64"):
            if os.path.exists(self.system_file(folder)):
                os.remove(self.system_file(folder))
        if self.startup:
            unix = e2e.unix_path(self.startup)
            for entry in os.listdir(unix):
                path = os.path.join(unix, entry)
                if os.path.isdir(path) and not os.path.islink(path):
                    shutil.rmtree(path)
                else:
                    os.remove(path)
        shutil.rmtree(self.outside, ignore_errors=True)


MACHINE = None
RUN_RESULT = None


def setUpModule():
    global MACHINE
    MACHINE = Machine()
    try:
        MACHINE.seed()
    except BaseException:
        MACHINE.remove()
        raise


def tearDownModule():
    if MACHINE is not None:
        MACHINE.remove()


def without_firewall():
    """An environment that leaves the program without the Windows Firewall
    object: its library is switched off for the driver and the program."""
    overrides = os.environ.get("WINEDLLOVERRIDES", "")
    return dict(os.environ,
                WINEDLLOVERRIDES=(overrides + ";" if overrides else "") + "hnetcfg=d")


def archive_path():
    return os.path.join(e2e.desktop_folder(), "Velmora_Debug_Info.zip")


class Run:
    """The one run of the program on the machine with every fault."""

    def __init__(self):
        archive = archive_path()
        if os.path.exists(archive):
            os.remove(archive)
        self.output, self.facts = e2e.drive_the_program(BIN, env=without_firewall())
        self.members = {}
        self.flags = {}
        if os.path.exists(archive):
            with zipfile.ZipFile(archive) as z:
                for info in z.infolist():
                    self.members[info.filename] = z.read(info)
                    self.flags[info.filename] = info.flag_bits
        self.unzip = subprocess.run(["unzip", "-t", archive], capture_output=True)

    def lines(self, name):
        data = self.members[name]
        if not data.startswith(b"\xff\xfe"):
            raise AssertionError(name + " has no byte-order mark")
        return data[2:].decode("utf-16-le").split("\r\n")


def the_run():
    global RUN_RESULT
    if RUN_RESULT is None:
        RUN_RESULT = Run()
    return RUN_RESULT


def user_twin_entries():
    """How many keys (itself included) and values the user's 32-bit uninstall
    twin holds: any test of the prefix may have made it."""
    if e2e.WINDOWS_BITS == 32:
        return 0, 0
    result = e2e.wine("reg", "query", "HKCU\\" + UNINSTALL_TWIN, "/s", "/reg:64")
    if result.returncode != 0:
        return 0, 0
    lines = result.stdout.splitlines()
    return (1 + sum(line.startswith(b"HKEY_") for line in lines),
            sum(line.startswith(b"    ") for line in lines))


def value_lines(case, lines, key_line):
    """The value lines of one key's block in an export."""
    case.assertIn(key_line, lines)
    block = lines[lines.index(key_line) + 1:]
    return block[:block.index("")]


class FaultCase(unittest.TestCase):
    def assertNothingLeftBehind(self):
        temp = e2e.temp_folder()
        self.assertEqual(e2e.leftovers(temp), [])
        self.assertEqual(e2e.leftovers(BIN, ["GetInfoDir*"]), [])
        self.assertEqual(glob.glob(os.path.join(e2e.desktop_folder(), "*.tmp")), [])
        self.assertEqual(e2e.running_programs(*PROGRAMS), [])

    def assertDone(self, run):
        self.assertEqual(run.facts.get("exit"), "0", run.output)
        self.assertTrue(run.facts.get("text", "").startswith(
            "The info file: Velmora_Debug_Info.zip has been saved to your desktop."), run.output)
        self.assertEqual(run.unzip.returncode, 0, run.unzip.stdout.decode(errors="replace"))

    def assertInOrder(self, lines, expected):
        at = -1
        for line in expected:
            self.assertIn(line, lines[at + 1:], (line[:200], "after", lines[at][:200] if at >= 0 else ""))
            at = lines.index(line, at + 1)


class Case2LockedAndUnreadableProductFiles(FaultCase):
    """A product file held open without read sharing and one that cannot be
    opened at all: both listed with the digest of empty input, neither copied
    in part, and the report and archive still made."""

    def setUp(self):
        self.run_ = the_run()
        self.assertDone(self.run_)

    def test_the_files_report_lists_them_with_the_empty_digest(self):
        lines = self.run_.lines("Velmora_Debug_Info.txt")
        self.assertIn(f"locked.dll   Ver:   MD5:{EMPTY_MD5}   DT:7/4/2023 3:30:45 PM", lines)
        # Not even its attributes can be read: the date is the zero one.
        self.assertIn(f"unreadable.dll   Ver:   MD5:{EMPTY_MD5}   DT:12/30/1899", lines)

    def test_the_listing_gives_their_sizes_and_the_empty_digest(self):
        lines = self.run_.lines("FilesInfo.txt")
        for name, size in (("locked.dll", 11), ("locked.log", 10), ("unreadable.dll", 0),
                           ("unreadable.log", 0)):
            self.assertIn(f"{INSTALL}\\{name}, , {size}, {EMPTY_MD5}", lines)

    def test_no_copy_of_them_is_archived(self):
        for name in ("AppPath/locked.log", "AppPath/unreadable.log", "AppData/locked.ini"):
            self.assertNotIn(name, self.run_.members)
        self.assertEqual(self.run_.members["AppPath/readme.txt"], b"read me")
        self.assertEqual(self.run_.members["AppData/Corvane.ini"], b"[settings]")

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


class Case3OddRegistry(FaultCase):
    """Keys that refuse the program, values of unexpected types and sizes, a
    64 KiB text, NULs in data, value names and key names: every export is still
    complete, with the keys after the odd ones."""

    def setUp(self):
        self.run_ = the_run()
        self.assertDone(self.run_)

    def test_uninstall_export_writes_every_odd_value(self):
        lines = self.run_.lines("uninstall.txt")
        block = value_lines(self, lines, "[HKEY_LOCAL_MACHINE\\" + FAULT_KEY + "]")
        self.assertEqual(sorted(block), sorted(line for *_, line in ODD_VALUES))

    def test_keys_that_cannot_be_opened_are_left_out_and_the_export_goes_on(self):
        lines = self.run_.lines("uninstall.txt")
        for root, path in (("HKEY_LOCAL_MACHINE", FAULT_KEY), ("HKEY_CURRENT_USER", USER_FAULT_KEY)):
            self.assertInOrder(lines, ["", f"[{root}\\{path}]"])
            self.assertInOrder(lines, [f"[{root}\\{path}]", "", f"[{root}\\{path}\\ZZ After]",
                                       '"after"="kept"'])
            for left_out in ("Locked", "Locked\\Inside", "Read only"):
                self.assertNotIn(f"[{root}\\{path}\\{left_out}]", lines)
        self.assertFalse([line for line in lines if "\0" in line and line.startswith("[")])
        # The machine's tree comes before the user's: nothing stopped in between.
        self.assertLess(lines.index("[HKEY_LOCAL_MACHINE\\" + FAULT_KEY + "]"),
                        lines.index("[HKEY_CURRENT_USER\\" + USER_FAULT_KEY + "]"))

    def test_keys_with_nuls_in_their_names_are_exported_as_themselves(self):
        lines = self.run_.lines("uninstall.txt")
        for root, path in (("HKEY_LOCAL_MACHINE", FAULT_KEY), ("HKEY_CURRENT_USER", USER_FAULT_KEY)):
            self.assertIn(f"[{root}\\{path}\\a\\0b]", lines)
        # Its own value, not its parent's: the cut name "" would be the parent.
        self.assertEqual(value_lines(self, lines, f"[HKEY_LOCAL_MACHINE\\{FAULT_KEY}\\\\0]"),
                         ['"inside"="its own"'])

    def test_link_keys_are_written_with_their_target_and_never_entered(self):
        lines = self.run_.lines("uninstall.txt")
        for name in LINKS:
            key_line = f"[HKEY_CURRENT_USER\\{USER_FAULT_KEY}\\{name}]"
            block = value_lines(self, lines, key_line)
            self.assertEqual(len(block), 1, block)
            target = ("\\" + USER_FAULT_KEY).encode("utf-16-le").hex(",").upper()
            self.assertTrue(block[0].startswith('"SymbolicLinkValue"=hex:5C,00,52,00'), block[0])
            self.assertTrue(block[0].endswith(target), block[0])
            self.assertFalse([line for line in lines if line.startswith(key_line[:-1] + "\\")])

    def test_a_value_too_large_to_read_gets_the_marker(self):
        lines = self.run_.lines("uninstall.txt")
        block = value_lines(self, lines, f"[HKEY_CURRENT_USER\\{USER_FAULT_KEY}]")
        self.assertIn('"huge"=' + MARKER, block)
        self.assertIn('"big text"="' + BIG_TEXT.replace("\\", "\\\\") + '"', block)

    def test_the_export_stops_at_its_budget_with_a_marker(self):
        lines = self.run_.lines("uninstall.txt")
        self.assertEqual(lines[-1], "")  # the last entry's line break
        key_line = f"[HKEY_CURRENT_USER\\{LARGE_VALUES_KEY}]"
        block = lines[lines.index(key_line) + 1:-2]
        # Two lines of 3 Mi characters fit beside the rest of the file, a third does not.
        self.assertEqual(block, [f'"large {number:02}"=hex:' + ",".join(["5A"] * VALUE_LIMIT)
                                 for number in range(2)])
        # On 64-bit Windows the user's 32-bit twin follows, whole past the budget.
        twin_keys, twin_values = user_twin_entries()
        self.assertEqual(lines[-2], "; Left out from here, as an export holds at most "
                         f"{EXPORT_BUDGET} characters: keys {twin_keys}, "
                         f"values {LARGE_VALUES - 2 + twin_values}")
        self.assertLess(len("\r\n".join(lines)), EXPORT_BUDGET + 100)

    def test_a_key_sixty_levels_down_is_reached(self):
        lines = self.run_.lines("uninstall.txt")
        self.assertInOrder(lines, ["[HKEY_LOCAL_MACHINE\\" + FAULT_KEY + "\\" + DEEP_KEY + "]",
                                   '"bottom"="reached"'])

    def test_product_entries_whose_location_is_no_text_are_passed_over(self):
        lines = self.run_.lines("FilesInfo.txt")
        for *_, heading in ODD_PRODUCT_ENTRIES:
            self.assertInOrder(lines, ["", heading, ""])
            self.assertEqual(lines[lines.index(heading) + 2], "")
        # The version found after them is the one listed, copied and reported.
        self.assertInOrder(lines, ["===== Corvane v6", "", INSTALL + "\\readme.txt, , 7, "
                                   + hashlib.md5(b"read me").hexdigest()])
        self.assertIn("AppPath/readme.txt", self.run_.members)
        uninstall = self.run_.lines("uninstall.txt")
        self.assertInOrder(uninstall, [uninstall_heading("Corvane 4 Pro_is1"),
                                       '"InstallLocation"=dword:00000001'])

    def test_boot_time_export_holds_both_keys(self):
        lines = self.run_.lines("boottime.txt")
        boot = "[HKEY_LOCAL_MACHINE\\" + BOOT_KEY + "]"
        self.assertInOrder(lines, ["Windows Registry Editor Version 5.00", "", boot])
        self.assertIn('"big text"="' + BIG_TEXT.replace("\\", "\\\\") + '"', lines)
        self.assertEqual(lines[-4:], ["", "[HKEY_LOCAL_MACHINE\\" + DRIVER_KEY + "]",
                                      '"Type"=dword:00000001', ""])

    def test_services_export_goes_on_after_the_odd_key(self):
        lines = self.run_.lines("services.txt")
        key = "[HKEY_LOCAL_MACHINE\\" + SERVICE_FAULT_KEY + "]"
        block = value_lines(self, lines, key)
        self.assertEqual(sorted(block), sorted([
            '"big text"="' + BIG_TEXT + '"', '"expand"="%SystemRoot%\\x"', '"hidden"="visible"',
            '"hidden\\0name"="secret"', '"long dword"=' + MARKER, '"odd length"="a"',
            '"short dword"=dword:0000BBAA', '"text with nul"="before"', '"unterminated"="abc"']))
        self.assertNotIn(key[:-1] + "\\Locked]", lines)
        self.assertInOrder(lines, [key, "", "[HKEY_LOCAL_MACHINE\\" + SERVICE_AFTER_KEY + "]",
                                   '"Start"=dword:00000003'])

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


@unittest.skipUnless(LARGE, "a 5 GiB file: set VELMORA_LARGE_TESTS=1")
class Case4FileOfFiveGibibytes(FaultCase):
    """A sparse product file of 5 GiB: its full size and the digest of all of it."""

    @classmethod
    def setUpClass(cls):
        cls.digest = md5sum(MACHINE.product.unix("huge.dll"))

    def setUp(self):
        self.run_ = the_run()
        self.assertDone(self.run_)

    def test_listed_with_its_size_and_digest(self):
        self.assertIn(f"{INSTALL}\\huge.dll, , {5 << 30}, {self.digest}",
                      self.run_.lines("FilesInfo.txt"))
        self.assertIn(f"huge.dll   Ver:   MD5:{self.digest}   DT:7/4/2023 3:30:45 PM",
                      self.run_.lines("Velmora_Debug_Info.txt"))

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


class Case5NamesAndLongPaths(FaultCase):
    """Names outside the OEM code page and paths longer than 260 characters:
    listed, copied (Wine allows both), archived under UTF-8 names."""

    def setUp(self):
        self.run_ = the_run()
        self.assertDone(self.run_)

    def test_listed_in_the_files_report(self):
        lines = self.run_.lines("Velmora_Debug_Info.txt")
        for relative, content in ((NON_OEM + ".dll", b"a name outside the code page"),
                                  (NON_OEM + "\\inner.dll", b"in a folder outside the code page"),
                                  (DEEP + "\\long.dll", b"a program file deep down")):
            digest = hashlib.md5(content).hexdigest()
            self.assertIn(f"{relative}   Ver:   MD5:{digest}   DT:7/4/2023 3:30:45 PM", lines)

    def test_listed_in_the_listing_with_their_full_paths(self):
        lines = self.run_.lines("FilesInfo.txt")
        for relative in (NON_OEM + ".dll", NON_OEM + ".log", "Update\\" + LONG_NAME,
                         DEEP + "\\long.dll"):
            path = MACHINE.product.unix(relative)
            full = f"{INSTALL}\\{relative}"
            if not relative.startswith(NON_OEM):
                self.assertGreater(len(full), 260)
            self.assertIn(f"{full}, , {os.path.getsize(path)}, {md5sum(path)}", lines)

    def test_copied_and_archived_under_utf8_names(self):
        for name, content in (("AppPath/" + NON_OEM + ".log", b"a log outside the code page"),
                              ("AppPath/Update/" + LONG_NAME, b"a path longer than 260 characters")):
            self.assertEqual(self.run_.members.get(name), content, sorted(self.run_.members))
        self.assertTrue(self.run_.flags["AppPath/" + NON_OEM + ".log"] & 0x800)
        self.assertFalse(self.run_.flags["AppPath/Update/" + LONG_NAME] & 0x800)
        # Outside ASCII even where the OEM code page could hold it: UTF-8 too.
        self.assertEqual(self.run_.members.get("AppPath/" + OEM + ".log"), b"a name in the code page")
        self.assertTrue(self.run_.flags["AppPath/" + OEM + ".log"] & 0x800)

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


class Case6NoSecurityCenterNoFirewall(FaultCase):
    """No WMI Security Center (Wine has none) and no firewall object (its
    library switched off): the four headings and the firewall lines."""

    def test_the_four_headings_and_the_firewall_lines(self):
        run = the_run()
        self.assertDone(run)
        lines = run.lines("Velmora_Debug_Info.txt")
        start = lines.index("[AntiVirusProduct]")
        self.assertEqual(lines[start - 1:start + 11], [
            "*" * 81, "[AntiVirusProduct]", "", "[AntiSpywareProduct]", "", "[FirewallProduct]", "",
            "[Windows FireWall]", "HomeNetFwEnabled=False", "PublicNetFwEnabled=False",
            "FireWallEnabled=False", "FwObj=nil"])

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


class Case7OddAutostartEntries(FaultCase):
    """Broken and garbage shortcuts, an empty value name, a very long command
    line, values that are not text, a key that refuses the program, a name with
    a NUL: every readable entry is kept."""

    def setUp(self):
        self.run_ = the_run()
        self.assertDone(self.run_)
        lines = self.run_.lines("Velmora_Debug_Info.txt")
        start = lines.index("===== Autoruns =====")
        self.block = lines[start:lines.index("[AntiVirusProduct]")]

    def test_startup_folder_entries(self):
        folder = MACHINE.startup
        expected = ['"C:\\missing\\gone.exe" ', '"" ', folder + "\\note.txt",
                    folder + "\\" + NON_OEM + ".cmd", folder + "\\sub\\deep.bat"]
        for line in expected:
            self.assertIn(line, self.block)
        self.assertEqual(self.block.count('"" '), 2)  # the garbage and the empty shortcut
        self.assertTrue(any(line.startswith('"C:\\windows\\notepad.exe" /x/x/x') for line in self.block))
        self.assertFalse([line for line in self.block if "desktop.ini" in line])

    def test_run_values_that_are_text_are_kept(self):
        self.assertInOrder(self.block, ["---------- Run ----------"])
        for line in ("=C:\\empty name.exe", "Long=" + LONG_COMMAND, "Good=C:\\good.exe /a",
                     'Quoted="C:\\Program Files\\q.exe" /q'):
            self.assertIn(line, self.block)
        for name in ("Dword=", "Binary=", "Multi=", "Blocked="):
            self.assertFalse([line for line in self.block if line.startswith(name)], name)
        # A name with a NUL hides its entry from the registry API: it is shown
        # with its own data.
        self.assertIn("Hidden\\0Run=C:\\hidden.exe", self.block)
        # Too large to be read: the name, then a note in place of the data.
        at = self.block.index("Huge=")
        # Wine adds a terminating NUL to the text it was given.
        self.assertIn(self.block[at + 1], [f'(value "Huge" not shown: {size} bytes of data, '
                                           f'more than the {VALUE_LIMIT} read)'
                                           for size in (HUGE_TEXT, HUGE_TEXT + 2)])

    def test_run_once_ex_and_nt_run(self):
        self.assertInOrder(self.block, ["---------- RunOnceEx ----------", "rundll32.exe C:\\once.exe /x"])
        # An entry key whose name holds a NUL.
        self.assertIn("rundll32.exe C:\\hidden once.exe", self.block)
        for line in ("rundll32.exe lib.dll", "rundll32.exe lib.dll,Entry",
                     "rundll32.exe lib.dll,Entry args"):
            self.assertIn(line, self.block)
        self.assertInOrder(self.block, ["---------- NT Run ----------", "C:\\a.exe", "C:\\b.exe"])

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


class Case8ServicesWithOddBinaryPaths(FaultCase):
    """Binary paths to nothing, to a folder, through a link, through a link to
    itself, very long, to a file held open without sharing and to one that
    cannot be opened: every service keeps its line."""

    def test_every_service_has_its_line(self):
        run = the_run()
        self.assertDone(run)
        lines = run.lines("Velmora_Debug_Info.txt")
        fixture = "Ver:1.0.0.12   MD5:" + md5sum(os.path.join(BIN, "fixed_version.dll"))
        fingerprints = {"linked": fixture, "system32": fixture, "": "",
                        "held": "Ver:   MD5:" + EMPTY_MD5}
        for _, display, binary, fingerprint in SERVICES_WITH_ODD_PATHS:
            pattern = (re.escape(display.ljust(30)) + r" 10  1  -?\d+ 3 " + re.escape(binary) + " "
                       + re.escape(fingerprints[fingerprint]) + "$")
            self.assertEqual(len([line for line in lines if re.match(pattern, line)]), 1,
                             (display, [line for line in lines if display in line]))

    def test_nothing_is_left_behind(self):
        self.assertNothingLeftBehind()


class Case9EverythingAtOnce(FaultCase):
    """All of the above on one machine: the run ends done, within bounds, with
    every report file in a sound archive."""

    def test_the_run_ends_done_within_bounds(self):
        run = the_run()
        self.assertDone(run)
        # The console tools alone may take two minutes each; nothing here should.
        self.assertLess(run.facts["seconds"], 180, run.output)
        for name in REPORT_FILES:
            self.assertIn(name, run.members)

    def test_peak_memory_stays_below_200_mb(self):
        run = the_run()
        self.assertDone(run)
        # The 64 MiB value read whole and copied raised it to over 900 MB, and
        # fifty values of 1 MiB (uninstall.txt then 300 MiB) to over 830 MB.
        # (Wine's pagefile figure leaves the heap out: the working set is what
        # counts.)
        self.assertLess(int(run.facts["peak-working-set"]), 200 * 1000 * 1000, run.output)

    def test_nothing_is_left_behind(self):
        the_run()
        self.assertNothingLeftBehind()


class Case10Findings(FaultCase):
    """The first page of the archive names the red flags that this machine
    shows, each with its evidence: the file that cannot be read, the stopped
    services in the product's folder, no security product (Wine's answer), and,
    without a firewall object, the firewall's state as not read."""

    def setUp(self):
        self.run_ = the_run()
        self.assertDone(self.run_)
        self.lines = self.run_.lines("Findings.txt")

    def test_findings_are_the_archives_first_entry(self):
        self.assertEqual(next(iter(self.run_.members)), "Findings.txt")

    def test_the_red_flags_most_serious_first(self):
        stopped = ("A product service is stopped: Velmora Fault {0} (see Velmora_Debug_Info.txt: "
                   'services table, the line of "Velmora Fault {0}": state 1, start type 3)')
        expected = [
            "A product binary listed in the files report cannot be found or read: unreadable.dll "
            '(see Velmora_Debug_Info.txt: files report, "unreadable.dll   Ver:   MD5:'
            f'{EMPTY_MD5}   DT:12/30/1899")',
            stopped.format("Held"), stopped.format("Socket")]
        if e2e.LANE != "win2k":  # Windows 2000 has no Security Center to ask
            expected.append("No security product is registered with Windows Security Center (see "
                            "Velmora_Debug_Info.txt: [AntiVirusProduct], [AntiSpywareProduct], "
                            "[FirewallProduct] name none)")
        self.assertEqual(self.lines[:2], ["===== Findings =====", ""])
        self.assertInOrder(self.lines, expected)

    def test_the_firewall_without_its_object_is_shown_not_judged(self):
        unread = self.lines[self.lines.index("===== Could not be read =====") + 2:]
        self.assertIn('Velmora_Debug_Info.txt: [Windows FireWall], "FwObj=nil": the system did not '
                      "say whether its firewall is on", unread)
        self.assertFalse([line for line in self.lines if "Firewall is off" in line])


class DestinationCase(FaultCase):
    """A destination that cannot take the new archive: the run fails, the old
    archive is left as it was, and nothing is left beside it."""

    OLD = b"PK\x05\x06" + bytes(18)  # an empty archive of an earlier run

    def drive(self):
        self.output, self.facts = e2e.drive_the_program(BIN, env=without_firewall())

    def assertFailedAndKept(self):
        self.assertEqual(self.facts.get("caption"), "Error", self.output)
        self.assertFailureText()
        self.assertEqual(self.facts.get("button"), "enabled")
        self.assertEqual(self.facts.get("exit"), "0")  # closed by the driver
        with open(archive_path(), "rb") as f:
            self.assertEqual(f.read(), self.OLD)
        self.assertEqual(os.listdir(e2e.desktop_folder()), ["Velmora_Debug_Info.zip"])
        self.assertNothingLeftBehind()

    def assertFailureText(self):
        # The fixed text, then a line naming the step and the error.
        first, _, cause = self.facts.get("text", "").partition("\\r")
        self.assertEqual(first, "The info file save failed", self.output)
        self.assertRegex(cause, r"^Step \d+ of 15: .+", self.output)

    def put_old_archive(self, content=None):
        desktop = e2e.desktop_folder()
        for entry in os.listdir(desktop):
            os.remove(os.path.join(desktop, entry))
        with open(archive_path(), "wb") as f:
            f.write(content or self.OLD)


class Case1ReadOnlyDestination(DestinationCase):
    """A desktop folder that takes no new files. Wine maps Windows file access
    to the Unix one: a folder without write permission, or, for root, whom
    permissions do not stop, an immutable folder."""

    def test_fails_and_keeps_the_old_archive(self):
        self.put_old_archive()
        desktop = e2e.desktop_folder()
        if os.geteuid() == 0:
            if subprocess.run(["chattr", "+i", desktop], capture_output=True).returncode != 0:
                self.skipTest("this file system cannot make a folder immutable")
            undo = ["chattr", "-i", desktop]
        else:
            os.chmod(desktop, 0o555)
            undo = ["chmod", "755", desktop]
        try:
            self.drive()
        finally:
            subprocess.run(undo, check=True)
        self.assertFailedAndKept()


class Case1FullDestination(DestinationCase):
    """A desktop on a file system with too little room for the new archive:
    a small tmpfs mounted on it (needs the right to mount, else skipped)."""

    def test_fails_and_keeps_the_old_archive(self):
        desktop = e2e.desktop_folder()
        old = os.urandom(100 << 10)
        self.put_old_archive(old)
        kept = tempfile.mkdtemp(prefix="velmora-desktop-")
        for entry in os.listdir(desktop):
            shutil.move(os.path.join(desktop, entry), kept)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", desktop],
                          capture_output=True).returncode != 0:
            shutil.rmtree(kept)
            self.put_old_archive()
            self.skipTest("no right to mount a small file system here")
        try:
            shutil.copyfile(os.path.join(kept, "Velmora_Debug_Info.zip"), archive_path())
            self.drive()
            with open(archive_path(), "rb") as f:
                self.assertEqual(f.read(), old)
            self.assertEqual(os.listdir(desktop), ["Velmora_Debug_Info.zip"])
        finally:
            subprocess.run(["umount", desktop], check=True)
            shutil.rmtree(kept)
        self.put_old_archive()
        self.assertFailureText()
        self.assertNothingLeftBehind()


class Case1FullTemporaryFolder(DestinationCase):
    """The working folder's disk full: a small tmpfs mounted on the temporary
    folder (needs the right to mount, else skipped). The report files cannot be
    written whole: the run fails, the old archive stays, and the working folder
    goes with everything that was written into it."""

    def test_fails_and_keeps_the_old_archive(self):
        self.put_old_archive()
        temp = e2e.temp_folder()
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", temp],
                          capture_output=True).returncode != 0:
            self.skipTest("no right to mount a small file system here")
        try:
            self.drive()
            self.assertEqual(os.listdir(temp), [])
        finally:
            subprocess.run(["umount", temp], check=True)
        self.assertFailedAndKept()


class Case1LockedOldArchive(DestinationCase):
    """An old archive that another program holds open without sharing cannot
    be replaced: the run fails instead of writing the archive elsewhere."""

    def test_fails_and_keeps_the_old_archive(self):
        self.put_old_archive()
        signal = os.path.join(MACHINE.outside, "release-archive")
        holder = subprocess.Popen(
            [e2e.WINE, os.path.join(BIN, "velmora_fault_seeder.exe"), "--hold",
             e2e.windows_path(signal), e2e.windows_path(archive_path())],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 60
            while not os.path.exists(signal + ".held") and time.monotonic() < deadline:
                time.sleep(0.1)
            self.drive()
        finally:
            open(signal, "w").close()
            holder.wait(timeout=60)
        self.assertFailedAndKept()


if __name__ == "__main__":
    e2e.run_tests(globals())
