#!/usr/bin/env python3
"""The real program on a machine that works against it: a link planted where
its working folder goes, a stale folder of an earlier run, a temporary folder
whose name cmd cannot read, console tools that never end, and a window closed
in the middle of a report. Each run must end as it should and leave nothing
behind: no working folder, no temporary files, no partial archive, no process."""

import glob
import os
import shutil
import tempfile
import unittest
import zipfile

import e2e_support as e2e

BIN = None
REPORT_FILES = ["Velmora_Debug_Info.txt", "diskinfo.txt", "StorageInfo.txt", "taskschd.txt",
                "SystemInfo.txt"]
FAKE_TOOLS = ("systeminfo.exe", "schtasks.exe")


def archive_names():
    with zipfile.ZipFile(os.path.join(e2e.desktop_folder(), "Velmora_Debug_Info.zip")) as z:
        return z.namelist()


class RunCase(unittest.TestCase):
    """Common checks: the run ended done and left nothing behind."""

    def assertDone(self, facts, output):
        self.assertEqual(facts.get("exit"), "0", output)
        self.assertTrue(facts.get("text", "").startswith(
            "The info file: Velmora_Debug_Info.zip has been saved to your desktop."), output)

    def assertNothingLeft(self, temp):
        self.assertEqual(e2e.leftovers(temp), [])
        self.assertEqual(e2e.leftovers(BIN, ["GetInfoDir*"]), [])
        self.assertEqual(glob.glob(os.path.join(e2e.desktop_folder(), "*.tmp")), [])
        self.assertEqual(e2e.running_programs(*FAKE_TOOLS), [])


class PlantedLink(RunCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = e2e.temp_folder()
        cls.victim = tempfile.mkdtemp(prefix="velmora-victim-")
        os.makedirs(os.path.join(cls.victim, "sub"))
        for name in ("precious.txt", os.path.join("sub", "deeper.txt")):
            with open(os.path.join(cls.victim, name), "w") as f:
                f.write("keep me")
        cls.link = os.path.join(cls.temp, "GetInfoDir")
        os.symlink(cls.victim, cls.link)
        try:
            cls.output, cls.facts = e2e.drive_the_program(BIN)
        finally:
            os.remove(cls.link)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.victim, ignore_errors=True)

    def test_the_links_target_keeps_every_file(self):
        for name in ("precious.txt", os.path.join("sub", "deeper.txt")):
            with open(os.path.join(self.victim, name)) as f:
                self.assertEqual(f.read(), "keep me")
        self.assertEqual(sorted(os.listdir(self.victim)), ["precious.txt", "sub"])

    def test_the_report_is_made_without_the_targets_files(self):
        self.assertDone(self.facts, self.output)
        names = archive_names()
        for name in REPORT_FILES:
            self.assertIn(name, names)
        self.assertFalse([n for n in names if "precious" in n or "deeper" in n], names)

    def test_nothing_is_left_behind(self):
        self.assertNothingLeft(self.temp)


class StaleWorkingFolder(RunCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = e2e.temp_folder()
        stale = os.path.join(cls.temp, "GetInfoDir", "AppPath")
        os.makedirs(stale)
        with open(os.path.join(stale, "stale.log"), "w") as f:
            f.write("from a run whose window was closed")
        with open(os.path.join(cls.temp, "GetInfoDir", "uninstall.txt"), "w") as f:
            f.write("stale")
        cls.output, cls.facts = e2e.drive_the_program(BIN)

    def test_no_stale_file_reaches_the_archive(self):
        self.assertDone(self.facts, self.output)
        names = archive_names()
        self.assertNotIn("AppPath/stale.log", names)
        with zipfile.ZipFile(os.path.join(e2e.desktop_folder(), "Velmora_Debug_Info.zip")) as z:
            if "uninstall.txt" in names:
                self.assertNotEqual(z.read("uninstall.txt"), b"stale")

    def test_nothing_is_left_behind(self):
        self.assertNothingLeft(self.temp)


class TemporaryFolderOutsideCodePage437(RunCase):
    # With a shell's variables too, which no shell may expand.
    NAME = "Temp Jos\u00e9 \u0414\u043c\u0438\u0442\u0440\u0438\u0439 %X% !X!"

    @classmethod
    def setUpClass(cls):
        cls.temp = os.path.join(e2e.temp_folder(), cls.NAME)
        os.makedirs(cls.temp, exist_ok=True)
        folder = e2e.windows_path(cls.temp)
        cls.output, cls.facts = e2e.drive_the_program(
            BIN, "--env", f"TMP={folder}", "--env", f"TEMP={folder}", "--env", "X=\\..\\evil")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.temp, ignore_errors=True)

    def test_every_report_file_is_in_the_archive(self):
        self.assertDone(self.facts, self.output)
        names = archive_names()
        for name in REPORT_FILES:
            self.assertIn(name, names)

    def test_nothing_is_left_in_that_folder(self):
        self.assertEqual(os.listdir(self.temp), [])
        self.assertNothingLeft(self.temp)


TASKS = b"Folder: \\\r\nTaskName: \\Velmora\r\nStatus: Ready\r\n"


def drive_with_stuck_tools(data_dir, *options, hanging="1"):
    """Runs the program with fake console tools in place of the system's:
    "systeminfo" writes a line and never ends, after starting a helper of its
    own that never ends either; "schtasks" takes three seconds for its list,
    unless `hanging` names it too."""
    paths = {}
    for name, content in (("systeminfo", b"Host Name: STUCK\r\n"), ("schtasks", TASKS)):
        paths[name] = os.path.join(data_dir, name + ".txt")
        with open(paths[name], "wb") as f:
            f.write(content)
    with e2e.tools_in_system_folder(BIN) as env:
        return e2e.drive_the_program(
            BIN, *options, "--env", "VELMORA_FAKE_HANG_SYSTEMINFO=1",
            "--env", "VELMORA_FAKE_CHILD_SYSTEMINFO=1",
            "--env", f"VELMORA_FAKE_OUTPUT_SYSTEMINFO={e2e.windows_path(paths['systeminfo'])}",
            "--env", "VELMORA_FAKE_DELAY_MS_SCHTASKS=3000",
            "--env", f"VELMORA_FAKE_HANG_SCHTASKS={'1' if hanging == 'both' else ''}",
            "--env", f"VELMORA_FAKE_OUTPUT_SCHTASKS={e2e.windows_path(paths['schtasks'])}",
            env=env)


class ConsoleToolsThatNeverEnd(RunCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = e2e.temp_folder()
        cls.data = tempfile.mkdtemp(prefix="velmora-fake-")
        cls.output, cls.facts = drive_with_stuck_tools(cls.data)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.data, ignore_errors=True)

    def test_the_run_ends_done_within_the_tools_time_limit(self):
        self.assertDone(self.facts, self.output)
        # Both tools run beside the collectors: one limit of two minutes, and the rest.
        self.assertLess(self.facts["seconds"], 4 * 60)

    def test_what_each_tool_wrote_is_kept_in_its_file(self):
        with zipfile.ZipFile(os.path.join(e2e.desktop_folder(), "Velmora_Debug_Info.zip")) as z:
            lines = z.read("SystemInfo.txt")[2:].decode("utf-16-le").split("\r\n")
            self.assertEqual(z.read("taskschd.txt"), TASKS)
            self.assertEqual(sorted(z.namelist()),
                             sorted(["Findings.txt", "Velmora_Debug_Info.txt", "uninstall.txt",
                                     "boottime.txt", "diskinfo.txt", "StorageInfo.txt",
                                     "services.txt", "taskschd.txt", "SystemInfo.txt",
                                     "FilesInfo.txt"]))
        self.assertEqual(lines[1:], ["", "===== System =====", "Host Name: STUCK", ""])

    def test_nothing_is_left_behind(self):
        self.assertNothingLeft(self.temp)


class WindowClosedDuringReport(RunCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = e2e.temp_folder()
        cls.data = tempfile.mkdtemp(prefix="velmora-fake-")
        archive = os.path.join(e2e.desktop_folder(), "Velmora_Debug_Info.zip")
        if os.path.exists(archive):
            os.remove(archive)
        cls.output, cls.facts = drive_with_stuck_tools(cls.data, "--close-during-report",
                                                       hanging="both")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.data, ignore_errors=True)

    def test_the_program_ends_without_a_crash(self):
        self.assertEqual(self.facts.get("progress"), "visible", self.output)
        self.assertEqual(self.facts.get("exit"), "0", self.output)
        self.assertNotIn("error", self.facts, self.output)
        # Told to stop, the report ends its tool at once instead of waiting it out.
        self.assertLess(self.facts["seconds"], 60)

    def test_nothing_is_left_behind(self):
        self.assertNothingLeft(self.temp)
        self.assertFalse(os.path.exists(os.path.join(e2e.desktop_folder(),
                                                     "Velmora_Debug_Info.zip")))


if __name__ == "__main__":
    e2e.run_tests(globals())
