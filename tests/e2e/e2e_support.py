"""Shared by the end-to-end tests: Wine, paths, and running the real program
through the driver, which uses the window's own controls."""

import os
import subprocess
import tempfile
import time

WINE = "/usr/lib/wine/wine64"


def wine(*args, timeout=900, env=None):
    return subprocess.run([WINE, *args], capture_output=True, timeout=timeout,
                          stdin=subprocess.DEVNULL, env=env)


def unix_path(windows_path):
    return wine("winepath", "-u", windows_path).stdout.decode().strip()


def windows_path(path):
    return wine("winepath", "-w", path).stdout.decode().strip()


def desktop_folder():
    desktop = wine("cmd", "/c", "echo %USERPROFILE%\\Desktop").stdout.decode().strip()
    return os.path.realpath(unix_path(desktop))


def temp_folder():
    """The temporary folder the program gets, as a Unix path."""
    temp = wine("cmd", "/c", "echo %TEMP%").stdout.decode().strip()
    return os.path.realpath(unix_path(temp))


def drive_the_program(bin_dir, *options, env=None, program=None):
    """Runs the driver on the program (VelmoraHelper.exe in bin_dir unless
    another is named); returns its output and its facts by key."""
    # A file, not a pipe: Wine hands the driver's output on to the programs it
    # starts, and a pipe would stay open as long as any of them runs.
    with tempfile.TemporaryFile() as out:
        started = time.monotonic()
        subprocess.run([WINE, os.path.join(bin_dir, "velmora_driver.exe"),
                        program or os.path.join(bin_dir, "VelmoraHelper.exe"), *options],
                       stdout=out, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                       timeout=900, env=env)
        seconds = time.monotonic() - started
        out.seek(0)
        output = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
    facts = {"seconds": seconds}
    for line in output.splitlines():
        key, _, value = line.partition(": ")
        facts[key] = value
    print(output)
    return output, facts


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


def leftovers(folder, patterns=("GetInfoDir", "SystemInfo_*.txt", "schtasks.bat")):
    import glob
    found = []
    for pattern in patterns:
        found += glob.glob(os.path.join(folder, pattern))
    return found
