#!/usr/bin/env python3
"""The program runs as administrator, started from a folder that the user's
own programs can write to, and reads and writes places that others can shape.
One run of the real program on a prefix where a hostile user has prepared
everything at once:

- DLLs that the program loads planted beside it and in the folder it is
  started from, with Wine told to prefer them as Windows does for any DLL
  outside its known-DLL list. Two are left out because Wine's own DLLs load
  them from the program's folder whatever the program does, which Windows
  would not once the program has restricted the search: version.dll (at the
  start of every process) and uxtheme.dll (for the first window). That the
  program imports neither is the import-table test's part;
- cmd.exe, chcp.com, systeminfo.exe and schtasks.exe planted in both folders;
- links where the product's folders should be: the installation's "Update",
  the downloader's log folder (as another account's folder) and, one level
  above the settings, "Velmora" under the user's application data;
- a link inside the installation to the system folder;
- folders inside the installation that a racing helper swaps for links to
  another folder and back again, over and over, while the program runs;
- a log in the installation that is a second name (a hard link) of someone
  else's file;
- a link at the archive's name on the desktop, to a file of someone else's;
- temporary folders (TEMP and TMP) at a path that holds "%X%", with X set to
  "\\..\\evil" and a batch of the user's at the place a shell would make of
  it: set by the driver, as Wine would expand such values of the registry.

Nothing planted may load or run, no link may be followed, and the report
must still be made with the real tools' captures. What Wine cannot show (cmd's
AutoRun, writes with the console user's rights, a browser started without
administrator rights) is tested through seams in the unit tests."""

import glob
import os
import shutil
import subprocess
import tempfile
import threading
import time
import unittest
import zipfile

import e2e_support as e2e
from seeded_product import SeededProduct

BIN = None
PLANTED_DLLS = ("wtsapi32.dll", "psapi.dll", "dbghelp.dll", "comctl32.dll")
PLANTED_TOOLS = ("cmd.exe", "chcp.com", "systeminfo.exe", "schtasks.exe")
ARCHIVE = "Velmora_Debug_Info.zip"
RACING_FOLDERS = 8


class FolderSwapper(threading.Thread):
    """Swaps each folder for a link to `target` and back, again and again,
    each state held a little while, until stopped."""

    def __init__(self, folders, target):
        super().__init__(daemon=True)
        self.folders = folders
        self.target = target
        self.stopping = threading.Event()
        self.rounds = 0

    def run(self):
        while not self.stopping.is_set():
            for folder in self.folders:
                os.rename(folder, folder + " aside")
                os.symlink(self.target, folder)
            time.sleep(0.002)
            for folder in self.folders:
                os.remove(folder)
                os.rename(folder + " aside", folder)
            time.sleep(0.002)
            self.rounds += 1

    def stop(self):
        self.stopping.set()
        self.join()


class Machine:
    def __init__(self):
        profile = e2e.unix_path(e2e.environment_variable("USERPROFILE"))
        self.program_folder = os.path.join(profile, "Downloads", "velmora elevated")
        self.start_folder = os.path.join(profile, "start here")
        self.outside = tempfile.mkdtemp(prefix="velmora-elevated-")
        self.tool_record = os.path.join(self.outside, "tools-that-ran.txt")
        self.product = SeededProduct(BIN)
        self.app_data = e2e.unix_path(e2e.environment_variable("APPDATA"))
        self.victim = os.path.join(self.outside, "someone else's file")
        drive_c = e2e.unix_path("C:\\")
        self.temp = os.path.join(drive_c, "t%X%")
        self.evil = os.path.join(drive_c, "evil")
        self.evil_ran = os.path.join(self.evil, "ran.txt")
        self.swapper = None

    def seed(self):
        for folder in (self.program_folder, self.start_folder):
            os.makedirs(folder, exist_ok=True)
            for name in PLANTED_DLLS:
                shutil.copyfile(os.path.join(BIN, "planted_dll.dll"), os.path.join(folder, name))
            for name in PLANTED_TOOLS:
                shutil.copyfile(os.path.join(BIN, "fake-tools", "systeminfo.exe"),
                                os.path.join(folder, name))
        shutil.copyfile(os.path.join(BIN, "VelmoraHelper.exe"),
                        os.path.join(self.program_folder, "VelmoraHelper.exe"))
        self.product.seed()
        self.plant_link("Update", self.product.unix("Update"), {"secret-update.log": b"not ours"})
        self.plant_link("other account", self.product.downloader, {"other.log": b"not ours"})
        velmora = os.path.join(self.app_data, "Velmora")
        shutil.rmtree(velmora)
        self.plant_link("appdata", velmora, {"Corvane/stolen.ini": b"not ours"})
        os.symlink(e2e.unix_path("C:\\windows\\system32"), self.product.unix("windows-link"))
        with open(self.victim, "wb") as f:
            f.write(b"must stay as it is")
        os.link(self.victim, self.product.unix("linked.log"))
        racing_target = os.path.join(self.outside, "racing target")
        os.makedirs(racing_target)
        with open(os.path.join(racing_target, "not-ours.dll"), "wb") as f:
            f.write(b"not ours")
        racing = [self.product.unix(f"race{n}") for n in range(RACING_FOLDERS)]
        for folder in racing:
            os.makedirs(folder)
            with open(os.path.join(folder, "ours.dll"), "wb") as f:
                f.write(b"ours")
        self.swapper = FolderSwapper(racing, racing_target)
        os.makedirs(self.temp, exist_ok=True)
        os.makedirs(os.path.join(self.evil, "GetInfoDir"), exist_ok=True)
        with open(os.path.join(self.evil, "GetInfoDir", "schtasks.bat"), "wb") as f:
            f.write(b"@echo planted batch>C:\\evil\\ran.txt\r\n@echo planted batch\r\n")
        desktop = e2e.desktop_folder()
        os.makedirs(desktop, exist_ok=True)
        archive = os.path.join(desktop, ARCHIVE)
        if os.path.lexists(archive):
            os.remove(archive)
        os.symlink(self.victim, archive)

    def plant_link(self, name, where, files):
        """Replaces the folder `where` by a link to a folder outside with `files`."""
        target = os.path.join(self.outside, name)
        for relative, content in files.items():
            path = os.path.join(target, *relative.split("/"))
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(content)
        if os.path.islink(where):
            os.remove(where)
        elif os.path.isdir(where):
            shutil.rmtree(where)
        os.makedirs(os.path.dirname(where), exist_ok=True)
        os.symlink(target, where)

    def remove(self):
        if self.swapper is not None and self.swapper.is_alive():
            self.swapper.stop()
        for link in (self.product.unix("windows-link"), self.product.unix("Update"),
                     self.product.downloader, os.path.join(self.app_data, "Velmora")):
            if os.path.islink(link):
                os.remove(link)
        self.product.remove()
        archive = os.path.join(e2e.desktop_folder(), ARCHIVE)
        if os.path.lexists(archive):
            os.remove(archive)
        for folder in (self.program_folder, self.start_folder, self.outside, self.temp, self.evil):
            shutil.rmtree(folder, ignore_errors=True)

    def run(self):
        overrides = os.environ.get("WINEDLLOVERRIDES", "")
        names = ",".join(name[:-4] for name in PLANTED_DLLS)
        env = dict(os.environ, WINEDLLOVERRIDES=f"{overrides};{names}=n,b".lstrip(";"),
                   VELMORA_FAKE_RECORD=e2e.windows_path(self.tool_record),
                   VELMORA_FAKE_OUTPUT=e2e.windows_path(self.victim))
        program = e2e.windows_path(os.path.join(self.program_folder, "VelmoraHelper.exe"))
        self.swapper.start()
        try:
            return e2e.drive_the_program(BIN, "--env", "TEMP=C:\\t%X%", "--env",
                                         "TMP=C:\\t%X%", "--env", "X=\\..\\evil", env=env,
                                         program=program, cwd=self.start_folder)
        finally:
            self.swapper.stop()


MACHINE = None
RESULT = {}


def setUpModule():
    global MACHINE
    MACHINE = Machine()
    try:
        MACHINE.seed()
        output, facts = MACHINE.run()
        RESULT.update(output=output, facts=facts)
        archive = os.path.join(e2e.desktop_folder(), ARCHIVE)
        RESULT["members"] = {}
        if os.path.isfile(archive) and zipfile.is_zipfile(archive):
            with zipfile.ZipFile(archive) as z:
                RESULT["members"] = {info.filename: z.read(info) for info in z.infolist()}
        RESULT["unzip"] = subprocess.run(["unzip", "-t", archive], capture_output=True)
    except BaseException:
        MACHINE.remove()
        raise


def tearDownModule():
    if MACHINE is not None:
        MACHINE.remove()


def report_lines(name):
    data = RESULT["members"][name]
    return data[2:].decode("utf-16-le").split("\r\n")


class Elevated(unittest.TestCase):
    def test_the_report_is_made(self):
        self.assertEqual(RESULT["facts"].get("exit"), "0", RESULT["output"])
        self.assertEqual(RESULT["unzip"].returncode, 0, RESULT["unzip"].stdout)
        for name in ("Velmora_Debug_Info.txt", "SystemInfo.txt", "taskschd.txt", "FilesInfo.txt"):
            self.assertIn(name, RESULT["members"])

    def test_planted_dlls_are_never_loaded(self):
        loaded = [os.path.basename(path) for folder in (MACHINE.program_folder, MACHINE.start_folder)
                  for path in glob.glob(os.path.join(folder, "*.loaded"))]
        self.assertEqual(loaded, [])

    def test_planted_tools_never_run_and_the_real_ones_do(self):
        self.assertFalse(os.path.exists(MACHINE.tool_record),
                         open(MACHINE.tool_record, encoding="utf-8", errors="replace").read()
                         if os.path.exists(MACHINE.tool_record) else "")
        # The real tools print nothing under Wine: the captures hold only
        # their headings, never what a planted tool printed.
        self.assertEqual(report_lines("SystemInfo.txt")[1:], ["", "===== System =====", ""])
        self.assertEqual(RESULT["members"]["taskschd.txt"], b"")

    def test_no_shell_expands_the_users_temporary_path(self):
        self.assertFalse(os.path.exists(MACHINE.evil_ran))
        self.assertEqual(e2e.leftovers(MACHINE.temp), [])

    def test_links_as_product_folders_are_not_followed(self):
        members = sorted(RESULT["members"])
        for name in ("AppPath/Update/secret-update.log", "Downloader/other.log",
                     "AppData/stolen.ini"):
            self.assertNotIn(name, members)
        self.assertFalse([name for name in members
                          if name.startswith(("Downloader/", "AppData/", "AppPath/Update/"))])
        # The installation's own files still come.
        self.assertEqual(RESULT["members"]["AppPath/readme.txt"], b"read me")

    def test_a_link_inside_the_installation_is_never_walked(self):
        for name in ("Velmora_Debug_Info.txt", "FilesInfo.txt"):
            walked = [line for line in report_lines(name) if "windows-link" in line]
            self.assertEqual(walked[:3], [], f"{len(walked)} lines in {name}")
        self.assertIn("Corvane.exe   Ver:1.0.0.12", " ".join(report_lines("Velmora_Debug_Info.txt")))

    def test_folders_swapped_while_walked_bring_no_other_files(self):
        self.assertGreater(MACHINE.swapper.rounds, 0)
        for name in ("Velmora_Debug_Info.txt", "FilesInfo.txt"):
            walked = [line for line in report_lines(name) if "not-ours" in line]
            self.assertEqual(walked, [], name)

    def test_a_second_name_of_someone_elses_file_is_not_copied(self):
        self.assertNotIn("AppPath/linked.log", RESULT["members"])

    def test_a_link_at_the_archives_name_leaves_its_target_alone(self):
        with open(MACHINE.victim, "rb") as f:
            self.assertEqual(f.read(), b"must stay as it is")
        archive = os.path.join(e2e.desktop_folder(), ARCHIVE)
        self.assertFalse(os.path.islink(archive))
        self.assertTrue(zipfile.is_zipfile(archive))

    def test_nothing_is_left_behind(self):
        self.assertEqual(e2e.leftovers(e2e.temp_folder()), [])
        self.assertEqual(e2e.leftovers(MACHINE.program_folder, ["GetInfoDir*"]), [])
        self.assertEqual(glob.glob(os.path.join(e2e.desktop_folder(), "*.tmp")), [])
        self.assertEqual(e2e.running_programs("VelmoraHelper.exe", "systeminfo.exe",
                                              "schtasks.exe"), [])


if __name__ == "__main__":
    e2e.run_tests(globals())
