#!/usr/bin/env python3
"""Runs the real program under Wine through its own window and checks what a
user and a support reader get: the message box, the exit code and the archive."""

import glob
import os
import subprocess
import unittest
import zipfile

import e2e_support as e2e
from e2e_support import desktop_folder, unix_path, windows_path, wine
from seeded_product import SeededProduct, uninstall_heading

BIN = None
# The signed release (scripts/release with a throw-away certificate), which
# the 32-bit lane names: this machine's 64-bit Wine runs no 32-bit program.
SIGNED_RELEASE = os.environ.get("VELMORA_SIGNED_RELEASE")


def drive_the_program():
    return e2e.drive_the_program(BIN)


BOOT_TIME_KEY = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services\\CorvaneBootTime"
RUN_KEY = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
LOCATOR_SERVER = ("HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\"
                  "{4590F811-1D3A-11D0-891F-00AA004B2E24}\\InprocServer32")
STAND_IN_SEED = "HKEY_CURRENT_USER\\Software\\Velmora Test Stand-ins"
# The classes' view that the program reads: the 32-bit one (Wow6432Node on
# 64-bit Windows) for the shipped program.
CLASSES_VIEW = "/reg:32" if e2e.PROGRAM_BITS == 32 else "/reg:64"


def registered_server(key):
    """The default value of an InprocServer32 key, as `reg query` prints it."""
    output = wine("reg", "query", key, "/ve", CLASSES_VIEW).stdout.decode(errors="replace")
    for line in output.splitlines():
        if "REG_SZ" in line:
            return line.split("REG_SZ", 1)[1].strip()
    raise AssertionError("no server registered under " + key + ": " + output)


def seed_security_center(test_class):
    """One anti-virus product in the Security Center, served by the tests'
    stand-in locator (Wine's has no Security Center) until the class ends."""
    platform = registered_server(LOCATOR_SERVER)
    stand_in = windows_path(os.path.join(BIN, "velmora_security_standins.dll"))
    wine("reg", "add", LOCATOR_SERVER, "/ve", "/d", stand_in, CLASSES_VIEW, "/f")
    test_class.addClassCleanup(wine, "reg", "add", LOCATOR_SERVER, "/ve", "/d", platform,
                               CLASSES_VIEW, "/f")
    product = STAND_IN_SEED + "\\Wbem\\ROOT\\SecurityCenter2\\AntiVirusProduct\\1"
    wine("reg", "add", product, "/v", "displayName", "/d", "Windows Defender", "/f")
    wine("reg", "add", product, "/v", "productState", "/t", "REG_DWORD", "/d", "397568", "/f")
    # Windows XP's namespace, with its own properties: read only before Vista.
    product = STAND_IN_SEED + "\\Wbem\\ROOT\\SecurityCenter\\AntiVirusProduct\\1"
    wine("reg", "add", product, "/v", "displayName", "/d", "Corvane Guard", "/f")
    for name, value in (("onAccessScanningEnabled", "1"), ("productUptoDate", "0")):
        wine("reg", "add", product, "/v", name, "/t", "REG_DWORD", "/d", value, "/f")
    test_class.addClassCleanup(wine, "reg", "delete", STAND_IN_SEED, "/f")


class EndToEnd(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # The product's boot-time service, as its installer registers it.
        wine("reg", "add", BOOT_TIME_KEY, "/v", "ImagePath", "/t", "REG_EXPAND_SZ",
             "/d", "%SystemRoot%\\system32\\corvaneboot.exe", "/f")
        cls.addClassCleanup(wine, "reg", "delete", BOOT_TIME_KEY, "/f")
        # Something the user's logon starts, for the autoruns block.
        wine("reg", "add", RUN_KEY, "/v", "Velmora Check", "/d", "C:\\check.exe /now", "/f")
        cls.addClassCleanup(wine, "reg", "delete", RUN_KEY, "/v", "Velmora Check", "/f")
        seed_security_center(cls)
        cls.product = SeededProduct(BIN)
        cls.product.seed()
        cls.addClassCleanup(cls.product.remove)
        cls.desktop_unix = desktop_folder()
        stale = os.path.join(cls.desktop_unix, "Velmora_Debug_Info.zip")
        os.makedirs(cls.desktop_unix, exist_ok=True)
        with open(stale, "wb") as f:
            f.write(b"an archive of an earlier run")
        cls.driver_output, cls.facts = drive_the_program()
        cls.archive = unix_path(cls.facts.get("archive", "")) if "archive" in cls.facts else ""

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

    def test_info_zip_finds_no_errors(self):
        result = subprocess.run(["unzip", "-t", self.archive], capture_output=True)
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace"))
        self.assertIn(b"No errors detected", result.stdout)

    def test_python_zipfile_reads_the_archive(self):
        with zipfile.ZipFile(self.archive) as z:
            self.assertIsNone(z.testzip())

    def test_old_archive_was_replaced_and_nothing_left_beside_it(self):
        with open(self.archive, "rb") as f:
            self.assertEqual(f.read(4), b"PK\x03\x04")
        self.assertEqual(glob.glob(os.path.join(self.desktop_unix, "*.tmp")), [])

    def test_working_folder_is_removed(self):
        self.assertFalse(os.path.exists(os.path.join(e2e.temp_folder(), "GetInfoDir")))

    def test_main_report_opens_with_version_and_date(self):
        text = self.member_text("Velmora_Debug_Info.txt")
        lines = text.split("\r\n")
        self.assertEqual(lines[0], "Version:1.7.0.783")
        self.assertTrue(lines[1].startswith("Date:") and len(lines[1]) > len("Date:"), lines[1])
        self.assertTrue(text.endswith("\r\n"))

    def test_main_report_holds_the_summary_then_the_process_block(self):
        lines = self.member_text("Velmora_Debug_Info.txt").split("\r\n")
        separator = "*" * 81
        labels = ["OS Name:\t", "OS Version:\t", "SP Version:\t", "system lan:\t", "ComputerName:\t",
                  "OS Type:\t", "Memory Size:\t", "Free Size:\t", "VMemory Size:\t", "VFree Size:\t",
                  "VFreeExt Size:\t", "PF Size:\t", "PF Free:\t", "System Drive:\t", "Total Space:\t",
                  "Free Space:\t", "Cur Users:\t", "User Level:\t"]
        self.assertEqual(lines[2], separator)
        for i, label in enumerate(labels):
            self.assertTrue(lines[3 + i].startswith(label), (label, lines[3 + i]))
        self.assertEqual(lines[3 + 5], f"OS Type:\t{e2e.WINDOWS_BITS}bit")
        self.assertEqual(" x64" in lines[3], e2e.WINDOWS_BITS == 64, lines[3])
        if e2e.WINDOWS_BITS == 32:
            # The Windows that the 32-bit lane's prefix stands for (winecfg -v).
            name = {"winxp": "Windows XP", "win2k": "Windows 2000"}[e2e.LANE]
            self.assertTrue(lines[3].startswith("OS Name:\t" + name), lines[3])
        after_summary = 3 + len(labels)
        self.assertEqual(lines[after_summary], "")
        self.assertEqual(lines[after_summary + 1], separator)
        block = lines[after_summary + 2:]
        own = [row for row in block if " VelmoraHelper.exe " in row]
        self.assertEqual(len(own), 1, block[:20])
        memory = block.index("") + 1
        self.assertTrue(block[memory].startswith("Virtual memory:"), block[memory])
        self.assertTrue(block[memory + 1].startswith("GlobalAtomInfo:Atom:"))
        self.assertTrue(block[memory + 2].startswith("DesktopHeap:"))
        self.assertEqual(block[memory + 3], "")  # the block's own last line break
        self.assertEqual(block[memory + 4], separator)

    def test_capture_and_volume_files_are_in_the_archive(self):
        info = self.member_text("SystemInfo.txt").split("\r\n")
        self.assertTrue(info[0], "date line")
        self.assertEqual(info[1:3], ["", "===== System ====="])
        self.assertEqual(self.member_text("diskinfo.txt").split("\r\n")[0], "C:\\ NTFS")
        with zipfile.ZipFile(self.archive) as z:
            self.assertIn("taskschd.txt", z.namelist())

    def test_storage_profile_is_in_the_archive(self):
        """Wine's own answers where it gives them; the control codes it does
        not serve come out as "unknown" lines, and the run still ends done."""
        lines = self.member_text("StorageInfo.txt").split("\r\n")
        self.assertEqual(lines[-1], "")  # every line ends in CR LF
        machine = lines[:lines.index("")]
        self.assertEqual([line.split(":")[0] for line in machine], [
            "Machine", "Windows scheduled defragmentation", "Windows defragmentation schedule",
            "Windows defragmentation last run",
            "Windows defragmentation service runs (last 30 days)",
            "Product scheduled defragmentation", "System disk errors (last 30 days)",
            "File-system filter drivers"])
        # XP and 2000 keep their tasks in Task Scheduler 1.0, and send no TRIM.
        self.assertIn("Product scheduled defragmentation: none", machine)
        vista = e2e.WINDOWS_VERSION >= 6
        start = lines.index("Volume: C:\\")
        block = lines[start:lines.index("", start)]
        facts = dict(line.split(": ", 1) for line in block)
        self.assertEqual(list(facts), [
            "Volume", "Holds", "File system", "Cluster size", "Size", "Free space",
            "Physical disk", "Media type", "TRIM (device)", "TRIM (system)", "Dirty bit",
            "Free-space extents", "Largest free extent", "MFT size", "MFT zone", "Shadow copies",
            "Shadow storage", "Shadow copy note", "SMART", "Disk errors (last 30 days)"])
        self.assertEqual(facts["Holds"], "Windows, Corvane")
        self.assertEqual(facts["File system"], "NTFS")
        self.assertEqual(facts["Cluster size"], "4096 bytes")
        self.assertRegex(facts["Size"], r"^\d+ bytes \(\d+\.\d\d [KMGT]B\)$")
        self.assertRegex(facts["Free space"], r"^\d+ bytes \(\d+\.\d %\)$")
        self.assertEqual(facts["TRIM (system)"], "on (DisableDeleteNotify not set)" if vista
                         else "off (Windows 7 and later send TRIM)")
        # Wine serves none of the storage and file-system control codes.
        for label in ("Physical disk", "Media type", "TRIM (device)", "Dirty bit",
                      "Free-space extents", "MFT size", "Shadow copies", "Shadow storage",
                      "SMART"):
            self.assertTrue(facts[label].startswith("unknown ("), label + ": " + facts[label])

    def test_registry_exports_are_in_the_archive(self):
        header = "Windows Registry Editor Version 5.00"
        uninstall = self.member_text("uninstall.txt").split("\r\n")
        self.assertEqual(uninstall[:3], [
            header, "", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall]"])
        # The installer's entry once, where it lives: in the 32-bit twin that
        # follows the tree on 64-bit Windows; 32-bit Windows has no twins.
        self.assertEqual([line for line in uninstall if line.endswith("\\Corvane_is1]")],
                         [uninstall_heading("Corvane_is1")])
        self.assertEqual(any("Wow6432Node" in line for line in uninstall), e2e.WINDOWS_BITS == 64)
        self.assertEqual(self.member_text("boottime.txt").split("\r\n"), [
            header, "", "[" + BOOT_TIME_KEY + "]",
            '"ImagePath"="%SystemRoot%\\\\system32\\\\corvaneboot.exe"', ""])
        services = self.member_text("services.txt").split("\r\n")
        self.assertEqual(services[:3], [
            "*" * 81, "", "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\services]"])
        at = services.index("[" + BOOT_TIME_KEY + "]")
        self.assertEqual(services[at + 1], '"ImagePath"="%SystemRoot%\\system32\\corvaneboot.exe"')

    def test_main_report_blocks_in_order(self):
        """Version, date, summary, separator and processes, services, separator
        and BHOs, autoruns, separator, security, files."""
        lines = self.member_text("Velmora_Debug_Info.txt").split("\r\n")
        separator = "*" * 81
        self.assertTrue(lines[0].startswith("Version:") and lines[1].startswith("Date:"))
        self.assertEqual(lines[2], separator)
        self.assertTrue(lines[3].startswith("OS Name:\t"), lines[3])
        processes = lines.index(separator, 3) + 1
        self.assertIn(" VelmoraHelper.exe ", "\n".join(lines[processes:processes + 100]))
        heap = next(i for i in range(processes, len(lines)) if lines[i].startswith("DesktopHeap:"))
        bhos = lines.index("===== BHOs =====")
        autoruns = lines.index("===== Autoruns =====")
        security = lines.index("[AntiVirusProduct]")
        # The services table: everything between the process block and the BHOs.
        self.assertEqual(lines[heap + 1:heap + 3], ["", separator])
        services = lines[heap + 3:bhos - 2]
        self.assertTrue(any("rpcss.exe" in row.lower() for row in services), services)
        self.assertNotIn(separator, services)
        self.assertEqual(lines[bhos - 2:bhos + 2], [separator, "", "===== BHOs =====", ""])
        self.assertLess(bhos, autoruns)
        self.assertNotIn(separator, lines[bhos:autoruns])
        self.assertEqual(lines[autoruns - 1:autoruns + 2], ["", "===== Autoruns =====", ""])
        block = lines[autoruns + 2:security - 1]
        self.assertNotIn(separator, block)
        run = block.index("---------- Run ----------")
        self.assertIn("Velmora Check=C:\\check.exe /now", block[run + 1:])
        self.assertEqual(lines[security - 1], separator)
        if e2e.WINDOWS_VERSION < 6:
            antivirus = ["Name:Corvane Guard", "Enabled=True", "UptoDate=False"]
        else:
            antivirus = ["Name:Windows Defender", "Enabled=True(00061100)", "UptoDate=True"]
        self.assertEqual(lines[security:security + 15], [
            "[AntiVirusProduct]", "", *antivirus, "", "[AntiSpywareProduct]", "",
            "[FirewallProduct]", "",
            "[Windows FireWall]", "HomeNetFwEnabled=False", "PublicNetFwEnabled=False",
            "FireWallEnabled=False", "FwObj=valid"])
        # The files block closes the report.
        self.assertEqual(lines[security + 15], separator)
        self.assertNotIn(separator, lines[security + 16:])
        self.assertTrue(lines[security + 16:-1])

    def test_main_report_ends_with_the_product_files(self):
        lines = self.member_text("Velmora_Debug_Info.txt").split("\r\n")
        last_separator = len(lines) - 1 - lines[::-1].index("*" * 81)
        self.assertEqual(set(lines[last_separator + 1:-1]), self.product.files_block())
        self.assertEqual(lines[-1], "")

    def test_files_info_lists_each_version(self):
        # The product is found through the 32-bit view, where its installer wrote it.
        lines = self.member_text("FilesInfo.txt").split("\r\n")
        headings = ["===== Corvane v2 free", "===== Corvane v2 pro ", "===== Corvane v3 free",
                    "===== Corvane v3 pro ", "===== Corvane v4 free", "===== Corvane v4 Pro"]
        blocks = [line for heading in headings for line in ("", heading, "")]
        self.assertEqual(lines[:len(blocks) + 3], blocks + ["", "===== Corvane v6", ""])
        files = lines[len(blocks) + 3:-1]
        self.assertEqual(len(files), len(set(files)), "a file listed twice")
        self.assertEqual(set(files), self.product.listing_lines())

    def test_product_files_are_copied_into_the_archive(self):
        with zipfile.ZipFile(self.archive) as z:
            names = [n for n in z.namelist() if n.split("/")[0] in ("AppPath", "AppData", "Downloader")]
            copies = {name: z.read(name) for name in names}
        self.assertEqual(copies, self.product.archived_copies())

    def member_bytes(self, name):
        with zipfile.ZipFile(self.archive) as z:
            return z.read(name)

    def member_text(self, name):
        data = self.member_bytes(name)
        self.assertEqual(data[:2], b"\xff\xfe", name)
        return data[2:].decode("utf-16-le")


class KeyboardAndPictures(unittest.TestCase):
    """A freshly opened window pressed with the Enter key, as a keyboard user
    does; pictures of it before (out/window.png) and with the mouse pointer
    over the privacy link (out/window-hover.png)."""

    LINK_HOVER = "#00A0FF"  # red 0, green 160, blue 255

    @classmethod
    def setUpClass(cls):
        out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "out")
        os.makedirs(out, exist_ok=True)
        cls.pictures = {"plain": os.path.join(out, "window.png"),
                        "hover": os.path.join(out, "window-hover.png")}
        for path in cls.pictures.values():
            if os.path.exists(path):
                os.remove(path)
        cls.driver_output, cls.facts = e2e.drive_with_pictures(BIN, cls.pictures, "--press-enter")

    def test_enter_presses_the_button_and_the_report_is_saved(self):
        self.assertEqual(self.facts.get("pressed"), "Enter", self.driver_output)
        self.assertEqual(self.facts.get("exit"), "0", self.driver_output)
        self.assertTrue(self.facts.get("text", "").startswith(
            "The info file: Velmora_Debug_Info.zip has been saved to your desktop.\\r"))

    def test_pointer_over_the_link_is_the_hand(self):
        self.assertEqual(self.facts.get("link"), "hand", self.driver_output)

    def test_pictures_show_the_link_highlighted_only_under_the_mouse(self):
        for path in self.pictures.values():
            self.assertTrue(os.path.exists(path), path)
        self.assertNotIn(self.LINK_HOVER, e2e.colours_of(self.pictures["plain"]))
        self.assertIn(self.LINK_HOVER, e2e.colours_of(self.pictures["hover"]))


class DesktopThatIsNoFolder(unittest.TestCase):
    """A desktop that is no folder of the user's cannot take the archive: it
    goes beside the program instead, and the message names that place. (Runs
    that fail are the fault suite's destination cases.)"""

    @classmethod
    def setUpClass(cls):
        cls.desktop = desktop_folder()
        cls.moved = cls.desktop + ".real"
        cls.beside = os.path.join(BIN, "Velmora_Debug_Info.zip")
        os.rename(cls.desktop, cls.moved)
        try:
            with open(cls.desktop, "w") as f:
                f.write("a file where the desktop folder should be")
            cls.driver_output, cls.facts = drive_the_program()
        finally:
            os.remove(cls.desktop)
            os.rename(cls.moved, cls.desktop)
        cls.archived = zipfile.is_zipfile(cls.beside)
        if os.path.exists(cls.beside):
            os.remove(cls.beside)

    def test_the_archive_goes_beside_the_program(self):
        self.assertEqual(self.facts.get("caption"), "Information", self.driver_output)
        self.assertEqual(self.facts.get("text"),
                         "The info file: Velmora_Debug_Info.zip has been saved to:\\r" +
                         e2e.windows_path(self.beside))
        self.assertTrue(self.archived)
        self.assertEqual(self.facts.get("exit"), "0")

    def test_working_folder_is_removed(self):
        self.assertFalse(os.path.exists(os.path.join(e2e.temp_folder(), "GetInfoDir")))


@unittest.skipUnless(SIGNED_RELEASE, "no signed release named (VELMORA_SIGNED_RELEASE)")
class SignedRelease(unittest.TestCase):
    """What support hands out: the signature added to the program must leave
    one that Windows still loads, which starts and shows its window."""

    def test_it_starts_and_shows_its_window(self):
        output, facts = e2e.drive_the_program(BIN, "--close-at-once", program=SIGNED_RELEASE)
        self.assertEqual(facts.get("window"), "found", output)
        self.assertEqual(facts.get("exit"), "0", output)


if __name__ == "__main__":
    e2e.run_tests(globals())
