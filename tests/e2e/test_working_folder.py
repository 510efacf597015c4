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
REPORT_FILES = ["Velmora_Debug_Info.txt", "diskinfo.txt", "taskschd.txt", "SystemInfo.txt"]
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
        self.assertEqual(e2e.leftovers(BIN, ["GetInfoDir"]), [])
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
    NAME = "Temp Jos\u00e9 \u0414\u043c\u0438\u0442\u0440\u0438\u0439"

    @classmethod
    def setUpClass(cls):
        cls.temp = os.path.join(e2e.temp_folder(), cls.NAME)
        os.makedirs(cls.temp, exist_ok=True)
        folder = e2e.windows_path(cls.temp)
        cls.output, cls.facts = e2e.drive_the_program(
            BIN, "--env", f"TMP={folder}", "--env", f"TEMP={folder}")

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


def drive_with_stuck_tools(data_dir, *options):
    """Runs the program with never-ending fake console tools, which start
    helpers of their own, in place of the system's."""
    output = os.path.join(data_dir, "fake-output.txt")
    with open(output, "wb") as f:
        f.write(b"Host Name: STUCK\r\n")
    with e2e.tools_in_system_folder(BIN) as env:
        return e2e.drive_the_program(
            BIN, *options, "--env", "VELMORA_FAKE_HANG=1", "--env", "VELMORA_FAKE_CHILD=1",
            "--env", f"VELMORA_FAKE_OUTPUT={e2e.windows_path(output)}", env=env)


class ConsoleToolsThatNeverEnd(RunCase):
    @classmethod
    def setUpClass(cls):
        cls.temp = e2e.temp_folder()
        cls.data = tempfile.mkdtemp(prefix="velmora-fake-")
        cls.output, cls.facts = drive_with_stuck_tools(cls.data)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.data, ignore_errors=True)

    def test_the_run_ends_done_within_the_tools_time_limits(self):
        self.assertDone(self.facts, self.output)
        # Two tools of two minutes each, and the rest of the report.
        self.assertLess(self.facts["seconds"], 6 * 60)

    def test_what_the_tool_wrote_before_it_was_ended_is_kept(self):
        with zipfile.ZipFile(os.path.join(e2e.desktop_folder(), "Velmora_Debug_Info.zip")) as z:
            text = z.read("SystemInfo.txt")[2:].decode("utf-16-le")
        self.assertIn("Host Name: STUCK", text.split("\r\n"))

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
        cls.output, cls.facts = drive_with_stuck_tools(cls.data, "--close-during-report")

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
