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
import stat
import subprocess
import sys
import tempfile
import unittest

ARGS = None
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
import release_signing  # noqa: E402

MARKER = ".velmora-release-build"
RELEASE = None  # scripts/release of the sources under test


def tree(root):
    return sorted(os.path.join(folder, name) for folder, folders, files in os.walk(root)
                  for name in folders + files)


def run(*command, **kwargs):
    return subprocess.run(command, capture_output=True, text=True, **kwargs)


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="velmora-release-")
        cls.dist = os.path.join(ARGS.build, "signed-release")
        env = dict(os.environ, **release_signing.throwaway_certificate(cls.work))
        # A build folder that an earlier release left, to be taken and emptied.
        cls.build = os.path.join(ARGS.build, "release-test")
        shutil.rmtree(cls.build, ignore_errors=True)
        os.makedirs(cls.build)
        for name in (MARKER, "left-over"):
            open(os.path.join(cls.build, name), "w").close()
        cls.result = run(RELEASE, "--build", cls.build, "--dist", cls.dist, env=env)
        cls.exe = os.path.join(cls.dist, "VelmoraHelper.exe")
        cls.verify_env = env

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)
        shutil.rmtree(cls.build, ignore_errors=True)

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

    def test_the_signed_program_keeps_the_mode_of_the_unsigned(self):
        mode = stat.S_IMODE(os.stat(self.exe).st_mode)
        unsigned = os.path.join(self.dist, "VelmoraHelper.debug.exe")
        self.assertEqual(mode, stat.S_IMODE(os.stat(unsigned).st_mode))
        self.assertTrue(mode & stat.S_IXUSR, oct(mode))

    def test_a_failed_signing_leaves_nothing_behind_and_the_next_signs(self):
        folder = os.path.join(self.work, "failed-signing")
        os.makedirs(os.path.join(folder, "other"))
        program = os.path.join(folder, "VelmoraHelper.exe")
        run("i686-w64-mingw32-strip", "--strip-all", "-o", program,
            os.path.join(self.dist, "VelmoraHelper.debug.exe"), check=True)
        unsigned = self.read(program)
        # Checked against another certificate, the signature does not verify.
        other = release_signing.throwaway_certificate(os.path.join(folder, "other"))
        sign = [sys.executable, os.path.join(ARGS.source, "scripts", "release_signing.py"),
                "sign", program]
        failed = run(*sign, env=dict(self.verify_env,
                                     VELMORA_SIGN_CAFILE=other["VELMORA_SIGN_CAFILE"]))
        self.assertIn("the signed program does not verify", failed.stderr)
        self.assertEqual(sorted(os.listdir(folder)), ["VelmoraHelper.exe", "other"])
        self.assertEqual(self.read(program), unsigned)
        signed = run(*sign, env=self.verify_env)
        self.assertEqual(signed.returncode, 0, signed.stdout + signed.stderr)
        self.assertEqual(sorted(os.listdir(folder)), ["VelmoraHelper.exe", "other"])
        self.assertNotEqual(self.read(program), unsigned)

    def test_the_build_folder_it_takes_is_its_own(self):
        self.assertNotIn("left-over", os.listdir(self.build))
        self.assertIn(MARKER, os.listdir(self.build))

    def test_it_removes_no_folder_but_a_build_folder_of_its_own(self):
        root = os.path.join(self.work, "refused")
        ours, other, home, tools = (os.path.join(root, name)
                                    for name in ("ours", "other", "home", "tools"))
        for path in (os.path.join(ours, MARKER), os.path.join(other, "kept"),
                     os.path.join(home, MARKER), os.path.join(home, "user", "kept")):
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "w").close()
        os.symlink(ours, os.path.join(root, "link"))
        # Should a folder be taken, the build stops at once where it would begin.
        os.makedirs(tools)
        with open(os.path.join(tools, "cmake"), "w") as f:
            f.write("#!/bin/sh\nexit 97\n")
        os.chmod(os.path.join(tools, "cmake"), 0o755)
        env = dict(os.environ, HOME=os.path.join(home, "user"),
                   PATH=tools + os.pathsep + os.environ["PATH"])
        before = tree(root)
        for build, why in ((other, "is not a build folder of this script's"),
                           (os.path.join(root, "link") + "/", "is a symbolic link"),
                           (home, "is or holds " + os.path.join(home, "user"))):
            with self.subTest(build):
                result = run(RELEASE, "--build", build, env=env)
                self.assertEqual(tree(root), before)
                self.assertEqual((result.returncode, result.stderr),
                                 (2, f"scripts/release: --build {build} {why}; "
                                     "name a new or empty folder\n"))

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
    RELEASE = os.path.join(ARGS.source, "scripts", "release")
    unittest.main(argv=[sys.argv[0], "-v", *rest])
