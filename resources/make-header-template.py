#!/usr/bin/env python3
"""Writes KX00.dll, the 64-byte header template that built containers start with
(a data file, not a library): an ASCII tag, then a non-zero, non-repeating byte run.

    resources/make-header-template.py [FOLDER]

writes into FOLDER (by default the folder of this script). Standard library only.
"""

import sys
from pathlib import Path

TAG = b"SODREL-HEADER-TEMPLATE"


def header_template():
    data = TAG + bytes((i * 29 + 0x41) & 0xFF for i in range(64 - len(TAG)))
    assert len(data) == 64 and 0 not in data
    return data


if __name__ == "__main__":
    folder = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    (folder / "KX00.dll").write_bytes(header_template())
