#!/usr/bin/env python3
"""Runs the real program under Wine through its own window and checks what a
user and a support reader get: the message box, the exit code and the archive."""

import argparse
import os
import subprocess
import sys
import unittest

WINE = "/usr/lib/wine/wine64"
BIN = None


def wine(*args, timeout=900):
    return subprocess.run([WINE, *args], capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL)


def unix_path(windows_path):
    out = wine("winepath", "-u", windows_path).stdout.decode().strip()
    return out


def windows_path(path):
    return wine("winepath", "-w", path).stdout.decode().strip()


class EndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        desktop = wine("cmd", "/c", "echo %USERPROFILE%\\Desktop").stdout.decode().strip()
        cls.desktop_unix = unix_path(desktop)
        stale = os.path.join(cls.desktop_unix, "Velmora_Debug_Info.zip")
        os.makedirs(cls.desktop_unix, exist_ok=True)
        with open(stale, "wb") as f:
            f.write(b"an archive of an earlier run")
        result = wine(os.path.join(BIN, "velmora_driver.exe"), os.path.join(BIN, "VelmoraHelper.exe"))
        cls.driver_output = result.stdout.decode("utf-8", "replace").replace("\r\n", "\n")
        cls.facts = {}
        for line in cls.driver_output.splitlines():
            key, _, value = line.partition(": ")
            cls.facts[key] = value
        cls.archive = unix_path(cls.facts.get("archive", "")) if "archive" in cls.facts else ""
        print(cls.driver_output)

    def test_program_ends_with_exit_code_zero(self):
        self.assertEqual(self.facts.get("exit"), "0", self.driver_output)

    def test_message_names_the_archive_on_the_desktop(self):
        text = self.facts.get("text", "")
        prefix = "The info file: Velmora_Debug_Info.zip has been saved to your desktop.\\r"
        self.assertTrue(text.startswith(prefix), text)
        path = text[len(prefix):]
        self.assertTrue(path.lower().endswith("\\desktop\\velmora_debug_info.zip"), path)
        self.assertEqual(os.path.realpath(self.archive),
                         os.path.realpath(os.path.join(self.desktop_unix, "Velmora_Debug_Info.zip")))

    def test_message_box_is_an_information_box(self):
        self.assertEqual(self.facts.get("caption"), "Information")


def main():
    global BIN
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    args, rest = parser.parse_known_args()
    BIN = args.bin
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
