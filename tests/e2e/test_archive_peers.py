#!/usr/bin/env python3
"""Archives made by the program's archive writer, read by other ZIP readers:
Info-ZIP's unzip and Python's zipfile must accept them and get every file back."""

import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys
import unittest
import zipfile

WINE = "/usr/lib/wine/wine64"
ARGS = None

TREE = {
    "Velmora_Debug_Info.txt": "\ufeffVersion:1.7.0.783\r\n".encode("utf-16-le") * 400,
    "diskinfo.txt": b"\xff\xfeC\x00:\x00",
    "no_extension": b"plain text without a dot in the name",
    "empty.log": b"",
    "AppPath/Corvane.log": b"2024-01-31 15:30:45 defrag pass 1\r\n" * 5000,
    "AppData/deeper/settings.xml": b"<settings><mode>auto</mode></settings>",
    "AppData/отчёт.txt": "кириллица".encode("utf-8"),
    "AppData/報告.log": "日本語".encode("utf-8"),
    "Downloader/caf\u00e9.txt": b"oem name",
}
HIDDEN = ".hidden_by_wine"  # Wine reports dot files as hidden


def seeded_binary(size, seed):
    rng = random.Random(seed)
    return bytes(rng.getrandbits(8) for _ in range(size))


def make_tree(root):
    shutil.rmtree(root, ignore_errors=True)
    files = dict(TREE)
    files["AppPath/corvane.exe"] = seeded_binary(300_000, 7)
    # Above the in-memory limit: deflated straight into the archive.
    files["AppPath/big.log"] = (b"0123456789abcdef" * 64 + b"\r\n") * 17_000
    for name, data in list(files.items()) + [(HIDDEN, b"never archived")]:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
    return files


def decode_listing_line(line):
    # unzip prints UTF-8 names as they are and turns OEM (CP437) names into Latin-1.
    try:
        return line.decode("utf-8")
    except UnicodeDecodeError:
        return line.decode("latin-1")


def archive(folder, target, *options):
    result = subprocess.run([WINE, os.path.join(ARGS.bin, "archive_tool.exe"), folder, target,
                             *options], capture_output=True, timeout=1800, stdin=subprocess.DEVNULL)
    assert result.returncode == 0, result.stderr.decode(errors="replace")
    return int(result.stdout.decode().split("files:")[1].strip())


class PeerChecks:
    """Mixed into one test class per way of writing the archive."""
    options = ()

    @classmethod
    def setUpClass(cls):
        os.makedirs(ARGS.work, exist_ok=True)
        cls.folder = os.path.join(ARGS.work, "tree-" + cls.__name__)
        cls.files = make_tree(cls.folder)
        cls.path = os.path.join(ARGS.work, cls.__name__ + ".zip")
        if os.path.exists(cls.path):
            os.remove(cls.path)
        cls.count = archive(cls.folder, cls.path, *cls.options)

    def test_info_zip_finds_no_errors(self):
        result = subprocess.run(["unzip", "-t", self.path], capture_output=True,
                                env={**os.environ, "LC_ALL": "C.UTF-8"})
        out = result.stdout.decode(errors="replace")
        self.assertEqual(result.returncode, 0, out + result.stderr.decode(errors="replace"))
        self.assertIn("No errors detected", out)

    def test_info_zip_lists_the_names(self):
        result = subprocess.run(["unzip", "-Z1", self.path], capture_output=True,
                                env={**os.environ, "LC_ALL": "C.UTF-8"})
        self.assertEqual(result.returncode, 0)
        self.assertEqual(sorted(map(decode_listing_line, result.stdout.splitlines())),
                         sorted(self.files))

    def test_python_zipfile_reads_every_file_back(self):
        with zipfile.ZipFile(self.path) as z:
            self.assertIsNone(z.testzip())
            self.assertEqual(sorted(z.namelist()), sorted(self.files))
            for info in z.infolist():
                self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED)
                self.assertEqual(z.read(info), self.files[info.filename], info.filename)
        self.assertEqual(self.count, len(self.files))

    def test_utf8_flag_on_every_name_outside_ascii(self):
        with zipfile.ZipFile(self.path) as z:
            for info in z.infolist():
                needs_utf8 = any(ord(c) > 0x7F for c in info.filename)
                self.assertEqual(bool(info.flag_bits & 0x800), needs_utf8, info.filename)


class DefaultArchive(PeerChecks, unittest.TestCase):
    pass


class SingleThreadArchive(PeerChecks, unittest.TestCase):
    options = ("--threads", "0")

    def test_same_bytes_as_with_threads(self):
        other = os.path.join(ARGS.work, "threads-4.zip")
        archive(self.folder, other, "--threads", "4")
        with open(self.path, "rb") as a, open(other, "rb") as b:
            self.assertEqual(hashlib.sha256(a.read()).digest(), hashlib.sha256(b.read()).digest())


class ForcedZip64Archive(PeerChecks, unittest.TestCase):
    # Every size, offset and count past these counts as too large: all ZIP64 records are used.
    options = ("--max32", "1000", "--max16", "3")

    def test_zip64_end_records_are_present(self):
        with open(self.path, "rb") as f:
            data = f.read()
        self.assertIn(b"PK\x06\x06", data[-22 - 20 - 56:])
        self.assertIn(b"PK\x06\x07", data[-22 - 20:])


@unittest.skipUnless(os.environ.get("VELMORA_LARGE_TESTS") == "1",
                     "set VELMORA_LARGE_TESTS=1 to archive a 5 GiB file")
class LargeFileArchive(unittest.TestCase):
    def test_five_gib_file(self):
        folder = os.path.join(ARGS.work, "large")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        size = 5 * 1024 ** 3 + 12345
        with open(os.path.join(folder, "huge.bin"), "wb") as f:
            f.truncate(size)  # sparse: reads as zeros
            f.seek(size - 5)
            f.write(b"tail!")
        path = os.path.join(ARGS.work, "large.zip")
        self.assertEqual(archive(folder, path), 1)
        result = subprocess.run(["unzip", "-t", path], capture_output=True)
        self.assertEqual(result.returncode, 0, result.stdout.decode(errors="replace"))
        with zipfile.ZipFile(path) as z:
            info = z.getinfo("huge.bin")
            self.assertEqual(info.file_size, size)
            self.assertIsNone(z.testzip())
        shutil.rmtree(folder)
        os.remove(path)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])


if __name__ == "__main__":
    main()
