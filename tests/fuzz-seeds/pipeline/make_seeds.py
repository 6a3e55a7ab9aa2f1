#!/usr/bin/env python3
# The seeds of fuzz_pipeline, written into FOLDER: make_seeds.py FOLDER
# Whole data files as Windows writes them (CR LF, code page 932 values, the program's key), their
# UTF-16 copies, a forwarded mail, archives and folders, each behind the first byte that picks
# the way in of tools/decode/fuzz/FuzzPipeline.cpp (its Modes(), in that order).
import base64, io, os, quopri, subprocess, sys, tempfile, zipfile
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

KEY = bytes(ord(c) - 2 for c in "Qv7#kPz%2mXc&9Lt")
IV = bytes(ord(c) - 2 for c in "r4$Hw8*Ne3+Ty6@B")
SPLIT = b"\n=====\n"
# The modes by their way in.
FILE_MODES = [0, 1, 2, 3, 4, 5, 6, 10, 11, 12, 15, 16]
DIFF_MODES = [7, 8, 9, 13]
ARCHIVE_MODES = [17, 18, 19]
FOLDER_MODES = [14, 20, 21, 22]
COMMAND_LINE = 23


def line(record):
    pad = padding.PKCS7(128).padder()
    aes = Cipher(algorithms.AES(KEY), modes.CBC(IV)).encryptor()
    data = pad.update(record.encode("cp932")) + pad.finalize()
    return base64.b64encode(aes.update(data) + aes.finalize()) + b"\r\n"


def header(name):
    return "-" * 10 + name + "-" * 10


def collection(host="YAMADA-PC", adapters=2, caption="Microsoft Windows 11 Pro"):
    records = [header("Win32_NetworkAdapterConfiguration")]
    for n in range(adapters):
        records += ["Caption\t[%08d] インテル(R) イーサネット I219-V #%d" % (n + 1, n + 1),
                    "IPAddress\t192.168.1.%d" % (10 + n),
                    "IPAddress\tfe80::1c2b:3a4f:5d6e:7f80%%%d" % (n + 3),
                    "MACAddress\t00:1B:21:3A:4F:%02X" % n]
    records += [header("Win32_NetworkAdapter"), "Description\tRealtek PCIe GbE Family Controller",
                "AdapterType\tイーサネット 802.3", "Name\tRealtek PCIe GbE Family Controller",
                "PNPDeviceID\tPCI\\VEN_10EC&DEV_8168&SUBSYS_86771043"]
    records += [header("Win32_Processor"), "Name\tIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz",
                "Description\tIntel64 Family 6 Model 158", "ProcessorId\tBFEBFBFF000906EA"]
    records += [header("Win32_OperatingSystem"), "Caption\t" + caption, "OSArchitecture\t64 ビット",
                "Version\t10.0.22631", "BuildNumber\t22631", "CountryCode\t81", "Locale\t0411",
                "CSName\t" + host, "SerialNumber\t00330-80000-00000-AA123",
                "TotalVisibleMemorySize\t16662372"]
    records += [header("Win32_BaseBoard"), "Manufacturer\tＡＳＵＳＴｅＫ", "Product\tPRIME B360M-A",
                "Version\tRev X.0x"]
    records += [header("Win32_ComputerSystemProduct"), "Vendor\t富士通", "Name\tESPRIMO D588",
                "UUID\t4C4C4544-0051-3510-8052-B4C04F4B4E32"]
    return records


def data_file(records):
    return b"".join(line(r) for r in records)


def hostile():
    # Values a page, a spreadsheet or a terminal must not take as their own.
    records = collection()
    records[records.index("Caption\tMicrosoft Windows 11 Pro")] = (
        "Caption\t<script>alert(1)</script>\" onmouseover=\"x")
    records[records.index("Version\t10.0.22631")] = "Version\t=cmd|' /C calc'!A0"
    records[records.index("Locale\t0411")] = "Locale\t\x1b[31m赤\x1b[0m"
    records[records.index("Version\tRev X.0x")] = "Version\t<img src=x onerror=alert(1)>&amp;"
    return records


def wrapped(data):
    text = data.replace(b"\r\n", b"")
    return b"\r\n".join(text[i:i + 76] for i in range(0, len(text), 76)) + b"\r\n"


def archive(options, data):
    # bsdtar's zip (with AES too), 7z and tar.gz of one member below a Japanese folder name.
    with tempfile.TemporaryDirectory() as work:
        os.makedirs(os.path.join(work, "お客様"))
        with open(os.path.join(work, "お客様", "PC_INFO_261204110000.dat"), "wb") as f:
            f.write(data)
        subprocess.run(["bsdtar"] + options.split() + ["-cf", "out", "お客様"], cwd=work,
                       check=True)
        with open(os.path.join(work, "out"), "rb") as f:
            return f.read()


class Cp932Name(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode("cp932"), self.flag_bits


def explorer_zip(data):
    # Japanese Explorer's: the name in code page 932, no UTF-8 flag.
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr(Cp932Name("山本様/PC_INFO_261205150000.dat"), data)
    return buffer.getvalue()


out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def seed(name, modes, payload):
    for mode in modes:
        with open(os.path.join(out, "%s-%02d" % (name, mode)), "wb") as f:
            f.write(bytes([mode]) + payload)


full = data_file(collection())
small = data_file(collection(adapters=1)[:12])
text = full.decode()
damaged = full[:300] + b"not a record\r\n" + full[300:340] + b"\r\n" + full[340:] + b"\x1a"
plain = full[:200] + "Caption\t平文の値 <b>\r\n".encode("cp932") + full[200:]
files = {
    "windows": full,
    "hostile": data_file(hostile()),
    "utf16": b"\xff\xfe" + text.encode("utf-16-le"),
    "utf16-bare": text.encode("utf-16-le"),
    "utf16-be": b"\xfe\xff" + text.encode("utf-16-be"),
    "mail": quopri.encodestring(full),
    "quoted": b"".join(b"> " + l for l in full.splitlines(True)),
    "wrapped": wrapped(full),
    "damaged": damaged,
    "plain": plain,
    "two": full + SPLIT + small,
}
for name, payload in files.items():
    seed(name, FILE_MODES, payload)

changed = data_file(collection(host="SATO-NOTE", adapters=3, caption="Microsoft Windows 10 Pro"))
seed("diff", DIFF_MODES, full + SPLIT + changed)
seed("diff-utf16", DIFF_MODES, full + SPLIT + changed.decode().encode("utf-16-le"))
seed("diff-damaged", DIFF_MODES, damaged + SPLIT + files["hostile"])

for name, options in [("zip", "--format zip"), ("7z", "--format 7zip"), ("tgz", "-z"),
                      ("zip-aes", "--format zip --options zip:encryption=aes256 --passphrase s3cret")]:
    seed(name, ARCHIVE_MODES, archive(options, small))
seed("zip-cp932", ARCHIVE_MODES, explorer_zip(small))
seed("folder", FOLDER_MODES,
     SPLIT.join([full, files["hostile"], files["utf16-bare"], files["mail"], explorer_zip(small),
                 b"#include <stdio.h>\nint main(void) { return 0; }\n"]))
for n, args in enumerate(["--summary --json a.dat b.dat", "--diff --html --mask-key k a.dat b.dat",
                          "--mask --mask-key k --csv -", "--mask-key k --mask-map map.tsv a.dat",
                          "--unmask map.tsv report.txt", "--xlsx out.xlsx a.dat",
                          "--json --csv a.dat", "--verbose --password-file pw.txt a.zip", "--help"]):
    seed("command-line-%d" % n, [COMMAND_LINE], args.replace(" ", "\0").encode() + SPLIT + small)
