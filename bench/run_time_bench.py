#!/usr/bin/env python3
"""Run-time benchmark: the real program, pressed through its window by the
end-to-end driver, on a prefix seeded with a product installation of about
250 MB, a dozen services with their binaries, settings and logs, with the
console tools "systeminfo" and "schtasks" replaced by stand-ins that take
known times and print output of realistic size. The peer is the program of an
earlier commit (today's main before this round of work), built from that
commit and measured in the same run, runs interleaved.

Prints click-to-done with slow and with instant stand-ins, the stand-ins' sum
and maximum, the archive step and the collectors, the ratio
click-to-done / (max(stand-ins, collectors) + archive), the reduction against
the peer, and the milliseconds per file of 5,000 and 20,000 extra small .dll
files, each next to its goal. The extra files come in folders of 1,000 or all
in one folder (--one-folder), as plain bytes, as modules, or as files that
only start like a program ("MZ" and noise, --small-files mz): the layout whose
cost per file grew with the folder's size. The milliseconds per file are given
from click-to-done and from the steps that read the product's files alone."""

import argparse
import contextlib
import io
import os
import random
import shutil
import subprocess
import sys
import time
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "e2e"))
import e2e_support as e2e  # noqa: E402

INSTALL = "C:\\Program Files (x86)\\Velmora\\Corvane"
UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane_is1"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
TOOLS = ("systeminfo.exe", "schtasks.exe")
SEED_LAYOUT = 1  # raise when the seeded files change, so that the cache is made again
KB, MB = 1 << 10, 1 << 20
FILES_PER_FOLDER = 1000

LOG_WORDS = ("defrag pass volume cluster moved fragment file skipped locked free space analysis "
             "started finished error warning service scheduler boot optimise C:\\Windows\\System32 "
             "D:\\Data extent MFT zone throughput MB/s ms").split()

# The installation: relative path, size; a size in a tuple is a range.
# ".exe", ".dll" and ".sys" files are modules with a version resource.
INSTALLED_FILES = [
    ("Corvane.exe", 14 * MB), ("CorvaneEngine.dll", 36 * MB), ("CorvaneUI.dll", 20 * MB),
    ("CorvaneScheduler.exe", 5 * MB), ("CorvaneSvc.exe", 4 * MB), ("CorvaneTray.exe", 3 * MB),
    ("icudt72.dll", 30 * MB), ("icuuc72.dll", 2 * MB), ("libcrypto-3-x64.dll", 5 * MB),
    ("libssl-3-x64.dll", 1 * MB), ("Qt6Core.dll", 8 * MB), ("Qt6Gui.dll", 9 * MB),
    ("Qt6Widgets.dll", 7 * MB), ("d3dcompiler_47.dll", 4 * MB), ("msvcp140.dll", 600 * KB),
    ("vcruntime140.dll", 100 * KB), ("vcruntime140_1.dll", 50 * KB), ("unins000.exe", 3 * MB),
    ("unins000.dat", 400 * KB), ("drivers\\vdisk.sys", 300 * KB), ("drivers\\cvfilter.sys", 150 * KB),
    ("platforms\\qwindows.dll", 1 * MB), ("RdmConfig.ini", 4 * KB), ("readme.txt", 10 * KB),
    ("license.txt", 40 * KB), ("corvane.log", 6 * MB), ("corvane.1.log", 6 * MB),
    ("scheduler.log", 2 * MB), ("install.log", 500 * KB), ("crash_20240131_153045.dmp", 4 * MB),
    ("Update\\CorvaneSetup_7.2.1.1433.exe", 12 * MB), ("Update\\update.xml", 8 * KB),
    ("Update\\update.log", 300 * KB),
]
INSTALLED_GROUPS = [  # folder, name pattern, count, size range
    ("plugins", "cvplugin_{:02d}.dll", 40, (100 * KB, 1500 * KB)),
    ("Lang", "lang_{:02d}.dll", 32, (150 * KB, 600 * KB)),
    ("Lang", "corvane_{:02d}.qm", 32, (60 * KB, 140 * KB)),
    ("imageformats", "qimage_{:02d}.dll", 8, (50 * KB, 300 * KB)),
    ("help", "topic_{:03d}.html", 200, (2 * KB, 30 * KB)),
    ("images", "icon_{:03d}.png", 150, (1 * KB, 60 * KB)),
    ("CorvaneReport", "report_{:03d}.xml", 40, (10 * KB, 150 * KB)),
]
SETTINGS_FILES = [("Corvane.ini", 30 * KB), ("schedule.ini", 4 * KB), ("ui.ini", 2 * KB),
                  ("exclusions.ini", 12 * KB)]
DOWNLOADER_LOGS = [("download.log", 1 * MB), ("download.1.log", 1 * MB)]
# Services: name, display name, type, binary path as configured, file (Unix
# path below drive_c, or None for the installation's own), size.
SERVICES = [
    ("CorvaneSvc", "Corvane Service", "own", INSTALL + "\\CorvaneSvc.exe", None, 0),
    ("CorvaneScheduler", "Corvane Scheduler", "own", INSTALL + "\\CorvaneScheduler.exe", None, 0),
    ("CorvaneBootTime", "Corvane Boot Time Defrag", "kernel",
     "\\SystemRoot\\System32\\drivers\\corvaneboot.sys", "windows/system32/drivers/corvaneboot.sys",
     200 * KB),
    ("cvfilter", "Corvane File Filter", "kernel", "System32\\drivers\\cvfilter.sys",
     "windows/system32/drivers/cvfilter.sys", 150 * KB),
    ("ContosoUpdate", "Contoso Update Service", "own",
     "C:\\Program Files\\Contoso\\Update\\ContosoUpdate.exe",
     "Program Files/Contoso/Update/ContosoUpdate.exe", 3 * MB),
    ("FabrikamBackup", "Fabrikam Backup Agent", "own",
     "C:\\Program Files\\Fabrikam\\Backup\\FabrikamBackupAgent.exe",
     "Program Files/Fabrikam/Backup/FabrikamBackupAgent.exe", 9 * MB),
    ("NorthwindSync", "Northwind Cloud Sync", "own",
     "C:\\Program Files\\Northwind\\Sync\\nwsync.exe", "Program Files/Northwind/Sync/nwsync.exe",
     6 * MB),
    ("AdatumAV", "Adatum Antivirus Engine", "own",
     "C:\\Program Files\\Adatum\\Antivirus\\AdatumEngine.exe",
     "Program Files/Adatum/Antivirus/AdatumEngine.exe", 18 * MB),
    ("adatumflt", "Adatum Antivirus Filter", "kernel",
     "\\SystemRoot\\System32\\drivers\\adatumflt.sys", "windows/system32/drivers/adatumflt.sys",
     400 * KB),
    ("TailspinVPN", "Tailspin VPN Client", "own", "C:\\Program Files\\Tailspin\\VPN\\tsvpn.exe",
     "Program Files/Tailspin/VPN/tsvpn.exe", 5 * MB),
    ("LitwarePrint", "Litware Print Spooler Helper", "own",
     "C:\\Program Files\\Litware\\Print\\lwprint.exe", "Program Files/Litware/Print/lwprint.exe",
     2 * MB),
    ("WingtipAudio", "Wingtip Audio Service", "own",
     "C:\\Program Files\\Wingtip\\Audio\\wtaudio.exe", "Program Files/Wingtip/Audio/wtaudio.exe",
     1536 * KB),
    # Quoted and with an argument, as many services are: listed without a fingerprint.
    ("ProsewareHelper", "Proseware Helper", "own",
     "\"C:\\Program Files\\Proseware\\Helper\\phsvc.exe\" -service",
     "Program Files/Proseware/Helper/phsvc.exe", 2 * MB),
]


# ---- seeded content ---------------------------------------------------------

def log_text(rng, size):
    lines, total, t = [], 0, 1_700_000_000
    while total < size:
        t += rng.randrange(1, 5000)
        words = " ".join(rng.choices(LOG_WORDS, k=rng.randrange(4, 14)))
        line = (f"{time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(t))} [{rng.randrange(9999):04d}] "
                f"{words} {rng.randrange(10**6)}\r\n")
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def module_bytes(rng, module, size):
    """A module with a version resource, padded to `size`: half noise, half
    repeated structure, like a program file."""
    rest = max(0, size - len(module))
    noise = rng.randbytes(rest // 2)
    table = rng.randbytes(4096)
    return module + noise + (table * (rest // 2 // 4096 + 1))[: rest - len(noise)]


def markup_text(rng, size, kind):
    words = " ".join(rng.choices(LOG_WORDS, k=64))
    if kind == "xml":
        item = f'  <item id="{{}}" state="moved" clusters="{{}}">{words}</item>\r\n'
        head, tail = '<?xml version="1.0" encoding="utf-8"?>\r\n<report>\r\n', "</report>\r\n"
    elif kind == "html":
        item = f"<p id=\"s{{}}\">{words} {{}}</p>\r\n"
        head, tail = "<html><body>\r\n", "</body></html>\r\n"
    else:
        item = "key{}=" + "{}\r\n"
        head, tail = "[settings]\r\n", ""
    parts, total, i = [head], len(head), 0
    while total < size:
        part = item.format(i, rng.randrange(10**7))
        parts.append(part)
        total += len(part)
        i += 1
    return ("".join(parts) + tail).encode()[:size]


def content_for(rng, module, name, size):
    ext = os.path.splitext(name)[1].lower()
    if ext in (".exe", ".dll", ".sys"):
        return module_bytes(rng, module, size)
    if ext in (".log", ".txt"):
        return log_text(rng, size)
    if ext in (".xml", ".html", ".ini"):
        return markup_text(rng, size, ext[1:])
    return rng.randbytes(size)  # images, dumps, data files


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def size_in(rng, size):
    return rng.randrange(*size) if isinstance(size, tuple) else size


def seed_cache(cache, module_path):
    """The seeded files, made once into `cache` (install/, settings/,
    downloader/, drive_c/ for the services' binaries outside it)."""
    stamp = os.path.join(cache, f".layout-{SEED_LAYOUT}")
    if os.path.exists(stamp):
        return
    shutil.rmtree(cache, ignore_errors=True)
    rng = random.Random(20261210)
    with open(module_path, "rb") as f:
        module = f.read()
    for relative, size in INSTALLED_FILES:
        write(os.path.join(cache, "install", *relative.split("\\")),
              content_for(rng, module, relative, size))
    for folder, pattern, count, size in INSTALLED_GROUPS:
        for i in range(count):
            name = pattern.format(i)
            write(os.path.join(cache, "install", folder, name),
                  content_for(rng, module, name, size_in(rng, size)))
    for name, size in SETTINGS_FILES:
        write(os.path.join(cache, "settings", name), content_for(rng, module, name, size))
    for name, size in DOWNLOADER_LOGS:
        write(os.path.join(cache, "downloader", name), content_for(rng, module, name, size))
    for _, _, _, _, file, size in SERVICES:
        if file:
            write(os.path.join(cache, "drive_c", *file.split("/")),
                  content_for(rng, module, file, size))
    open(stamp, "w").close()


def tree_size(folder):
    files = [os.path.join(d, f) for d, _, fs in os.walk(folder) for f in fs]
    return len(files), sum(os.path.getsize(f) for f in files)


def copy_tree(source, target):
    os.makedirs(target, exist_ok=True)
    subprocess.run(["cp", "-a", source + "/.", target], check=True)


def environment_folder(name):
    return e2e.wine("cmd", "/c", f"echo %{name}%").stdout.decode().strip()


class SeededMachine:
    """The prefix seeded with the product, its settings and logs, services
    and a start-up entry."""

    def __init__(self, cache):
        self.cache = cache
        self.drive_c = e2e.unix_path("C:\\")
        self.install = e2e.unix_path(INSTALL)
        self.settings = e2e.unix_path(environment_folder("APPDATA") + "\\Velmora\\Corvane")
        self.downloader = e2e.unix_path(environment_folder("ProgramData") +
                                        "\\Velmora\\Corvane\\Downloader")
        self.extra_files = 0

    def seed(self):
        copy_tree(os.path.join(self.cache, "install"), self.install)
        copy_tree(os.path.join(self.cache, "settings"), self.settings)
        copy_tree(os.path.join(self.cache, "downloader"), self.downloader)
        copy_tree(os.path.join(self.cache, "drive_c"), self.drive_c)
        for name, value in (("InstallLocation", INSTALL), ("DisplayName", "Corvane 7.2"),
                            ("DisplayVersion", "7.2.0.1410"), ("Publisher", "Velmora")):
            self.check(e2e.wine("reg", "add", UNINSTALL_KEY, "/v", name, "/d", value, "/reg:32", "/f"))
        self.check(e2e.wine("reg", "add", RUN_KEY, "/v", "Corvane Tray", "/d",
                            f"\"{INSTALL}\\CorvaneTray.exe\" /minimized", "/f"))
        for name, display, kind, binary, _, _ in SERVICES:
            self.check(e2e.wine("sc", "create", name, "binpath=", binary, "displayname=", display,
                                "type=", kind, "start=", "demand"))

    @staticmethod
    def check(result):
        if result.returncode != 0:
            raise RuntimeError("seeding failed: " + (result.stdout + result.stderr).decode(errors="replace"))

    def add_small_dlls(self, total, module_path, kind, per_folder):
        """Adds small .dll files (2 to 24 KB, each with its own bytes) in
        folders of `per_folder` until the installation has `total` extra:
        plain bytes, modules with a version resource, or "MZ" and noise."""
        module = b"MZ" if kind == "mz" else b""
        if kind == "module":
            with open(module_path, "rb") as f:
                module = f.read()
        rng = random.Random(self.extra_files)
        for i in range(self.extra_files, total):
            folder = os.path.join(self.install, "Modules", f"pack_{i // per_folder:03d}")
            write(os.path.join(folder, f"cvmod_{i:05d}.dll"),
                  module_bytes(rng, module, rng.randrange(2 * KB, 24 * KB)))
        self.extra_files = total

    @contextlib.contextmanager
    def extra_files_aside(self):
        """The extra files moved out of the installation (one rename), so that
        a run without them can be timed between the runs with them."""
        modules = os.path.join(self.install, "Modules")
        aside = os.path.join(self.drive_c, "Modules aside")
        os.rename(modules, aside)
        try:
            yield
        finally:
            os.rename(aside, modules)


# ---- tool outputs -----------------------------------------------------------

def systeminfo_text(rng):
    lines = [("Host Name", "VELMORA-PC"), ("OS Name", "Microsoft Windows 10 Pro"),
             ("OS Version", "10.0.19045 N/A Build 19045"), ("OS Manufacturer", "Microsoft Corporation"),
             ("OS Configuration", "Standalone Workstation"), ("OS Build Type", "Multiprocessor Free"),
             ("Registered Owner", "Support"), ("Registered Organization", "N/A"),
             ("Product ID", "00330-80000-00000-AA123"), ("Original Install Date", "1/31/2024, 3:30:45 PM"),
             ("System Boot Time", "12/9/2025, 8:02:11 AM"), ("System Manufacturer", "Contoso Computers"),
             ("System Model", "Workstation 7"), ("System Type", "x64-based PC"),
             ("Processor(s)", "1 Processor(s) Installed.")]
    out = [f"{k + ':':27s}{v}" for k, v in lines]
    out.append(" " * 27 + "[01]: Intel64 Family 6 Model 158 Stepping 10 GenuineIntel ~3192 Mhz")
    for k, v in (("BIOS Version", "Contoso 1.21.0, 5/12/2023"), ("Windows Directory", "C:\\Windows"),
                 ("System Directory", "C:\\Windows\\system32"), ("Boot Device", "\\Device\\HarddiskVolume1"),
                 ("System Locale", "en-us;English (United States)"),
                 ("Input Locale", "en-us;English (United States)"),
                 ("Time Zone", "(UTC+01:00) Amsterdam, Berlin, Bern, Rome, Stockholm, Vienna"),
                 ("Total Physical Memory", "16,240 MB"), ("Available Physical Memory", "9,812 MB"),
                 ("Virtual Memory: Max Size", "18,672 MB"), ("Virtual Memory: Available", "10,904 MB"),
                 ("Virtual Memory: In Use", "7,768 MB"), ("Page File Location(s)", "C:\\pagefile.sys"),
                 ("Domain", "WORKGROUP"), ("Logon Server", "\\\\VELMORA-PC")):
        out.append(f"{k + ':':27s}{v}")
    hotfixes = 320
    out.append(f"{'Hotfix(s):':27s}{hotfixes} Hotfix(s) Installed.")
    for i in range(hotfixes):
        out.append(" " * 27 + f"[{i + 1:02d}]: KB{5000000 + rng.randrange(99999)}")
    nics = 6
    out.append(f"{'Network Card(s):':27s}{nics} NIC(s) Installed.")
    for i in range(nics):
        out += [" " * 27 + f"[{i + 1:02d}]: Contoso Ethernet Adapter #{i + 1}",
                " " * 33 + f"Connection Name: Ethernet {i + 1}",
                " " * 33 + "DHCP Enabled:    Yes",
                " " * 33 + "DHCP Server:     192.168.1.1",
                " " * 33 + "IP address(es)",
                " " * 33 + f"[01]: 192.168.1.{10 + i}",
                " " * 33 + f"[02]: fe80::{rng.randrange(65536):x}:{rng.randrange(65536):x}"]
    out.append(f"{'Hyper-V Requirements:':27s}A hypervisor has been detected.")
    return ("\r\n".join(out) + "\r\n").encode()


def schtasks_text(rng, tasks):
    folders = ["\\", "\\Microsoft\\Windows\\Defrag\\", "\\Microsoft\\Windows\\UpdateOrchestrator\\",
               "\\Microsoft\\Windows\\WindowsUpdate\\", "\\Microsoft\\Office\\", "\\Contoso\\",
               "\\Velmora\\Corvane\\"]
    blocks = []
    for i in range(tasks):
        folder = folders[i % len(folders)]
        name = f"{folder}Task {i:03d} {rng.choice(LOG_WORDS)}"
        fields = [("HostName", "VELMORA-PC"), ("TaskName", name), ("Next Run Time", "N/A"),
                  ("Status", rng.choice(["Ready", "Disabled", "Running"])),
                  ("Logon Mode", "Interactive/Background"),
                  ("Last Run Time", f"12/{rng.randrange(1, 10)}/2025 {rng.randrange(1, 12)}:0{rng.randrange(10)}:00 AM"),
                  ("Last Result", str(rng.choice([0, 0, 0, 1, 267011, -2147020576]))),
                  ("Author", rng.choice(["Microsoft Corporation", "Velmora", "Contoso"])),
                  ("Task To Run", f"%windir%\\system32\\{rng.choice(LOG_WORDS)}.exe -task {i}"),
                  ("Start In", "N/A"), ("Comment", " ".join(rng.choices(LOG_WORDS, k=12))),
                  ("Scheduled Task State", "Enabled"), ("Idle Time", "Disabled"),
                  ("Power Management", "Stop On Battery Mode, No Start On Batteries"),
                  ("Run As User", rng.choice(["SYSTEM", "Users", "LOCAL SERVICE"])),
                  ("Delete Task If Not Rescheduled", "Disabled"),
                  ("Stop Task If Runs X Hours and X Mins", "72:00:00"),
                  ("Schedule", "Scheduling data is not available in this format."),
                  ("Schedule Type", rng.choice(["At logon time", "Daily", "Weekly", "On idle"])),
                  ("Start Time", "N/A"), ("Start Date", "N/A"), ("End Date", "N/A"), ("Days", "N/A"),
                  ("Months", "N/A"), ("Repeat: Every", "N/A"), ("Repeat: Until: Time", "N/A"),
                  ("Repeat: Until: Duration", "N/A"), ("Repeat: Stop If Still Running", "N/A")]
        blocks.append("\r\n".join(f"{k + ':':38s}{v}" for k, v in fields))
    return ("\r\n" + "Folder: \\\r\n" + "\r\n\r\n".join(blocks) + "\r\n").encode()


# ---- runs -------------------------------------------------------------------

def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Runner:
    def __init__(self, args, env, outputs):
        self.args = args
        self.env = env
        self.outputs = outputs  # tool name: Unix path of its output
        self.record = os.path.join(args.work, "standins.record")
        self.cwd = os.path.join(args.work, "cwd")
        os.makedirs(self.cwd, exist_ok=True)
        self.desktop = e2e.desktop_folder()
        self.failures = []
        with open(outputs["schtasks"], "rb") as f:
            self.tasks = f.read()
        with open(outputs["systeminfo"], "rb") as f:
            self.first_info_line = f.read().split(b"\r\n")[0].decode()

    def run(self, program, delays, expect_file=None):
        """One run of `program` with the stand-ins taking `delays` (ms by tool
        name); checks what it made and returns its times. A run that fails is
        noted and made once more."""
        try:
            return self.run_once(program, delays, expect_file)
        except RuntimeError as failure:
            self.failures.append(f"{program}: {failure}")
            return self.run_once(program, delays, expect_file)

    def run_once(self, program, delays, expect_file):
        archive = os.path.join(self.desktop, "Velmora_Debug_Info.zip")
        for path in (self.record, archive):
            if os.path.exists(path):
                os.remove(path)
        options = ["--timings", "--env", "VELMORA_BENCH_RECORD=" + windows_path(self.record)]
        for tool, path in self.outputs.items():
            options += ["--env", f"VELMORA_BENCH_{tool.upper()}_MS={delays[tool]}",
                        "--env", f"VELMORA_BENCH_{tool.upper()}_OUTPUT={windows_path(path)}"]
        crash_size = file_size(crash_report_path(program))
        with contextlib.redirect_stdout(io.StringIO()):
            output, facts = e2e.drive_the_program(self.args.bin, *options, env=self.env,
                                                  program=program, cwd=self.cwd)
        if facts.get("exit") != "0" or "click-to-done-ms" not in facts:
            raise RuntimeError("did not end done: " + output.strip().replace("\n", "; ") +
                               crash_report(program, crash_size))
        self.check_archive(archive, expect_file, output)
        done = int(facts["click-to-done-ms"]) / 1000
        marks = {int(k.split("-")[1]): int(v) / 1000 for k, v in facts.items()
                 if k.startswith("mark-") and k.endswith("-ms")}
        before_archive = max((t for n, t in marks.items() if n <= 14), default=0.0)
        clicked = int(facts["clicked-unix-ms"]) / 1000
        tools = self.read_record(clicked, output)
        if self.args.verbose:
            steps = " ".join(f"{n}:{marks[n]:.2f}" for n in sorted(marks))
            print(f"{program} {delays} "
                  f"{expect_file or ''}: done {done:.2f} s, marks {steps}, stand-ins {tools}",
                  file=sys.stderr, flush=True)
        # The steps that read the product's files: the files report (6), the
        # listing of the installation (13) and the archive (15). The others
        # drift by as much as the extra files cost, and hide it.
        files = sum(marks.get(n, 0.0) - marks.get(n - 1, 0.0) for n in (6, 13))
        return {"done": done, "archive": done - before_archive, "tools": tools,
                "files": files + done - before_archive}

    def read_record(self, clicked, output):
        tools = {}
        with open(self.record) as f:
            for line in f:
                name, start, end = line.split()
                tools[name] = (int(start) / 1000 - clicked, (int(end) - int(start)) / 1000)
        if sorted(tools) != ["schtasks", "systeminfo"]:
            raise RuntimeError(f"the stand-ins did not both run ({sorted(tools)}):\n{output}")
        return tools  # name: (start after the click, own duration), seconds

    def check_archive(self, archive, expect_file, output):
        with zipfile.ZipFile(archive) as z:
            if z.read("taskschd.txt") != self.tasks:
                raise RuntimeError("taskschd.txt is not the stand-in's output:\n" + output)
            info = z.read("SystemInfo.txt").decode("utf-16")
            if self.first_info_line not in info:
                raise RuntimeError("SystemInfo.txt is not the stand-in's output:\n" + output)
            if expect_file and expect_file not in z.read("FilesInfo.txt").decode("utf-16"):
                raise RuntimeError(f"FilesInfo.txt does not list {expect_file}:\n" + output)


def crash_report_path(program):
    return os.path.join(os.path.dirname(program), "bugreport.txt")


def file_size(path):
    return os.path.getsize(path) if os.path.exists(path) else 0


def crash_report(program, size_before):
    """The exception line of a crash report that the run added beside the
    program, if any."""
    path = crash_report_path(program)
    if file_size(path) <= size_before:
        return ""
    with open(path, "rb") as f:
        f.seek(size_before)
        text = f.read().decode("utf-16-le", "replace")
    lines = [line.strip() for line in text.splitlines() if line.startswith("Exception:")]
    return "; crash report: " + lines[-1] if lines else ""


def best(runs):
    return min(runs, key=lambda r: r["done"])


def load():
    with open("/proc/loadavg") as f:
        return " ".join(f.read().split()[:3])


def seconds(runs):
    return " ".join(f"{r['done']:.2f}" for r in runs)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of this tree's test build")
    parser.add_argument("--peer", required=True, help="the peer's VelmoraHelper.exe")
    parser.add_argument("--peer-name", required=True)
    parser.add_argument("--name", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--repeat", type=int, default=3, help="runs of each program and stand-in time")
    parser.add_argument("--file-repeat", type=int, default=3, help="runs with each number of extra files")
    parser.add_argument("--peer-file-repeat", type=int, default=1,
                        help="the same for the peer, whose figures have no goal")
    parser.add_argument("--systeminfo-ms", type=int, default=8000)
    parser.add_argument("--schtasks-ms", type=int, default=5000)
    parser.add_argument("--extra-files", default="5000,20000")
    parser.add_argument("--tasks", type=int, default=350)
    parser.add_argument("--small-files", choices=("plain", "module", "mz"), default="plain",
                        help="the extra .dll files: plain bytes (default), modules with a "
                        "version resource, whose version Wine reads in milliseconds each, or "
                        "\"MZ\" and noise, which only start like a program")
    parser.add_argument("--one-folder", action="store_true",
                        help=f"all extra files in one folder, not {FILES_PER_FOLDER} a folder")
    parser.add_argument("--verbose", action="store_true", help="each run's progress marks")
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    args.bin = os.path.abspath(args.bin)
    started = time.monotonic()
    load_at_start = load()
    extra_counts = [int(n) for n in args.extra_files.split(",") if n]
    per_folder = max(extra_counts, default=1) if args.one_folder else FILES_PER_FOLDER
    module = os.path.join(args.bin, "product_module.dll")

    rng = random.Random(20261211)
    outputs = {"systeminfo": os.path.join(args.work, "systeminfo.out"),
               "schtasks": os.path.join(args.work, "schtasks.out")}
    write(outputs["systeminfo"], systeminfo_text(rng))
    write(outputs["schtasks"], schtasks_text(rng, args.tasks))
    seed_cache(os.path.join(args.work, "seed"), module)
    machine = SeededMachine(os.path.join(args.work, "seed"))
    machine.seed()
    install_files, install_bytes = tree_size(machine.install)
    service_files, service_bytes = tree_size(os.path.join(args.work, "seed", "drive_c"))

    programs = {args.name: os.path.join(args.bin, "VelmoraHelper.exe"), args.peer_name: args.peer}
    slow = {"systeminfo": args.systeminfo_ms, "schtasks": args.schtasks_ms}
    instant = {"systeminfo": 0, "schtasks": 0}
    results = {name: {"slow": [], "instant": []} for name in programs}
    with e2e.tools_in_system_folder(args.bin, TOOLS, os.path.join(args.bin, "timed_console_tool.exe")) as env:
        runner = Runner(args, env, outputs)
        for program in programs.values():  # warm-up: the prefix's first runs start its services
            runner.run(program, instant)
        for _ in range(args.repeat):  # interleaved, so that load hits all alike
            for name, program in programs.items():
                results[name]["slow"].append(runner.run(program, slow))
            for name, program in programs.items():
                results[name]["instant"].append(runner.run(program, instant))
        load_after_tools = load()
        for count in extra_counts:
            machine.add_small_dlls(count, module, args.small_files, per_folder)
            last = f"{INSTALL}\\Modules\\pack_{(count - 1) // per_folder:03d}\\cvmod_{count - 1:05d}.dll"
            for name in programs:
                results[name][count] = []
                results[name][count, "without"] = []
            # Each run with them is followed by one without: the machine's load
            # drifts over the minutes that the runs take.
            for i in range(max(args.file_repeat, args.peer_file_repeat)):
                runs = [(name, program) for name, program in programs.items()
                        if i < (args.file_repeat if name == args.name else args.peer_file_repeat)]
                for name, program in runs:
                    results[name][count].append(runner.run(program, instant, expect_file=last))
                with machine.extra_files_aside():
                    for name, program in runs:
                        results[name][count, "without"].append(runner.run(program, instant))

    ours, peer = results[args.name], results[args.peer_name]
    for failure in runner.failures:
        print("failed and made again: " + failure)
    info_kb = os.path.getsize(outputs["systeminfo"]) / 1000
    tasks_kb = os.path.getsize(outputs["schtasks"]) / 1000
    print(f"machine: {os.cpu_count()} cores; load average {load_at_start} at the start, "
          f"{load_after_tools} after the tool runs, {load()} at the end; "
          f"{(time.monotonic() - started) / 60:.1f} minutes")
    print(f"seeded: installation {install_bytes / 1e6:.1f} MB in {install_files} files, "
          f"{len(SERVICES)} services ({service_bytes / 1e6:.1f} MB of binaries outside it), "
          f"{len(SETTINGS_FILES)} settings files, {len(DOWNLOADER_LOGS)} downloader logs; "
          f"files in the page cache")
    slow_sum = sum(slow.values()) / 1000
    slow_max = max(slow.values()) / 1000
    print(f"stand-ins: systeminfo {slow['systeminfo'] / 1000:.2f} s printing {info_kb:.1f} KB, "
          f"schtasks /query /v /fo list {slow['schtasks'] / 1000:.2f} s printing {tasks_kb:.1f} KB "
          f"({args.tasks} tasks); sum {slow_sum:.2f} s, max {slow_max:.2f} s")
    print(f"programs: {args.name} against {args.peer_name}, x86_64 builds under wine64, "
          f"best of {args.repeat}, runs interleaved")
    print()
    rows = []
    for label, key in (("slow stand-ins", "slow"), ("instant stand-ins", "instant")):
        rows.append((label, best(ours[key]), best(peer[key]), ours[key], peer[key]))
    print(f"{'click-to-done':34s} {args.name:>12s} {args.peer_name:>12s}   all runs (s)")
    for label, o, p, o_all, p_all in rows:
        print(f"  {label:32s} {o['done']:10.2f} s {p['done']:10.2f} s   "
              f"{seconds(o_all)} | {seconds(p_all)}")
    o_slow, p_slow = best(ours["slow"]), best(peer["slow"])
    o_fast, p_fast = best(ours["instant"]), best(peer["instant"])
    print(f"  {'archive step, slow stand-ins':32s} {o_slow['archive']:10.2f} s {p_slow['archive']:10.2f} s"
          "   (from the 14th progress mark to the message box)")
    print(f"  {'archive step, instant stand-ins':32s} {o_fast['archive']:10.2f} s {p_fast['archive']:10.2f} s")
    for name, r in ((args.name, o_fast), (args.peer_name, p_fast)):
        r["collectors"] = r["done"] - r["archive"]
    print(f"  {'collectors (instant - archive)':32s} {o_fast['collectors']:10.2f} s "
          f"{p_fast['collectors']:10.2f} s")
    for name, r in ((args.name, o_slow), (args.peer_name, p_slow)):
        starts = ", ".join(f"{tool} +{r['tools'][tool][0]:.2f} s for {r['tools'][tool][1]:.2f} s"
                           for tool in ("systeminfo", "schtasks"))
        print(f"  stand-ins in the best slow run of {name}: started after the click {starts}")
    measured_max = max(d for _, d in o_slow["tools"].values())

    def ratio(slow_run, fast_run):
        return slow_run["done"] / (max(measured_max, fast_run["collectors"]) + slow_run["archive"])

    ideal = max(measured_max, o_fast["collectors"]) + o_slow["archive"]
    print()
    print(f"ratio click-to-done / (max(stand-ins, collectors) + archive): {ratio(o_slow, o_fast):.2f} "
          f"= {o_slow['done']:.2f} / (max({measured_max:.2f}, {o_fast['collectors']:.2f}) + "
          f"{o_slow['archive']:.2f}) = {o_slow['done']:.2f} / {ideal:.2f} (goal <= 1.15); "
          f"{args.peer_name}: {ratio(p_slow, p_fast):.2f}")
    reduction = (1 - o_slow["done"] / p_slow["done"]) * 100
    print(f"click-to-done with slow stand-ins: {o_slow['done']:.2f} s against {p_slow['done']:.2f} s "
          f"of {args.peer_name}: {reduction:.1f} % below (goal >= 35 %)")

    if extra_counts:
        print()
        kind = {"plain": "plain bytes", "module": "modules with a version resource",
                "mz": "\"MZ\" and noise"}[args.small_files]
        layout = "all in one folder" if args.one_folder else f"{FILES_PER_FOLDER} a folder"
        print(f"extra small .dll files ({kind}, 2-24 KB, {layout}), instant stand-ins, "
              f"best of {args.file_repeat} ({args.name}) and {args.peer_file_repeat} ({args.peer_name}) runs "
              f"with them and as many without them, in turn; ms a file = (with - without) / files:")
        print(f"  {'files':>6s} {args.name + ' without, with':>30s} {args.peer_name + ' without, with':>30s}"
              "   all runs with | without (s)")
        per_file, per_file_steps = {}, {}
        for count in extra_counts:
            cells = []
            for name, r in ((args.name, ours), (args.peer_name, peer)):
                with_them, without = best(r[count])["done"], best(r[count, "without"])["done"]
                per_file[name, count] = (with_them - without) * 1000 / count
                steps_with = min(run["files"] for run in r[count])
                steps_without = min(run["files"] for run in r[count, "without"])
                per_file_steps[name, count] = (steps_with - steps_without) * 1000 / count
                cells.append(f"{without:6.2f} s {with_them:6.2f} s {per_file[name, count]:5.2f} ms")
            runs_text = "   ".join(f"{seconds(r[count])} | {seconds(r[count, 'without'])}" for r in (ours, peer))
            print(f"  {count:6d} {cells[0]:>30s} {cells[1]:>30s}   {runs_text}")
        top, low = max(extra_counts), min(extra_counts)
        print(f"ms a file at {top}: {per_file[args.name, top]:.2f} (goal <= 0.80); "
              f"{args.peer_name}: {per_file[args.peer_name, top]:.2f}")
        if top != low:
            growth = per_file[args.name, top] / per_file[args.name, low]
            print(f"ms a file at {top} / at {low}: {growth:.2f} (goal <= 1.10); "
                  f"{args.peer_name}: {per_file[args.peer_name, top] / per_file[args.peer_name, low]:.2f}")
        print("the same from the steps that read the product's files (6, 13 and the archive), "
              "best of the runs:")
        for count in extra_counts:
            print(f"  {count:6d} files: {per_file_steps[args.name, count]:5.2f} ms a file; "
                  f"{args.peer_name}: {per_file_steps[args.peer_name, count]:5.2f} ms a file")
        if top != low:
            ours_growth = per_file_steps[args.name, top] / per_file_steps[args.name, low]
            peer_growth = per_file_steps[args.peer_name, top] / per_file_steps[args.peer_name, low]
            print(f"  at {top} / at {low}: {ours_growth:.2f} (goal <= 1.10); {args.peer_name}: {peer_growth:.2f}")


if __name__ == "__main__":
    main()
