#!/usr/bin/env python3
# A desk's inbox as it arrives, made in FOLDER: make_inbox.py FOLDER
# Renamed files and Windows' copy names, a forwarded mail (quoted-printable, "> " quoting), a
# file saved as UTF-16 without a mark, archives with Japanese names (7z, an AES zip, a zip of
# Japanese Explorer in code page 932), what is not a data file (empty, a C source, a FIFO, links,
# a folder deeper than the decoder goes), a Ctrl-Z at the end of the decoder's first read, a
# damaged file, a zip with a renamed member and a note, and a zip that inflates past the budget.
import base64, os, quopri, subprocess, sys, zipfile
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

KEY = bytes(ord(c) - 2 for c in "Qv7#kPz%2mXc&9Lt")
IV = bytes(ord(c) - 2 for c in "r4$Hw8*Ne3+Ty6@B")


def line(record):
    pad = padding.PKCS7(128).padder()
    aes = Cipher(algorithms.AES(KEY), modes.CBC(IV)).encryptor()
    data = pad.update(record.encode("cp932")) + pad.finalize()
    return base64.b64encode(aes.update(data) + aes.finalize()) + b"\r\n"


def data_file(host, extra=0):
    records = ["----------Win32_OperatingSystem----------", "Caption\tMicrosoft Windows 11 Pro",
               "CSName\t" + host, "BuildNumber\t22631"]
    records += ["TotalVisibleMemorySize\t%d" % (16000000 + n) for n in range(extra)]
    return b"".join(line(r) for r in records)


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


root = sys.argv[1]
inbox = os.path.join(root, "受付")
write(os.path.join(inbox, "山田太郎 PC.dat"), data_file("YAMADA-PC"))
write(os.path.join(inbox, "PC_INFO_261201090000 (2).dat"), data_file("SATO-NOTE"))
write(os.path.join(inbox, "PC_INFO_261201090000 - コピー.dat"), data_file("SUZUKI-DESK"))
# Mail: quoted-printable with soft breaks (a long record), then "> " quoting of a reply.
qp = quopri.encodestring(data_file("TANAKA-PC") + line("Caption\t" + "長い名前" * 12))
write(os.path.join(inbox, "メール/転送.eml"), qp)
write(os.path.join(inbox, "メール/返信.txt"),
      b"".join(b"> " + l for l in data_file("KATO-PC").splitlines(True)))
write(os.path.join(inbox, "unicode.txt"), data_file("ITO-PC").decode().encode("utf-16-le"))
write(os.path.join(inbox, "空.dat"), b"")
write(os.path.join(inbox, "壊れた.dat"), data_file("HAYASHI-PC") + b"not a record\r\n" * 7)
write(os.path.join(inbox, "main.c"), b"#include <stdio.h>\nint main(void) { return 0; }\n")
os.mkfifo(os.path.join(inbox, "fifo"))
os.symlink(".", os.path.join(inbox, "loop"))
write(os.path.join(root, "外/PC_INFO_261202080000.dat"), data_file("OUTSIDE-PC"))
os.symlink("../外", os.path.join(inbox, "外へのリンク"))
deep = os.path.join(inbox, *(["深い"] + ["d"] * 64))
write(os.path.join(deep, "PC_INFO_261202080000.dat"), data_file("DEEP-PC"))
# A Ctrl-Z as the last byte of the decoder's first read (64 KiB), more records after it: it is
# damage inside the file (the next line fails), not the end of the file.
ctrlz = data_file("CTRLZ-PC", 2000)
cut = ctrlz.rfind(b"\r\n", 0, 65535) + 2
write(os.path.join(inbox, "PC_INFO_261203120000.dat"),
      ctrlz[:cut] + b"\n" * (65535 - cut) + b"\x1a" + ctrlz[cut:])
# Archives: a 7z and an AES zip with Japanese names, and a zip of Japanese Explorer.
members = os.path.join(root, "members")
write(os.path.join(members, "お客様/PC_INFO_261204110000.dat"), data_file("WATANABE-PC"))
subprocess.run(["bsdtar", "--format", "7zip", "-cf", os.path.abspath(inbox + "/日本語.7z"),
                "お客様"], cwd=members, check=True)
write(os.path.join(members, "お客様/PC_INFO_261204110000.dat"), data_file("KOBAYASHI-PC"))
subprocess.run(["bsdtar", "--format", "zip", "--options", "zip:encryption=aes256",
                "--passphrase", "s3cret", "-cf", os.path.abspath(inbox + "/暗号.zip"), "お客様"],
               cwd=members, check=True)


class Cp932Name(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits


with zipfile.ZipFile(os.path.join(inbox, "エクスプローラー.zip"), "w") as z:
    z.writestr(Cp932Name("山本様/PC_INFO_261205150000.dat"), data_file("YAMAMOTO-PC"))
with zipfile.ZipFile(os.path.join(inbox, "転送分.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    z.writestr("中村様の PC.txt", data_file("NAKAMURA-PC"))
    z.writestr("説明.txt", "よろしくお願いします\n".encode())
# Six data files of 60 MiB (records, then zeros: a thousandfold in a zip).
with zipfile.ZipFile(os.path.join(inbox, "大きい.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for n in range(6):
        with z.open("PC_INFO_2612060000%02d.dat" % n, "w") as member:
            member.write(data_file("BIG-PC") + bytes(60 << 20))
write(os.path.join(root, "pw1.txt"), b"guess\r\n")
write(os.path.join(root, "pw2.txt"), b"s3cret\n")
