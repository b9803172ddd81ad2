#!/usr/bin/env python3
"""A real POP3 client for the end-to-end tests and the benchmark.

Usage: pop3_fetch.py HOST PORT USER PASSWORD OUTDIR [--no-list] [--dele]
                    [--host=NAME] [--ssl=CAFILE] [--stls=CAFILE]

Prints the greeting, the STAT, LIST and UIDL answers, then writes each message
(RETR) to OUTDIR/<n>.eml as the lines received, each followed by CR LF, and
ends with QUIT. Exit code 0 on success, 2 on a POP3 error (printed).
--host replaces HOST; --ssl connects with TLS from the first byte, --stls
upgrades a plain connection, both verifying the server against CAFILE.
"""
import os
import poplib
import ssl
import sys

# Corpus messages have lines far beyond poplib's 2 KB default.
poplib._MAXLINE = 1 << 24


def main():
    if len(sys.argv) < 6:
        print(__doc__, file=sys.stderr)
        return 1
    host, port, user, password, outdir = sys.argv[1:6]
    options = set()
    values = {}
    for arg in sys.argv[6:]:
        name, _, value = arg.partition("=")
        options.add(name)
        values[name] = value
    host = values.get("--host") or host
    os.makedirs(outdir, exist_ok=True)
    out = sys.stdout.buffer
    try:
        if "--ssl" in options:
            context = ssl.create_default_context(cafile=values["--ssl"])
            pop = poplib.POP3_SSL(host, int(port), timeout=60, context=context)
        else:
            pop = poplib.POP3(host, int(port), timeout=60)
        out.write(b"GREETING " + pop.getwelcome() + b"\n")
        if "--stls" in options:
            pop.stls(ssl.create_default_context(cafile=values["--stls"]))
        pop.user(user)
        out.write(b"PASS " + pop.pass_(password) + b"\n")
        count, size = pop.stat()
        out.write(b"STAT %d %d\n" % (count, size))
        if "--no-list" not in options:
            _, lines, _ = pop.list()
            for line in lines:
                out.write(b"LIST " + line + b"\n")
            _, lines, _ = pop.uidl()
            for line in lines:
                out.write(b"UIDL " + line + b"\n")
        for n in range(1, count + 1):
            _, lines, _ = pop.retr(n)
            with open(os.path.join(outdir, "%d.eml" % n), "wb") as f:
                f.write(b"".join(line + b"\r\n" for line in lines))
            if "--dele" in options:
                pop.dele(n)
        out.write(b"QUIT " + pop.quit() + b"\n")
    except poplib.error_proto as e:
        out.write(b"ERROR " + (e.args[0] if isinstance(e.args[0], bytes) else str(e).encode()) + b"\n")
        return 2
    except OSError as e:
        out.write(b"ERROR " + str(e).encode() + b"\n")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
