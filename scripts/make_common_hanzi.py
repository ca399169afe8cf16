#!/usr/bin/env python3
"""Writes src/res/common_hanzi.txt: the 6763 hanzi of GB 2312 levels 1 and 2.

The characters come out in GB 2312 code order (row 16 cell 1 first, row 87
cell 94 last), as UTF-8 with no line breaks and no byte-order mark, so the
program can read the file and use it as is. Positions the charset leaves
empty (the tail of row 55) are skipped.
"""
import os
import sys

FIRST_ROW, LAST_ROW = 16, 87
EXPECTED = 6763


def common_hanzi():
    chars = []
    for row in range(FIRST_ROW, LAST_ROW + 1):
        for cell in range(1, 95):
            code = bytes([0xA0 + row, 0xA0 + cell])
            try:
                chars.append(code.decode("gb2312"))
            except UnicodeDecodeError:
                pass
    return "".join(chars)


def main():
    text = common_hanzi()
    if len(text) != EXPECTED or len(set(text)) != EXPECTED:
        sys.exit("unexpected table: %d characters" % len(text))
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = os.path.join(root, "src", "res", "common_hanzi.txt")
    with open(out, "wb") as f:
        f.write(text.encode("utf-8"))
    print("wrote %s (%d characters)" % (out, len(text)))


if __name__ == "__main__":
    main()
