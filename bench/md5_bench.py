#!/usr/bin/env python3
"""MD5 benchmark: GetFileMd5 (through md5_bench.exe under wine64), the same MD5
core built natively for Linux, `openssl dgst -md5` and coreutils `md5sum`, all
on the same 512 MiB file in one run, and the core in memory against
`openssl speed md5`. Prints MB/s (wall and CPU time) and the ratios.

For reference it also times the same core fed by ReadFile through a 1 MiB
buffer instead of the mapped views that GetFileMd5 uses, which shows what the
mapping itself costs on this machine."""

import argparse
import os
import random
import re
import resource
import subprocess
import time

WINE = "/usr/lib/wine/wine64"
MIB = 1 << 20


def seed_file(path, megabytes):
    size = megabytes * MIB
    if os.path.exists(path) and os.path.getsize(path) == size:
        return
    rng = random.Random(20261209)
    with open(path, "wb") as f:
        for _ in range(megabytes):
            f.write(rng.randbytes(MIB))


def warm(path):
    with open(path, "rb") as f:
        while f.read(16 * MIB):
            pass


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_peer(command):
    """Digest, wall seconds and CPU seconds (user + system) of a Linux tool."""
    cpu = children_cpu()
    start = time.perf_counter()
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    wall = time.perf_counter() - start
    digest = re.search(r"\b([0-9a-f]{32})\b", out).group(1)
    return digest, wall, children_cpu() - cpu


def run_own(command):
    """Digest and the tool's own timing of the hashing (without process start)."""
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    facts = dict(line.split(" ", 1) for line in out.strip().splitlines())
    return facts["digest"], float(facts["wall"]), float(facts["cpu"])


def core_speed(command):
    out = subprocess.run(command, check=True, capture_output=True, text=True).stdout
    return float(re.search(r"core ([0-9.]+)", out).group(1))


def openssl_speed(seconds):
    out = subprocess.run(["openssl", "speed", "-seconds", str(seconds), "-bytes", "16384", "md5"],
                         check=True, capture_output=True, text=True).stdout
    # "md5   712373.81k": thousands of bytes per second of user CPU time.
    return float(re.search(r"^md5\s+([0-9.]+)k", out, re.M).group(1)) / 1000


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True, help="folder of md5_bench.exe")
    parser.add_argument("--native", required=True, help="the natively built md5_native")
    parser.add_argument("--work", required=True)
    parser.add_argument("--megabytes", type=int, default=512)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    data = os.path.abspath(os.path.join(args.work, "data.bin"))
    seed_file(data, args.megabytes)
    warm(data)
    size_mb = os.path.getsize(data) / 1e6

    tools = {
        "GetFileMd5 (x86_64 build, wine64)": lambda: run_own([WINE, os.path.join(args.bin, "md5_bench.exe"), data]),
        "reference: core fed by ReadFile, wine64": lambda: run_own([WINE, os.path.join(args.bin, "md5_bench.exe"), "--read", data]),
        "MD5 core, native build (16 MiB views)": lambda: run_own([args.native, data]),
        "openssl dgst -md5": lambda: run_peer(["openssl", "dgst", "-md5", data]),
        "md5sum": lambda: run_peer(["md5sum", data]),
    }
    best = {name: (float("inf"), float("inf")) for name in tools}
    digests = {}
    for _ in range(args.repeat):
        for name, run in tools.items():  # interleaved, so that load hits all alike
            digest, wall, cpu = run()
            digests[name] = digest
            best[name] = (min(best[name][0], wall), min(best[name][1], cpu))

    print(f"file: {size_mb:.1f} MB ({args.megabytes} MiB) in the page cache; {os.cpu_count()} cores; "
          f"best of {args.repeat}; CPU = user + system time of the hashing")
    print(f"digests agree: {len(set(digests.values())) == 1} ({next(iter(digests.values()))})")
    print(f"{'':42s} {'wall MB/s':>10s} {'CPU MB/s':>10s}")
    for name, (wall, cpu) in best.items():
        print(f"{name:42s} {size_mb / wall:10.1f} {size_mb / cpu:10.1f}")

    wine_core = core_speed([WINE, os.path.join(args.bin, "md5_bench.exe"), "--core", "3"])
    native_core = core_speed([args.native, "--core", "3"])
    openssl_core = openssl_speed(3)
    print("in memory, 16 KiB blocks, MB/s of CPU time:")
    print(f"{'MD5 core (x86_64 build, wine64)':42s} {wine_core:10.1f}")
    print(f"{'MD5 core (native build)':42s} {native_core:10.1f}")
    print(f"{'openssl speed md5':42s} {openssl_core:10.1f}")

    ours = "GetFileMd5 (x86_64 build, wine64)"
    native = "MD5 core, native build (16 MiB views)"
    peer = "openssl dgst -md5"
    print("ratios (goal >= 0.95x OpenSSL):")
    reference = "reference: core fed by ReadFile, wine64"
    for label, mine in ((ours, best[ours]), (native, best[native]), (reference, best[reference])):
        print(f"  {label} / openssl dgst: wall {best[peer][0] / mine[0]:.2f}x, "
              f"CPU {best[peer][1] / mine[1]:.2f}x; / md5sum: wall {best['md5sum'][0] / mine[0]:.2f}x, "
              f"CPU {best['md5sum'][1] / mine[1]:.2f}x")
    print(f"  core in memory / openssl speed: wine64 {wine_core / openssl_core:.2f}x, "
          f"native {native_core / openssl_core:.2f}x")


if __name__ == "__main__":
    main()
