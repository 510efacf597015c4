#!/usr/bin/env python3
"""The release that support hands to users: scripts/release builds the shipped
program again in a folder of its own, signs it with a throw-away certificate
made here, and must give the same bytes as the program that the win32 preset
built earlier in another folder, with nothing but the signature added, no
build path inside, and the import table still fit for every Windows. The
signed release stays in the build folder's signed-release/, where the 32-bit
lane (scripts/test-lane32) starts it: this Wine runs no 32-bit program."""

import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
import release_signing  # noqa: E402


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="velmora-release-")
        cls.dist = os.path.join(ARGS.build, "signed-release")
        env = dict(os.environ, **release_signing.throwaway_certificate(cls.work))
        cls.result = run(os.path.join(ARGS.source, "scripts", "release"), "--build",
                         os.path.join(ARGS.build, "release-test"), "--dist", cls.dist, env=env)
        cls.exe = os.path.join(cls.dist, "VelmoraHelper.exe")
        cls.verify_env = env

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        shutil.rmtree(os.path.join(ARGS.build, "release-test"), ignore_errors=True)

    def read(self, path):
        with open(path, "rb") as f:
            return f.read()

    def test_it_says_what_it_made(self):
        self.assertEqual(self.result.returncode, 0, self.result.stdout + self.result.stderr)
        digest = hashlib.sha256(self.read(self.exe)).hexdigest()
        self.assertIn("Velmora Helper 1.7.0.783", self.result.stdout)
        self.assertIn(f"{os.path.getsize(self.exe)} bytes, signed (/CN=Velmora Release Test)",
                      self.result.stdout)
        self.assertIn("SHA-256 " + digest, self.result.stdout)
        self.assertEqual(self.read(os.path.join(self.dist, "SHA256SUMS")),
                         f"{digest}  VelmoraHelper.exe\n".encode())

    def test_the_same_bytes_as_a_build_in_another_folder_at_another_time(self):
        earlier = os.path.join(ARGS.win32_build, "bin", "VelmoraHelper.exe")
        self.assertEqual(self.read(os.path.join(self.dist, "VelmoraHelper.debug.exe")),
                         self.read(earlier))
        stripped = os.path.join(self.work, "stripped.exe")
        run("i686-w64-mingw32-strip", "--strip-all", "-o", stripped, earlier, check=True,
            env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
        signing = os.path.join(ARGS.source, "scripts", "release_signing.py")
        digests = [run(sys.executable, signing, "digest", path, check=True).stdout
                   for path in (stripped, self.exe)]
        # Signing adds the signature and changes nothing that it covers.
        self.assertEqual(digests[0], digests[1])
        self.assertNotEqual(self.read(stripped), self.read(self.exe))

    def test_the_signature_verifies(self):
        result = run("osslsigncode", "verify", "-CAfile", self.verify_env["VELMORA_SIGN_CAFILE"],
                     "-in", self.exe)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Signature verification: ok", result.stdout)

    def test_no_build_path_inside(self):
        for name in ("VelmoraHelper.exe", "VelmoraHelper.debug.exe"):
            data = self.read(os.path.join(self.dist, name))
            for folder in (ARGS.source, ARGS.build):
                self.assertNotIn(folder.encode(), data, name)
                self.assertNotIn(folder.encode("utf-16-le"), data, name)

    def test_the_signed_program_keeps_its_import_table(self):
        result = run(sys.executable, os.path.join(HERE, "test_imports.py"), "--win32", self.exe,
                     "--win64", ARGS.win64_program)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--build", required=True, help="a folder for the release build")
    parser.add_argument("--win32-build", required=True, help="the win32 preset's build folder")
    parser.add_argument("--win64-program", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
