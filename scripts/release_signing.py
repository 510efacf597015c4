#!/usr/bin/env python3
"""Helpers of scripts/release: the Authenticode signature of the release, the
digest that the signature covers, and the version the program carries.

  release_signing.py sign EXE      signs EXE in place (VELMORA_SIGN_* settings,
                                   see scripts/release) and verifies it
  release_signing.py signer EXE    the subject of the certificate that signed EXE
  release_signing.py version EXE   the file version of EXE's version resource
  release_signing.py digest EXE    the SHA-256 Authenticode digest of EXE
  release_signing.py sign-throwaway EXE
                                   signs EXE in place with a certificate made
                                   for this one signing and deleted after it

Signing adds a signature and nothing else: the digest that the signature
covers, which osslsigncode computes afresh when it verifies the signed file,
must equal the digest of the unsigned file as computed here."""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

SECURITY_DIRECTORY = 4


def pe_layout(data):
    """(offset of the checksum, offset of the certificate table's entry,
    offset and size of the certificate table)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    entry = directories + 8 * SECURITY_DIRECTORY
    table, size = struct.unpack_from("<II", data, entry)
    return optional + 64, entry, table, size


def authenticode_digest(data):
    """SHA-256 over the file without its checksum, its certificate table's
    entry and the table itself, the end padded to eight bytes as signing pads
    it."""
    checksum, entry, table, size = pe_layout(data)
    end = table if size else len(data)
    digest = hashlib.sha256()
    digest.update(data[:checksum])
    digest.update(data[checksum + 4:entry])
    digest.update(data[entry + 8:end])
    if end % 8:
        digest.update(b"\0" * (8 - end % 8))
    return digest.hexdigest().upper()


def file_version(data):
    """"a.b.c.d" of the fixed version information."""
    key = data.find("VS_VERSION_INFO\0".encode("utf-16-le"))
    at = data.find(struct.pack("<I", 0xFEEF04BD), key) if key >= 0 else -1
    if at < 0:
        raise ValueError("no version resource")
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def verify(path):
    """osslsigncode's verification of the signed file: its output, or an error."""
    command = ["osslsigncode", "verify", "-in", path]
    if os.environ.get("VELMORA_SIGN_CAFILE"):
        command[2:2] = ["-CAfile", os.environ["VELMORA_SIGN_CAFILE"]]
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0 or "Signature verification: ok" not in result.stdout:
        raise SystemExit("the signed program does not verify:\n" + result.stdout + result.stderr)
    return result.stdout


def sign(path):
    with open(path, "rb") as f:
        unsigned = authenticode_digest(f.read())
    # osslsigncode will not write over a file, so a signing that fails half way
    # must leave none behind: the password and the signed file live in a folder
    # of this signing's own, gone however it ends, beside the program so that
    # the signed file replaces it in one step.
    folder = os.path.dirname(os.path.abspath(path))
    with tempfile.TemporaryDirectory(prefix=".signing-", dir=folder) as scratch:
        password = os.path.join(scratch, "password")
        with open(os.open(password, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600), "w") as f:
            f.write(os.environ.get("VELMORA_SIGN_PASSWORD", ""))
        signed = os.path.join(scratch, os.path.basename(path))
        command = ["osslsigncode", "sign", "-pkcs12", os.environ["VELMORA_SIGN_PKCS12"],
                   "-readpass", password, "-h", "sha256", "-n", "Velmora Helper",
                   "-in", path, "-out", signed]
        if os.environ.get("VELMORA_SIGN_TIMESTAMP_URL"):
            command[-4:-4] = ["-ts", os.environ["VELMORA_SIGN_TIMESTAMP_URL"]]
        result = subprocess.run(command, capture_output=True, text=True)
        if result.returncode != 0:
            raise SystemExit("signing failed:\n" + result.stdout + result.stderr)
        report = verify(signed)
        calculated = re.search(r"Calculated message digest\s*:\s*([0-9A-F]+)", report)
        if calculated is None or calculated.group(1) != unsigned:
            raise SystemExit("the signature covers other bytes than the program's")
        # osslsigncode makes its file with the default mode: the program would
        # no longer be executable.
        shutil.copymode(path, signed)
        os.replace(signed, path)


def throwaway_certificate(folder):
    """A self-signed code-signing certificate good for two days, made in
    `folder` for trying the signing out (the release test, the 32-bit lane):
    the settings that name it, as scripts/release reads them."""
    cert, key, p12 = (os.path.join(folder, name) for name in ("cert.pem", "key.pem", "cert.p12"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=Velmora Release Test", "-addext",
                    "extendedKeyUsage=codeSigning"], capture_output=True, check=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out", p12,
                    "-passout", "pass:throw away"], capture_output=True, check=True)
    return {"VELMORA_SIGN_PKCS12": p12, "VELMORA_SIGN_PASSWORD": "throw away",
            "VELMORA_SIGN_CAFILE": cert}


def sign_throwaway(path):
    with tempfile.TemporaryDirectory(prefix="velmora-throwaway-") as folder:
        os.environ.update(throwaway_certificate(folder))
        sign(path)


def signer(path):
    subject = re.search(r"Subject:\s*(.+)", verify(path))
    return subject.group(1).strip() if subject else "unknown signer"


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("sign", "sign-throwaway", "signer", "version",
                                                  "digest"):
        raise SystemExit(__doc__)
    action, path = sys.argv[1:]
    if action in ("sign", "sign-throwaway"):
        (sign if action == "sign" else sign_throwaway)(path)
        return
    if action == "signer":
        print(signer(path))
        return
    with open(path, "rb") as f:
        data = f.read()
    print(file_version(data) if action == "version" else authenticode_digest(data))


if __name__ == "__main__":
    main()
