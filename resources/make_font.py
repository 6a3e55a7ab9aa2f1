#!/usr/bin/env python3
"""Makes the window's Japanese font: the characters the program shows, cut from a free font.

make_font.py FONT OUT_TTF OUT_CPP SOURCE...

Keeps printable ASCII, the Japanese punctuation, kana and full-width forms, and every other
character written in the given source files. The result is renamed (the font's licence asks that
a derived font does not carry the original's name) and written as a .ttf and as a C++ array.
"""
import sys

from fontTools import subset
from fontTools.ttLib import TTFont

FAMILY = "QRX UI Gothic"
POSTSCRIPT = "QRXUIGothic"


def characters(sources):
    chars = set(range(0x20, 0x7F)) | set(range(0x3000, 0x3100)) | set(range(0xFF01, 0xFF5F))
    for path in sources:
        with open(path, encoding="utf-8") as f:
            chars |= {ord(c) for c in f.read() if ord(c) >= 0x80}
    return chars


def main():
    font_path, out_ttf, out_cpp, sources = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    font = TTFont(font_path)
    options = subset.Options()
    options.name_IDs = [0, 1, 2, 3, 4, 5, 6]
    options.layout_features = ["*"]
    subsetter = subset.Subsetter(options)
    subsetter.populate(unicodes=characters(sources))
    subsetter.subset(font)
    names = {1: FAMILY, 3: POSTSCRIPT + "-Regular", 4: FAMILY, 6: POSTSCRIPT}
    for record in font["name"].names:
        if record.nameID in names:
            record.string = names[record.nameID]
    font.save(out_ttf)

    with open(out_ttf, "rb") as f:
        data = f.read()
    with open(out_cpp, "w", encoding="ascii") as f:
        f.write("// Made by resources/make_font.py; do not edit.\n")
        f.write("extern const unsigned char kQrxUiFont[];\n")
        f.write("extern const unsigned kQrxUiFontSize;\n")
        f.write("const unsigned kQrxUiFontSize = %d;\n" % len(data))
        f.write("const unsigned char kQrxUiFont[] = {\n")
        for i in range(0, len(data), 20):
            f.write(",".join(str(b) for b in data[i:i + 20]) + ",\n")
        f.write("};\n")


if __name__ == "__main__":
    main()
