#!/usr/bin/env python3
"""The layer check itself: it names an upward include and a widgets-library
one, and passes a tree that keeps the order."""

import tempfile
import unittest
from pathlib import Path

import check_includes


def tree(files):
    root = Path(tempfile.mkdtemp())
    for name, text in files.items():
        path = root / "src" / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_text(text)
    return root / "src"


class CheckIncludes(unittest.TestCase):
    def test_an_upward_include_and_a_sideways_one_are_named(self):
        src = tree({
            "base/log.cpp": '#include "base/log.h"\n#include "skin/font.h"\n',
            "widgets/list.cpp": '#include <vector>\n  # include "library/folder.h"\n',
            "app/script/player.cpp": '#include "screens/album.h"\n',
        })
        found = check_includes.violations(src)
        self.assertEqual(len(found), 2, found)
        self.assertIn("base/log.cpp:2", found[0])
        self.assertIn("widgets/list.cpp:2", found[1])

    def test_the_decoder_uses_nothing_of_the_project(self):
        src = tree({"jpeg/idct.cpp": '#include "base/log.h"\n'})
        self.assertEqual(len(check_includes.violations(src)), 1)


if __name__ == "__main__":
    unittest.main()
