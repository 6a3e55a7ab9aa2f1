#!/usr/bin/env python3
# What leaves the desk, with the real decoder: a leaky collection (one table of planted personal
# items in the notations customers' PCs write) through every mode with --mask, each output
# searched for every item; the map's way back; the diff's warnings; the workbook read back.
# leaky_desk.py DECODER WORKDIR
import base64, json, os, shutil, subprocess, sys, zipfile
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

decoder, work = os.path.abspath(sys.argv[1]), sys.argv[2]
KEY = bytes(ord(c) - 2 for c in "Qv7#kPz%2mXc&9Lt")
IV = bytes(ord(c) - 2 for c in "r4$Hw8*Ne3+Ty6@B")

# class, record, the personal item it plants ("" for none), kept: what must stay
NIC, ADAPTER, OS, PRODUCT = ("Win32_NetworkAdapterConfiguration", "Win32_NetworkAdapter",
                             "Win32_OperatingSystem", "Win32_ComputerSystemProduct")
PLANTED = [
    (NIC, "Caption\t[00000001] Intel(R) I350 Gigabit Network Connection", ""),
    (NIC, "IPAddress\t192.168.10.23/24", "192.168.10.23"),
    (NIC, "IPAddress\tfe80::a236:9fff:fe11:2230", "9fff:fe11:2230"),
    (NIC, "MACAddress\tA0:36:9F:11:22:30", "A0:36:9F:11:22:30"),
    (ADAPTER, "Description\tPCI A0369FFFFF112230 EUI A0369FFFFE112230", "A0369FFFFF112230"),
    (ADAPTER, "AdapterType\tEUI-64 a2369ffffe112230", "a2369ffffe112230"),
    (ADAPTER, "Manufacturer\tCisco a036.9f11.2230 / a0-36-9f-11-22-30", "a036.9f11.2230"),
    (ADAPTER, "Name\t[00000001] a0369f112230 A0369FFFFE112230", "A0369FFFFE112230"),
    (ADAPTER, "PNPDeviceID\tPCI\\VEN_8086&DEV_1521&SUBSYS_00018086&REV_01\\A0369FFFFF112230", "a0-36-9f"),
    (ADAPTER, "Description\tC:\\Users\\yamada.taro\\AppData\\Local\\Temp", "yamada.taro"),
    (ADAPTER, "Name\t/home/tanaka/.config", "tanaka"),
    (ADAPTER, "Description\ttaro-pc.yamada.local", "yamada"),
    (ADAPTER, "Manufacturer\tACME商事 情報システム部 担当 山田太郎", "ACME商事"),
    (ADAPTER, "Name\tＡＣＭＥ-LAN", "ＡＣＭＥ"),
    (ADAPTER, "Description\tｱｸﾒ ﾈｯﾄﾜｰｸ", "ｱｸﾒ"),
    (ADAPTER, "PNPDeviceID\tBTHENUM\\{00001115-0000-1000-8000-00805F9B34FB}_LOCALMFG&0002", ""),
    (OS, "Caption\tMicrosoft Windows 11 Pro 7XK2P-9QWRT-M4HJB-C8VYD-3FG6N", "7XK2P-9QWRT"),
    (OS, "BuildNumber\t22631", ""),
    (OS, "Locale\t0411", ""),
    (OS, "CSName\tTARO-PC", "TARO-PC"),
    (OS, "SerialNumber\t00330-80000-00000-AA123", "00330-80000-00000-AA123"),
    (PRODUCT, "UUID\t4C4C4544-0051-3510-8052-B4C04F4B4E32", "4C4C4544-0051-3510-8052"),
]
KEPT = ["{00001115-0000-1000-8000-00805F9B34FB}", ".local", "Intel(R) I350", "0411"]
WORDS = "ACME商事\n山田太郎\nアクメ\nacme\n"
NAMES = ["受付", "山田太郎様", "yamada", "鍵_山田"]  # on the desk's disk
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def data_file(path, records):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        for r in records:
            pad = padding.PKCS7(128).padder()
            aes = Cipher(algorithms.AES(KEY), modes.CBC(IV)).encryptor()
            data = pad.update(r.encode("cp932")) + pad.finalize()
            f.write(base64.b64encode(aes.update(data) + aes.finalize()) + b"\r\n")


def collection(rows):
    records, last = [], None
    for cls, record, _ in rows:
        if cls != last:
            records.append("-" * 10 + cls + "-" * 10)
            last = cls
        records.append(record)
    return records


def run(*args, cwd=None):
    p = subprocess.run([decoder, *args], cwd=cwd or work, capture_output=True)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


shutil.rmtree(work, ignore_errors=True)
desk = os.path.join(work, "受付", "ACME商事", "山田太郎様")
OLD, NEW = os.path.join(desk, "PC_INFO_261201090000.dat"), os.path.join(desk, "PC_INFO_261207101530.dat")
data_file(OLD, collection(PLANTED))
data_file(NEW, collection([(c, r.replace("192.168.10.23", "192.168.10.57"), p) for c, r, p in PLANTED]))
data_file(os.path.join(work, "受付", "PC_INFO_yamada.dat"), collection(PLANTED))
with open(os.path.join(work, "words.txt"), "w") as f:
    f.write(WORDS)
secrets = [p for _, _, p in PLANTED if p] + NAMES + ["192.168.10.57", "taro-pc.yamada"]

# Every mode, masked: nothing planted is left, in any case, and the facts stay.
MODES = [[], ["--json"], ["--csv"], ["--summary"], ["--summary", "--json"], ["--html"],
         ["--diff", OLD, NEW], ["--diff", "--json", OLD, NEW], ["--diff", "--html", OLD, NEW],
         ["--xlsx", "book.xlsx"]]
for mode in MODES:
    for mask in (["--mask"], ["--mask-key", "desk key"]):
        args = mask + ["--mask-words", "words.txt"] + mode + ([] if "--diff" in mode else ["受付"])
        if os.path.exists(os.path.join(work, "book.xlsx")):
            os.remove(os.path.join(work, "book.xlsx"))
        status, out, err = run(*args)
        if "--xlsx" in mode:
            with zipfile.ZipFile(os.path.join(work, "book.xlsx")) as z:
                out = "".join(z.read(n).decode() for n in z.namelist() if n.endswith(".xml"))
        text = (out + err).lower()
        check(status in (0, 1), f"{args}: status {status} {err}")
        for s in secrets:
            check(s.lower() not in text, f"{args}: {s} is left")
        check("--diff" in mode or "file-" in out + err, f"{args}: PC_INFO_yamada.dat shown")
        if not mode:
            for k in KEPT:
                check(k in out, f"{args}: {k} is gone")

# The map: made new and the owner's alone; what the vendor writes back turns into the originals.
status, masked, err = run("--mask", "--mask-words", "words.txt", "--mask-map", "map.tsv", OLD)
check(status == 0 and oct(os.stat(os.path.join(work, "map.tsv")).st_mode & 0o777) == "0o600",
      f"map: {status} {err}")
with open(os.path.join(work, "reply.txt"), "w") as f:
    f.write(masked)
status, back, err = run("--unmask", "map.tsv", "reply.txt")
plain = run(OLD)[1]
check(status == 0 and set(plain.splitlines()) - set(back.splitlines()) <= {
    "Name\tＡＣＭＥ-LAN", "Description\tｱｸﾒ ﾈｯﾄﾜｰｸ", "Description\ttaro-pc.yamada.local"}, f"unmask: {status} {err}\n{back}")
os.symlink("elsewhere.txt", os.path.join(work, "link.tsv"))
for existing in ("map.tsv", "link.tsv"):
    before = open(os.path.join(work, "map.tsv"), "rb").read()
    status, out, err = run("--mask", "--mask-map", existing, OLD)
    check(status == 2 and out == "" and "--mask-map" in err, f"{existing}: {status} {err}")
    check(open(os.path.join(work, "map.tsv"), "rb").read() == before, f"{existing} overwritten")
    check(not os.path.exists(os.path.join(work, "elsewhere.txt")), "link followed")

# Under --mask an option's file is named by the option, never by its path.
for option in ("--password-file", "--mask-key-file", "--mask-words", "--mask-map"):
    status, out, err = run("--mask", option, "受付/鍵_山田太郎.txt/x", OLD)
    check(status == 2 and option in err and "山田" not in err, f"{option}: {status} {err}")

# The diff's warnings: old file, new file, exit status, what the output says.
other = [(c, r.replace("TARO-PC", "HANAKO-PC").replace("4C4C4544", "5D5D5655"), p)
         for c, r, p in PLANTED]
data_file(os.path.join(work, "PC_INFO_261202000000.dat"), collection(other))
shutil.copy(OLD, os.path.join(work, "PC_INFO_261201090001.dat"))
for old, new, expected, says in [
        (OLD, os.path.join(work, "PC_INFO_261201090001.dat"), 0, "違いはありません"),
        (OLD, os.path.join(work, "PC_INFO_261202000000.dat"), 1, "別の PC"),
        (NEW, OLD, 1, "旧ファイルの方が新しい"),
        (OLD, NEW, 1, "192.168.10.57")]:
    for fmt in ([], ["--html"], ["--json"]):
        status, out, err = run("--diff", *fmt, old, new)
        shown = says if fmt != ["--json"] or says.startswith("1") else says
        check(status == expected and (fmt == ["--json"] or shown in out),
              f"diff {fmt} {old} {new}: {status}\n{out}{err}")
        if fmt == ["--json"] and expected == 0:
            check(json.loads(out)["same"], f"diff --json same: {out}")

# The summary counts adapters (instances of Win32_NetworkAdapter), not their properties, and
# lists them a row each: the configuration paired with its adapter by the description.
two = [(NIC, "Caption\t[00000011] I350 #2", ""), (NIC, "MACAddress\t00:11:22:33:44:56", ""),
       (NIC, "Caption\t[00000001] I350", ""), (NIC, "MACAddress\t00:11:22:33:44:55", "")] + [
    (ADAPTER, r, "") for r in ("Description\tI350", "Name\tEthernet", "PNPDeviceID\tPCI\\A",
                               "Description\tI350 #2", "Name\tEthernet 2", "PNPDeviceID\tPCI\\B")]
data_file(os.path.join(work, "PC_INFO_261203000000.dat"), collection(two))
summary = json.loads(run("--summary", "--json", "PC_INFO_261203000000.dat")[1])
check(summary["adapters"] == 2 and [(a["index"], a["name"], a["mac"], a["deviceId"])
                                    for a in summary["adapterList"]] ==
      [("11", "Ethernet 2", "00:11:22:33:44:56", "PCI\\B"),
       ("1", "Ethernet", "00:11:22:33:44:55", "PCI\\A")], f"summary adapters: {summary}")

# The workbook: text cells only (leading zeros kept), a frozen header, filters, Japanese.
import openpyxl
status, out, err = run("--xlsx", "plain.xlsx", OLD)
book = openpyxl.load_workbook(os.path.join(work, "plain.xlsx"))
records = book.worksheets[2]
values = [c.value for row in records.iter_rows(min_row=2) for c in row]
check(status == 0 and "0411" in values and "ACME商事 情報システム部 担当 山田太郎" in values,
      f"xlsx: {status} {err} {values[:12]}")
check(all(c.data_type == "s" for row in records.iter_rows() for c in row if c.value is not None),
      "xlsx: a cell that is no text")
check(records.freeze_panes == "A2" and records.auto_filter.ref, "xlsx: header not frozen/filtered")
check(run("--xlsx", "plain.xlsx", OLD)[0] == 2, "xlsx: written over an existing file")

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
