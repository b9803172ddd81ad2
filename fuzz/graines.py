#!/usr/bin/env python3
"""Writes the seed corpora of fuzz/corpus/<target>/ from the test fixtures, a
few messages of the public corpus (path as scripts/fetch-corpus.sh prints it,
first argument; optional) and hand-made edge cases. Run from the repository
root; files are small (at most 4 KB) and a few dozen per target."""
import glob
import os
import shutil
import struct
import sys

RACINE = os.getcwd()
SORTIE = os.path.join(RACINE, "fuzz", "corpus")
MAX = 4096


def ecrire(cible, nom, octets):
    d = os.path.join(SORTIE, cible)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, nom), "wb") as f:
        f.write(octets[:MAX])


def lire(chemin):
    with open(chemin, "rb") as f:
        return f.read()


# Messages: fixtures, then a few of each group of the public corpus.
messages = []
for f in sorted(glob.glob("tests/fixtures/*/*.eml")):
    messages.append(lire(f))
if len(sys.argv) > 1:
    for groupe in ("spam-2", "easy-ham-1", "hard-ham-1", "spam-1"):
        fichiers = sorted(glob.glob(os.path.join(sys.argv[1], groupe, "*.txt")))
        pris = 0
        for f in fichiers:
            m = lire(f)
            if len(m) <= MAX and pris < 6:
                messages.append(m.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n"))
                pris += 1
faits = [
    b"From: a@b.test\r\nContent-Type: multipart/mixed; boundary=\"xx\"\r\n\r\n--xx\r\n"
    b"Content-Type: text/plain; charset=iso-8859-1\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
    b"caf=E9 =\r\nsoft\r\n--xx\r\nContent-Type: multipart/alternative; boundary=yy\r\n\r\n--yy\r\n"
    b"Content-Type: text/html\r\nContent-Transfer-Encoding: base64\r\n\r\nPGI+aGk8L2I+\r\n--yy--\r\n"
    b"--xx\r\nContent-Type: application/octet-stream; name=\"../../evil.exe\"\r\n"
    b"Content-Disposition: attachment; filename=\"..\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
    b"TVqQAAMAAAAEAAAA//8AALgAAAAAAAAAQAAAAAAAAAAAAAAA\r\n--xx--\r\n",
    b"Subject: uu\r\n\r\nbegin 644 a/../b.txt\r\n#86)C\r\n`\r\nend\r\n",
    b"Subject: yenc\r\n\r\n=ybegin part=1 line=128 size=5 name=x.bin\r\n=ypart begin=1 end=5\r\n"
    b"\x8b\x8c\x8d=}\x8f\r\n=yend size=5 part=1\r\n",
    b"Subject: =?utf-8?B?w6l0w6k=?= =?iso-8859-1?Q?caf=E9?=\r\nContent-Type: text/plain; format=flowed; delsp=yes\r\n\r\nhello \r\nworld\r\n",
    b"Content-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\nContent-Type: multipart/mixed; boundary=a\r\n\r\n--a\r\n--a--\r\n",
    b"Content-Type: multipart/related; boundary=\"\"\r\n\r\n--\r\n\r\n",
    b"Content-Type: text/html\r\n\r\n<html><body>Hi <b>there</b> <img src=\"cid:x\"> &amp; <a href=x>click</a></body></html>\r\n",
    b"Subject: \r\n\tfolded\r\n continued\r\n\r\n.\r\n..\r\n",
    b"",
    b"\r\n\r\n",
]
messages += faits

for i, m in enumerate(messages):
    ecrire("mime", "m%02d" % i, m)
    ecrire("bayes_texte", "m%02d" % i, bytes([i % 12]) + m)
    ecrire("reecriture", "m%02d" % i, bytes([(i * 37) & 0xFF, (i * 53) & 0xFF]) + m)
for o in (0x03 | 0x80, 0x02 | 0x10 | 0x04, 0x40, 0x20 | 0x03 | 0x80):
    ecrire("reecriture", "o%02x" % o, bytes([o, 0x1F]) + faits[7])

# Header lines of the messages: encoded words, addresses, Received lines.
entetes = []
for m in messages:
    tete = m.split(b"\r\n\r\n", 1)[0]
    entetes += [l for l in tete.split(b"\r\n") if l]
recus = [l for l in entetes if l.lower().startswith(b"received:")]
mots = [
    b"=?iso-8859-1?Q?caf=E9_cr=E8me?=", b"=?UTF-8?B?w6l0w6k=?= suite", b"=?utf-7?Q?+AOk-t+AOk-?=",
    b"=?koi8-r?B?8NLJ18XU?=", b"=?windows-1252?q?=80=9F?=", b"=?x-unknown?B?AAAA?=", b"=??B??=",
    b"=?utf-8?B?====?=", b"\"Nom\" <a@b.test>", b"a@b.test (commentaire)", b"Nom <a@b.test",
    b"iso-8859-7\n\xe1\xe2\xe3", b"utf-8\n\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc3", b"../../etc/passwd",
    b"..", b"C:\\windows\\x.exe", b"nom\x00cache.txt", b"+AGEAYgBj-", b"nom\r\n\tRFC2231*=utf-8''%E9",
]
for i, l in enumerate(mots + [l for l in entetes if b"=?" in l or l.lower().startswith((b"from:", b"to:"))][:30]):
    ecrire("entete", "e%02d" % i, l)
for t in glob.glob("data/Encodage/*.qdl")[:3]:
    ecrire("entete", "table-" + os.path.basename(t), lire(t))

for i, l in enumerate(recus[:25]):
    ecrire("relais", "r%02d" % i, l)
for i, l in enumerate([
    b"Received: from x ([192.0.2.1]) by y (10.0.0.1)\nReceived: from z [198.51.100.7]",
    b"Received: from [127.0.0.1] by [203.0.113.5]\n\tby (203.0.113.5) [203.0.113.6]",
    b"Received: from a (1.2.3.4.5) [999.1.1.1] [1..2.3] [00000000000000001.2.3.4]",
    b"\xc0\x00\x02\x01", b"255.255.255.255",
]):
    ecrire("relais", "h%02d" % i, l)

# Client commands and server answers.
for i, l in enumerate([
    b"USER bob@pop.example.org", b"USER pop.example.org/995/bob", b"USER a@b@c:110", b"PASS secret",
    b"RETR 1", b"TOP 1 10", b"LIST", b"LIST 99999999999999999999", b"STAT\x00DELE 1", b"uidl 2\rQUIT",
    b"CAPA", b"STLS", b"AUTH PLAIN", b"+OK 3 1200", b"+OK 2 340", b"2 340", b"-ERR no", b"+OK  -5  x",
    b"USER " + b"x" * 200, b"From: a@b\nTo: c@d\nSubject: s\n\tsuite\nCc: e\nCc: f\nMessage-ID: <x>",
    b"pop3s", b"110", b"65536",
]):
    ecrire("commande_pop3", "c%02d" % i, l)

# Patterns: pattern NUL value.
for i, l in enumerate([
    b"*@spam.test\x00bob@spam.test", b"cidr:10.0.0.0/8\x0010.1.2.3", b"cidr:192.168.1.0/33\x00192.168.1.1",
    b"cidr:1.2.3.4\x001.2.3.4", b"?#\xb5*\x00a1b", b"\\*x\x00*x", b"a*b*c*d*e*f\x00aaaaaaaaaaaaaaaaaaaaaaaaaaaa",
    b"^viagra\x00Viagra", b"(?i)^vi(a)+gra$\x00VIAGRA", b"(a+)+$\x00aaaaaaaaaaaaaaaaaaaaaaaaaaaab",
    b"[\x00x", b"*\x00",
]):
    ecrire("filtre", "f%02d" % i, l)

# DNS answers to "2.0.0.127.zen.example.org".
def nom(n):
    return b"".join(bytes([len(p)]) + p for p in n.split(b".")) + b"\x00"

q = nom(b"2.0.0.127.zen.example.org") + b"\x00\x01\x00\x01"
def reponse(ident, flags, an, corps, qd=1, question=q):
    return struct.pack(">HHHHHH", ident, flags, qd, an, 0, 0) + question + corps
a = b"\xc0\x0c\x00\x01\x00\x01\x00\x00\x0e\x10\x00\x04\x7f\x00\x00\x02"
graines_dns = [
    reponse(0x1234, 0x8180, 1, a),
    reponse(0x1234, 0x8183, 0, b""),
    reponse(0x1234, 0x8180, 2, a + b"\xc0\x0c\x00\x10\x00\x01\x00\x00\x00\x3c\x00\x05\x04text"),
    reponse(0x1234, 0x8180, 1, b"\xc0\x0e" + a[2:]),
    reponse(0x1234, 0x8180, 1, b"\xc0\x2a" + a[2:]),
    reponse(0x1234, 0x8180, 60, a * 3),
    reponse(0x1234, 0x8380, 1, a[:8]),
    reponse(0x1234, 0x8180, 1, nom(b"x.example") + a[2:]),
    reponse(0x1234, 0x0100, 0, b""),
    reponse(0x1234, 0x8180, 1, a, qd=2),
    b"\x12\x34",
]
for i, d in enumerate(graines_dns):
    ecrire("dns", "d%02d" % i, d)

# List files: the first byte picks the list.
listes = [
    b"*@spam.test\r\nbob@*\r\n#*\r\n", b"cidr:10.0.0.0/8\r\n192.168.*\r\n\r\n", b"^viagra\nfree.*money\r(",
    b"a\tb\x01\r\n\r\n\r\n", b"127.*\r\n10.*\r\n192.168.*\r\n", b"\xef\xbb\xbfUTF-8 BOM\r\n",
]
for i, l in enumerate(listes):
    ecrire("listes", "l%02d" % i, bytes([i * 3 % 15]) + l)

# dns.qdl (even first byte) and recherche.qdl (odd).
qdl_dns = [
    b"VERSION=1\r\n12\taucun\tz0.test\t0\t0\t0\t0\t0\t\t0\t0\r\n11\tdeux\tz2.test\t5\t0\t0\t0\t2\t127.0.0.2\t127.0.0.4\t\t0\t1\r\n",
    b"VERSION=1\r\n5\tbig\tz.test\t1\t2\t3\t4\t2000000000\t127.0.0.2\r\n6\tshort\tz6.test\t0\t0\t0\t0\t0\t\t3\r\n",
    b"VERSION=1\r\n7\tneg\tz7.test\t0\t0\t0\t0\t-4\t\t0\t3\r\n8\tsame\tz.test\r\n8\tSAME\tz.test\r\n",
    b"VERSION=1\r\n1\tTab\x01name\x02\tzone\x03.test\t0\t0\t0\t0\t1\t127.0.0.2\t\t0\t0\r\n",
    b"; comment\r\nVERSION=9\r\n-1\t\t\t\r\n",
]
for i, c in enumerate(qdl_dns):
    ecrire("dns_qdl", "s%02d" % i, b"\x00" + c)
qdl_recherche = [
    b"VERSION=1\r\n198.51.100.1\t1\t3\tinexistant\t4\t01/01/2099 00:00:00\r\n198.51.100.2\t1\t5\tinexistant\t10\t\r\n",
    b"VERSION=1\r\n198.51.100.2\t-1\t2\t127.0.0.2\t1\tnot a date\r\n198.51.100.3\t-1\t7\tx\t1\t01/01/2099 00:00:00\r\n198.51.100.4\t-1\t2\r\n",
    b"VERSION=1\r\n203.0.113.9\t2\t3\t127.0.0.2\x01127.0.0.3\t1\t31/12/2025 23:59:59\r\n",
]
for i, c in enumerate(qdl_recherche):
    ecrire("dns_qdl", "r%02d" % i, b"\x01" + c)

# comptesspam.qdl.
for i, c in enumerate([
    b"VERSION=1\r\n1\tpop.test\tbob\t0\t0\t1\tZed\x03name_!\t29\t995\tbob@pop.test\r\n2\timap.test\tamy\t10\t4\t1\timap.test/amy\t0\t\t\r\n",
    b"VERSION=1\r\n3\tpop.test\tbob\t5\t2\t7\t\t0\t\t  Bob@Pop.Test  \r\n4\tpop.test\tshort\r\n9\tx\ty\tNaN\r\n10\tx\tz\t1\t2\t99999999999\tn\t8\r\n",
    b"VERSION=1\r\n2\ts\ta\r\n9\ts\tc\r\n5\ts\tb\r\n",
    b"\r\nVERSION=1\r\n7\ts\tprecious\t0\t0\t0\t\t0\t\t\r\n",
]):
    ecrire("comptes", "c%02d" % i, c)

# bayes.qdl (0), ignored words (1), ignored headers (2).
for i, c in enumerate([
    b"\x00*\t12\t30\r\ngratuit\t9\t0\t2\t7\t5\t0\t0\t0\r\nzz-top\t-1\t3\t0\t0\t0\t1\t2\t-3\r\n",
    b"\x00gratuit\t9\t0\t2\t7\t5\t0\t0\t0\r\nabc\t1\t1\r\n",
    b"\x00*\t1\t1\r\nabc\t0\t0\t4\t4\t4\t4\t4\t4\r\nabd\t0\t1\r\n",
    b"\x00*\tx\t+5\r\nabc\t3\tz\t\t9\r\nabd\t 2 \t1\t-\t7x\r\n",
    b"\x00*\t2\t3\nabc\t1\t0\r\rabd\t0\t2\n\nabe\t1\t1",
    b"\x00*\t1\t1\r\nzeta\t1\t0\r\nAlpha\t1\t0\r\nbeta\t1\t0\r\nalpha\t2\t0\r\n",
    b"\x01the\r\nand\r\nCAF\xc9\r\n",
    b"\x02received\r\nX-Spam-Status\r\nmessage-id\r\n",
]):
    ecrire("bayes_qdl", "b%02d" % i, c)

# kelvarin.ini.
for i, c in enumerate([
    b"[Init]\r\nModifSujet=1\r\nDebutSujet=\"[[**SPAM**]] \"\r\nPortEcoute=pop3\r\nNbSocket=35\r\nPourcentageSpam=60\r\n"
    b"CertificatsAmont=\"/tmp/ca.pem\"\r\n[Affichage]\r\nNbJour=3\r\n[Racine]\r\nAideActive2=3\r\n",
    b"[Init]\r\nDebutSujet=\"\"quoted\"\"\r\nFinSujet='single'\r\nNbSocket=abc\r\nDureeStockage=-5\r\nFormatParametre=99\r\n",
    b"; comment\r\n[init]\r\nmodifsujet = 0\r\n[Init]\r\nModifSujet=1\r\n[Init\r\n=value\r\nkey\r\n",
    b"[Init]\nSujetSupprime=\"\r\nNumeroCompteMini=2147483647\nNumeroDNSMini=-2147483648\nVersionInterne=1\n",
    b"\xef\xbb\xbf[Init]\r\nAdresseDNS=  1.2.3.4  \r\nDNSAuto=0\r\nSecuriteAmont=7\r\n",
]):
    ecrire("ini", "i%02d" % i, c)

# Archive: even first byte, the index (u16 length of the 38-byte records,
# then both files); odd, a day file.
for n in ("7", "8"):
    fixe = lire("tests/fixtures/archive/%s-var.qdl" % n)
    var = lire("tests/fixtures/archive/%s-fix.qdl" % n)
    ecrire("archive", "index" + n, b"\x00" + struct.pack("<H", len(fixe)) + fixe + var)
for f in sorted(glob.glob("tests/fixtures/archive/7/*.news"))[:4]:
    ecrire("archive", "jour-" + os.path.basename(f), b"\x01" + lire(f))
entete = bytearray(2051)
entete[0] = 1
struct.pack_into("<h", entete, 1, 256)
struct.pack_into("<ii", entete, 3, 5, 2051)
struct.pack_into("<ii", entete, 11, 6, 2061)
ecrire("archive", "jour-deux", b"\x01" + bytes(entete) + b"0123456789abcdefghij")
trou = bytearray(entete)
struct.pack_into("<ii", trou, 3, 0, 0)
ecrire("archive", "jour-trou", b"\x01" + bytes(trou) + b"0123456789abcdefghij")
ecrire("archive", "jour-court", b"\x01\x01\x00\x01\x05\x00\x00\x00")
