#!/usr/bin/env python3
"""Fails when a file under src/<layer>/ includes a header of a layer it may
not use. The layers, each using only those before it:

    platform < base < skin < display < widgets
                                     < jpeg < library
    widgets, library < screens < app

The widgets and the library never include each other, and the JPEG decoder
uses nothing but the standard library.

    check_includes.py [SOURCE_ROOT]
"""

import re
import sys
from pathlib import Path

LOWER = ["platform", "base", "skin", "display"]
ALLOWED = {
    "platform": {"platform"},
    "base": {"platform", "base"},
    "skin": {"platform", "base", "skin"},
    "display": set(LOWER),
    "widgets": set(LOWER) | {"widgets"},
    "jpeg": {"jpeg"},
    "library": set(LOWER) | {"jpeg", "library"},
    "screens": set(LOWER) | {"widgets", "jpeg", "library", "screens"},
    "app": set(LOWER) | {"widgets", "jpeg", "library", "screens", "app"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"/]+)/')


def violations(src):
    found = []
    for folder in sorted(p for p in src.iterdir() if p.is_dir()):
        layer = folder.name
        if layer not in ALLOWED:
            found.append(f"{folder}: a folder that is not a known layer")
            continue
        for path in sorted(folder.rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                match = INCLUDE.match(line)
                if match and match.group(1) in ALLOWED and match.group(1) not in ALLOWED[layer]:
                    found.append(f"{path.relative_to(src.parent)}:{number}: the {layer} layer "
                                 f"includes {match.group(1)}/ ({line.strip()})")
    return found


def main():
    root = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parents[2]
    found = violations(root / "src")
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layer order")
        return 1
    print("every include follows the layer order")
    return 0


if __name__ == "__main__":
    sys.exit(main())
