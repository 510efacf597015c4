"""Shared by the end-to-end tests: Wine, paths, and running the real program
through the driver, which uses the window's own controls."""

import argparse
import contextlib
import functools
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

WINE = os.environ.get("VELMORA_WINE", "/usr/lib/wine/wine64")

# Where the tests run: "" for the 64-bit test build under wine64; in the 32-bit
# lane (scripts/test-lane32) the shipped 32-bit program on 64-bit Windows
# ("wow64") or on 32-bit Windows as XP ("winxp") or 2000 ("win2k"). The lane's
# 32-bit code runs under QEMU's emulator, which differs from a processor in
# places the tests name.
LANE = os.environ.get("VELMORA_LANE", "")
PROGRAM_BITS = 32 if LANE else 64
WINDOWS_BITS = 32 if LANE in ("winxp", "win2k") else 64
# The major version of the Windows that the prefix stands for: 5 for XP and
# 2000, 6 for Vista and later (what Wine presents unless told otherwise).
WINDOWS_VERSION = 5 if LANE in ("winxp", "win2k") else 6
EMULATED = bool(LANE)


def wine(*args, timeout=900, env=None):
    return subprocess.run([WINE, *args], capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL, env=env)


def answer(*args):
    """What a Wine tool prints that must answer (a path, a variable): an
    empty answer taken for one would send a test to the wrong place."""
    for attempt in range(3):
        result = wine(*args)
        text = result.stdout.decode().strip()
        if result.returncode == 0 and text:
            return text
        # Seen once on a loaded machine, right after a suite had ended: the
        # same question answered a moment later.
        print(f"wine {' '.join(args)} gave no answer (exit {result.returncode}), attempt "
              f"{attempt + 1}: " + result.stderr.decode(errors="replace"), file=sys.stderr)
        time.sleep(2)
    raise RuntimeError(f"wine {' '.join(args)} gave no answer (exit {result.returncode})")


# The prefix's paths and variables do not change during a test run: each is
# asked of Wine once (a 32-bit Wine process starts slowly under emulation).
@functools.lru_cache(maxsize=None)
def unix_path(windows_path):
    return answer("winepath", "-u", windows_path)


@functools.lru_cache(maxsize=None)
def windows_path(path):
    return answer("winepath", "-w", path)


@functools.lru_cache(maxsize=None)
def environment_variable(name):
    """A variable of the environment that programs get in the prefix."""
    return answer("cmd", "/c", f"echo %{name}%")


def desktop_folder():
    return os.path.realpath(unix_path(environment_variable("USERPROFILE") + "\\Desktop"))


def temp_folder():
    """The temporary folder the program gets, as a Unix path."""
    return os.path.realpath(unix_path(environment_variable("TEMP")))


def drive_the_program(bin_dir, *options, env=None, program=None, cwd=None):
    """Runs the driver on the program (VelmoraHelper.exe in bin_dir unless
    another is named), started in the folder `cwd` (a Unix path) when given;
    returns its output and its facts by key."""
    # A file, not a pipe: Wine hands the driver's output on to the programs it
    # starts, and a pipe would stay open as long as any of them runs.
    with tempfile.TemporaryFile() as out:
        started = time.monotonic()
        subprocess.run([WINE, os.path.join(bin_dir, "velmora_driver.exe"),
                        program or os.path.join(bin_dir, "VelmoraHelper.exe"), *options],
                       stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                       timeout=900, env=env, cwd=cwd)
        return driver_facts(out, time.monotonic() - started)


def driver_facts(out, seconds):
    """The driver's output, read from the file `out`, and its facts by key."""
    out.seek(0)
    output = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
    facts = {"seconds": seconds}
    for line in output.splitlines():
        key, _, value = line.partition(": ")
        facts[key] = value
    print(output)
    return output, facts


@contextlib.contextmanager
def tools_in_system_folder(bin_dir, names=("systeminfo.exe", "schtasks.exe"), source=None):
    """Puts the fake console tools (or the program `source`) in place of the
    prefix's own: the program starts its tools from the system folder only.
    Yields the environment that makes Wine run them instead of its built-in
    tools; the prefix's own files come back afterwards."""
    system = unix_path("C:\\windows\\system32")
    saved = {}
    try:
        for name in names:
            path = os.path.join(system, name)
            with open(path, "rb") as f:
                saved[path] = f.read()
            shutil.copyfile(source or os.path.join(bin_dir, "fake-tools", name), path)
        overrides = os.environ.get("WINEDLLOVERRIDES", "")
        yield dict(os.environ, WINEDLLOVERRIDES=";".join(
            filter(None, [overrides, ",".join(names) + "=n"])))
    finally:
        for path, content in saved.items():
            with open(path, "wb") as f:
                f.write(content)


def running_programs(*names):
    """Command lines of this prefix's Wine processes that run one of the named
    programs (Wine shows a Windows process's own path as its command line)."""
    prefix = os.environ.get("WINEPREFIX", "").encode()
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/environ", "rb") as f:
                if b"WINEPREFIX=" + prefix + b"\0" not in f.read() + b"\0":
                    continue
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                command = f.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if any(name.lower() in command.lower() for name in names):
            found.append(command)
    return found


def leftovers(folder, patterns=("GetInfoDir*", "SystemInfo_*.txt", "schtasks.bat")):
    import glob
    found = []
    for pattern in patterns:
        found += glob.glob(os.path.join(folder, pattern))
    return found


def window_picture(title, path):
    """Saves a PNG of the X window with this title (under Xvfb); True on success."""
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True,
                          text=True).stdout
    window = next((line.split()[0] for line in tree.splitlines() if f'"{title}"' in line), None)
    if window is None:
        return False
    return subprocess.run(["import", "-window", window, path]).returncode == 0


def colours_of(path):
    """The set of colours of a picture, as upper-case "#RRGGBB"."""
    histogram = subprocess.run(["convert", path, "-format", "%c", "histogram:info:-"],
                               capture_output=True, text=True).stdout
    colours = set()
    for line in histogram.splitlines():
        for word in line.split():
            if word.startswith("#") and len(word) >= 7:
                colours.add(word[:7].upper())
    return colours


def drive_with_pictures(bin_dir, pictures, *options, timeout=900):
    """Runs the driver with --pictures: takes the pictures that it asks for
    (pictures: {"plain": path, "hover": path}) while the window waits; returns
    the driver's output and facts like drive_the_program."""
    signals = tempfile.mkdtemp(prefix="velmora-pictures-")
    with tempfile.TemporaryFile() as out:
        started = time.monotonic()
        driver = subprocess.Popen(
            [WINE, os.path.join(bin_dir, "velmora_driver.exe"),
             os.path.join(bin_dir, "VelmoraHelper.exe"), "--pictures", signals, *options],
            stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
        try:
            for name in ("plain", "hover"):
                ready = os.path.join(signals, name + ".ready")
                while not os.path.exists(ready) and driver.poll() is None:
                    if time.monotonic() - started > timeout:
                        raise TimeoutError("the driver did not ask for the " + name + " picture")
                    time.sleep(0.1)
                if driver.poll() is not None:
                    break
                time.sleep(0.3)  # the last paint
                window_picture("Velmora Helper", pictures[name])
                open(os.path.join(signals, name + ".taken"), "w").close()
            driver.wait(timeout=timeout)
        finally:
            if driver.poll() is None:
                driver.kill()
        return driver_facts(out, time.monotonic() - started)


def run_tests(script_globals):
    """Runs a test script's cases; --bin names the folder of the built programs
    and becomes the script's BIN, the other arguments go to unittest."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    args, rest = parser.parse_known_args()
    script_globals["BIN"] = args.bin
    unittest.main(argv=[sys.argv[0], "-v", *rest])
