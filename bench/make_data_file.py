#!/usr/bin/env python3
# Writes a data file of N records as the program writes them (a collection run's records over
# and over): make_data_file.py N FILE
import base64, sys
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

key = bytes(ord(c) - 2 for c in "Qv7#kPz%2mXc&9Lt")
iv = bytes(ord(c) - 2 for c in "r4$Hw8*Ne3+Ty6@B")
records = [
    "----------Win32_NetworkAdapterConfiguration----------",
    "Caption\t[00000001] Intel(R) Ethernet Connection I219-V",
    "IPAddress\t192.168.1.23",
    "IPAddress\tfe80::1c2d:3e4f:5a6b:7c8d",
    "MACAddress\t00:11:22:33:44:55",
    "----------Win32_Processor----------",
    "Name\tIntel(R) Core(TM) i7-7700 CPU @ 3.60GHz",
    "Description\tIntel64 Family 6 Model 158 Stepping 9",
    "ProcessorId\tBFEBFBFF000906E9",
    "----------Win32_OperatingSystem----------",
    "Caption\tMicrosoft Windows 10 Pro テスト ～",
    "Version\t10.0.19045",
    "CSName\tDESKTOP-ABC1234",
    "SerialNumber\t00330-80000-00000-AA123",
    "TotalVisibleMemorySize\t16658108",
    "Vendor\tLENOVO",
]
lines = []
for r in records:
    pad = padding.PKCS7(128).padder()
    aes = Cipher(algorithms.AES(key), modes.CBC(iv)).encryptor()
    data = pad.update(r.encode("cp932")) + pad.finalize()
    lines.append(base64.b64encode(aes.update(data) + aes.finalize()) + b"\r\n")
n = int(sys.argv[1])
with open(sys.argv[2], "wb") as f:
    for i in range(n):
        f.write(lines[i % len(lines)])
