#!/usr/bin/env python3
"""Archive benchmark: MakeArchive (through archive_tool under wine64) against
Info-ZIP's `zip -9 -r` on the same seeded tree of about 200 MB, in one run.
Prints both wall times, both sizes and the ratios."""

import argparse
import os
import random
import shutil
import subprocess
import time

WINE = "/usr/lib/wine/wine64"

WORDS = ("defrag pass volume cluster moved fragment file skipped locked free space "
         "analysis started finished error warning service scheduler boot optimise "
         "C:\\Windows\\System32 D:\\Data extent MFT zone throughput MB/s ms").split()


def log_text(rng, size):
    lines = []
    total = 0
    t = 1_700_000_000
    while total < size:
        t += rng.randrange(1, 5000)
        words = " ".join(rng.choices(WORDS, k=rng.randrange(4, 14)))
        line = f"{time.strftime('%Y-%m-%d %H:%M:%S', time.gmtime(t))} [{rng.randrange(9999):04d}] {words} {rng.randrange(10**6)}\r\n"
        lines.append(line)
        total += len(line)
    return "".join(lines).encode()[:size]


def binary(rng, size):
    # Half noise, half repeated structure, like a program file.
    noise = rng.randbytes(size // 2)
    table = rng.randbytes(4096)
    return noise + (table * (size // 2 // 4096 + 1))[: size - len(noise)]


def seed_tree(root, total_mb):
    if os.path.isdir(root) and os.path.exists(os.path.join(root, ".seeded-%d" % total_mb)):
        return
    shutil.rmtree(root, ignore_errors=True)
    rng = random.Random(20261209)
    os.makedirs(os.path.join(root, "AppPath"))
    os.makedirs(os.path.join(root, "AppData", "Logs"))
    binaries = [("AppPath/corvane.exe", 6), ("AppPath/corvane_engine.dll", 4), ("AppPath/helper.dll", 2)]
    for name, mb in binaries:
        with open(os.path.join(root, name), "wb") as f:
            f.write(binary(rng, mb << 20))
    remaining = total_mb - sum(mb for _, mb in binaries)
    sizes = []
    while remaining > 0:
        mb = min(remaining, rng.choice([1, 2, 4, 8, 24]))
        sizes.append(mb)
        remaining -= mb
    for i, mb in enumerate(sizes):
        with open(os.path.join(root, "AppData", "Logs", f"defrag_{i:03d}.log"), "wb") as f:
            f.write(log_text(rng, mb << 20))
    open(os.path.join(root, ".seeded-%d" % total_mb), "w").close()


def filecmp(a, b):
    with open(a, "rb") as x, open(b, "rb") as y:
        return x.read() == y.read()


def timed(command, cwd=None):
    start = time.perf_counter()
    subprocess.run(command, check=True, cwd=cwd, stdout=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bin", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--megabytes", type=int, default=200)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    args.bin = os.path.abspath(args.bin)

    tree = os.path.join(args.work, "tree")
    seed_tree(tree, args.megabytes)
    ours = os.path.join(args.work, "ours.zip")
    peer = os.path.join(args.work, "zip9.zip")
    tool = os.path.join(args.bin, "archive_tool.exe")
    subprocess.run([WINE, tool, tree, ours], check=True, stdout=subprocess.DEVNULL)  # warm caches

    our_times, peer_times = [], []
    for _ in range(args.repeat):
        for path in (ours, peer):
            if os.path.exists(path):
                os.remove(path)
        our_times.append(timed([WINE, tool, tree, ours]))
        peer_times.append(timed(["zip", "-9", "-r", "-q", peer, "."], cwd=tree))
    hidden = ".seeded-%d" % args.megabytes  # a dot file: Wine hides it, zip takes it
    subprocess.run(["zip", "-q", "-d", peer, hidden], check=False, stdout=subprocess.DEVNULL)

    single = os.path.join(args.work, "single.zip")
    if os.path.exists(single):
        os.remove(single)
    single_time = timed([WINE, tool, tree, single, "--threads", "0"])

    our_time, peer_time = min(our_times), min(peer_times)
    our_size, peer_size = os.path.getsize(ours), os.path.getsize(peer)
    input_size = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(tree) for f in fs)
    print(f"input: {input_size / 1e6:.1f} MB in {sum(len(fs) for _, _, fs in os.walk(tree)) - 1} files, "
          f"{os.cpu_count()} cores, best of {args.repeat}")
    print(f"MakeArchive: {our_time:.2f} s, {our_size} bytes")
    print(f"MakeArchive on one thread: {single_time:.2f} s (same bytes: {filecmp(ours, single)})")
    print(f"zip -9 -r:   {peer_time:.2f} s, {peer_size} bytes")
    print(f"time ratio MakeArchive/zip -9: {our_time / peer_time:.2f}x (goal <= 0.60x)")
    print(f"size ratio MakeArchive/zip -9: {our_size / peer_size:.6f} (goal <= 1.0)")


if __name__ == "__main__":
    main()
