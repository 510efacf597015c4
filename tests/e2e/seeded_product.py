"""A Corvane installation as its 32-bit installer leaves it, seeded in the test
prefix for the end-to-end test, and what a support reader must find of it in
the archive: the main report's files block, "FilesInfo.txt", and the copies
under "AppPath/", "AppData/" and "Downloader/". Digests are md5sum's."""

import os
import shutil
import subprocess
import time

import e2e_support as e2e
from e2e_support import unix_path, wine

UNINSTALL_KEY = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane_is1"
INSTALL = "C:\\Program Files (x86)\\Velmora\\Corvane"

# Relative path in the installation: content (None: the fixture with version 1.0.0.12).
INSTALLED = {
    "Corvane.exe": None,
    "drivers\\vdisk.sys": b"a driver without version resource",
    "Update\\patch.exe": b"an update",
    "Update\\desktop.ini": b"[.ShellClassInfo]",
    "Update\\old\\stale.log": b"below a folder that is not copied",
    "CorvaneReport\\report.xml": b"<report/>",
    "readme.txt": b"read me",
    ".hidden.log": b"Wine takes dot files for hidden ones",
    "RdmConfig.ini": b"[rdm]",
}
SETTINGS = {"Corvane.ini": b"[settings]"}
DOWNLOADER_LOGS = {"download.log": b"downloaded"}
# Local times of the last change: one at midnight shows the date only.
TIMES = {"Corvane.exe": (2024, 1, 31, 0, 0, 0), "drivers\\vdisk.sys": (2023, 7, 4, 15, 30, 45),
         "Update\\patch.exe": (2022, 12, 24, 9, 5, 0)}
DATE_TEXTS = {"Corvane.exe": "1/31/2024", "drivers\\vdisk.sys": "7/4/2023 3:30:45 PM",
              "Update\\patch.exe": "12/24/2022 9:05:00 AM"}


def uninstall_heading(entry):
    """The heading of the installer's uninstall entry in "uninstall.txt": it
    lives in the 32-bit view, the Wow6432Node twin on 64-bit Windows."""
    twin = "Wow6432Node\\" if e2e.WINDOWS_BITS == 64 else ""
    return f"[HKEY_LOCAL_MACHINE\\SOFTWARE\\{twin}Microsoft\\Windows\\CurrentVersion\\Uninstall\\{entry}]"


def md5sum(path):
    return subprocess.run(["md5sum", path], capture_output=True, check=True,
                          text=True).stdout.split()[0]


class SeededProduct:
    def __init__(self, bin_dir, extra_installed=None):
        """`extra_installed`: more files of the installation, relative path:
        content, such as names in the user's language."""
        self.bin_dir = bin_dir
        self.installed = dict(INSTALLED, **(extra_installed or {}))
        self.install = unix_path(INSTALL)
        self.settings = unix_path(e2e.environment_variable("APPDATA") + "\\Velmora\\Corvane")
        self.downloader = unix_path(e2e.environment_variable("ProgramData")
                                    + "\\Velmora\\Corvane\\Downloader")

    def unix(self, relative):
        return os.path.join(self.install, *relative.split("\\"))

    def seed(self):
        for relative, content in self.installed.items():
            path = self.unix(relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            if content is None:
                shutil.copyfile(os.path.join(self.bin_dir, "fixed_version.dll"), path)
            else:
                with open(path, "wb") as f:
                    f.write(content)
        for relative, moment in TIMES.items():
            stamp = time.mktime(moment + (0, 0, -1))
            os.utime(self.unix(relative), (stamp, stamp))
        # A link back up the tree: walks must not go round in it.
        os.makedirs(self.unix("Lang"), exist_ok=True)
        os.symlink("..", self.unix("Lang\\back"))
        for folder, files in ((self.settings, SETTINGS), (self.downloader, DOWNLOADER_LOGS)):
            os.makedirs(folder, exist_ok=True)
            for name, content in files.items():
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(content)
        wine("reg", "add", UNINSTALL_KEY, "/v", "InstallLocation", "/d", INSTALL, "/reg:32", "/f")

    def remove(self):
        wine("reg", "delete", UNINSTALL_KEY, "/reg:32", "/f")
        for folder in (self.install, os.path.dirname(self.settings),
                       os.path.dirname(os.path.dirname(self.downloader))):
            shutil.rmtree(folder, ignore_errors=True)

    def files_block(self):
        """The lines of the main report's files report, in any order."""
        lines = set()
        for relative in ("Corvane.exe", "drivers\\vdisk.sys", "Update\\patch.exe"):
            version = "1.0.0.12" if relative == "Corvane.exe" else ""
            lines.add(f"{relative}   Ver:{version}   MD5:{md5sum(self.unix(relative))}"
                      f"   DT:{DATE_TEXTS[relative]}")
        return lines

    def listing_lines(self):
        """The lines of the installation's block in "FilesInfo.txt", in any order."""
        lines = set()
        for relative in self.installed:
            path = self.unix(relative)
            version = "1.0.0.12" if relative == "Corvane.exe" else ""
            lines.add(f"{INSTALL}\\{relative}, {version}, {os.path.getsize(path)}, {md5sum(path)}")
        return lines

    def archived_copies(self):
        """Archive entry name: content, for every copy of a product file."""
        copies = {"AppPath/" + relative.replace("\\", "/"): self.content(relative)
                  for relative in ("Update\\patch.exe", "CorvaneReport\\report.xml", "readme.txt",
                                   "RdmConfig.ini")}
        copies.update({"AppData/" + name: content for name, content in SETTINGS.items()})
        copies.update({"Downloader/" + name: content for name, content in DOWNLOADER_LOGS.items()})
        return copies

    def content(self, relative):
        with open(self.unix(relative), "rb") as f:
            return f.read()
