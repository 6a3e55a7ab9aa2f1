#!/usr/bin/env python3
# A plain decoder of a data file, for comparison: Base64, AES-128-CBC, code page 932.
import base64, sys
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes

key = bytes(ord(c) - 2 for c in "Qv7#kPz%2mXc&9Lt")
iv = bytes(ord(c) - 2 for c in "r4$Hw8*Ne3+Ty6@B")
out = sys.stdout.buffer
for line in open(sys.argv[1], "rb").read().split(b"\r\n"):
    if line:
        aes, unpad = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor(), padding.PKCS7(128).unpadder()
        data = unpad.update(aes.update(base64.b64decode(line)) + aes.finalize()) + unpad.finalize()
        out.write(data.decode("cp932").encode() + b"\n")
