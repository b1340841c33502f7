#!/usr/bin/env python3
"""Certificates of the sandbox payroll service, made with the openssl program.

    gencerts.py [--openssl PROGRAM] [--days N] [--force] DIR

writes into DIR, when any of them is missing (or with --force):
    server-ca.pem  the sandbox CA's certificate: it signed both certificates
                   below, the server trusts client certificates it signed
    server.pem     the server's certificate (localhost, 127.0.0.1) and key
    client.pem     the program's client certificate and key in one file
The CA's key is thrown away once both certificates are signed.  The keys
protect nothing but the sandbox on this machine.
"""

import argparse
import os
import secrets
import subprocess
import sys
import tempfile

CA_FILE = "server-ca.pem"
SERVER_FILE = "server.pem"
CLIENT_FILE = "client.pem"
ALL_FILES = (CA_FILE, SERVER_FILE, CLIENT_FILE)

KEY_ARGS = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]

SERVER_EXT = """basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
"""

CLIENT_EXT = """basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature
extendedKeyUsage=clientAuth
subjectKeyIdentifier=hash
authorityKeyIdentifier=keyid
"""


class CertError(Exception):
    pass


def _run(openssl, args, cwd):
    try:
        done = subprocess.run([openssl] + args, cwd=cwd, capture_output=True, text=True, timeout=120)
    except (OSError, subprocess.TimeoutExpired) as e:
        raise CertError(f"cannot run {openssl}: {e}") from e
    if done.returncode != 0:
        raise CertError(f"{openssl} {' '.join(args[:2])} failed: {done.stderr.strip()}")


def _sign(openssl, tmp, name, subject, ext, days):
    _run(openssl, ["req", "-new"] + KEY_ARGS + ["-keyout", f"{name}.key", "-out", f"{name}.csr",
                                                 "-subj", subject], tmp)
    with open(os.path.join(tmp, f"{name}.ext"), "w") as f:
        f.write(ext)
    serial = "0x" + secrets.token_hex(8)
    _run(openssl, ["x509", "-req", "-in", f"{name}.csr", "-CA", "ca.crt", "-CAkey", "ca.key",
                   "-set_serial", serial, "-days", str(days), "-extfile", f"{name}.ext",
                   "-out", f"{name}.crt"], tmp)


def _bundle(tmp, name):
    parts = []
    for suffix in ("crt", "key"):
        with open(os.path.join(tmp, f"{name}.{suffix}")) as f:
            parts.append(f.read())
    path = os.path.join(tmp, f"{name}.pem")
    with open(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as f:
        f.write("".join(parts))
    return path


def ensure_certs(directory, openssl="openssl", days=3650, force=False):
    """Make the three files in DIRECTORY unless they all exist; returns their
    paths by name."""
    paths = {name: os.path.join(directory, name) for name in ALL_FILES}
    if not force and all(os.path.isfile(p) for p in paths.values()):
        return paths
    os.makedirs(directory, exist_ok=True)
    # Built beside the target and renamed into place, so that a reader never
    # sees a half-written file and the CA's key never lands in DIRECTORY.
    with tempfile.TemporaryDirectory(dir=directory, prefix=".gencerts-") as tmp:
        _run(openssl, ["req", "-x509", "-new"] + KEY_ARGS + [
            "-keyout", "ca.key", "-out", "ca.crt", "-days", str(days),
            "-subj", "/CN=OrvQ Sandbox CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign"], tmp)
        _sign(openssl, tmp, "server", "/CN=localhost", SERVER_EXT, days)
        _sign(openssl, tmp, "client", "/CN=OrvQ Sandbox Client", CLIENT_EXT, days)
        os.replace(_bundle(tmp, "server"), paths[SERVER_FILE])
        os.replace(_bundle(tmp, "client"), paths[CLIENT_FILE])
        os.replace(os.path.join(tmp, "ca.crt"), paths[CA_FILE])
    return paths


def main(argv=None):
    parser = argparse.ArgumentParser(description="Make the sandbox payroll service's certificates.")
    parser.add_argument("directory")
    parser.add_argument("--openssl", default="openssl")
    parser.add_argument("--days", type=int, default=3650)
    parser.add_argument("--force", action="store_true", help="make new files even if they exist")
    args = parser.parse_args(argv)
    try:
        ensure_certs(args.directory, args.openssl, args.days, args.force)
    except (CertError, OSError) as e:
        print(f"gencerts: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
