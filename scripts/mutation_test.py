#!/usr/bin/env python3
"""Checks of scripts/mutation: what it mutates, that it always restores the
file, and how it samples and compares runs."""

import contextlib
import importlib.util
import io
import json
import sys
import tempfile
import unittest
from importlib.machinery import SourceFileLoader
from pathlib import Path

sys.dont_write_bytecode = True
_loader = SourceFileLoader("mutation", str(Path(__file__).with_name("mutation")))
mutation = importlib.util.module_from_spec(importlib.util.spec_from_loader("mutation", _loader))
_loader.exec_module(mutation)

SOURCE = r"""#include <vector>
#define LIMIT(a) ((a) > 3 ? 3 : (a))
#if 0
bool dead(int a) { return a < 1; }
#endif
namespace lv {
static_assert(sizeof(int) == 4);
constexpr int kTable[] = {10, 20, 30, 40, 50, 60};
struct Box {
  int width = 4;
  Box();
  bool operator<(const Box& o) const { return width < o.width; }
};
template <typename T>
bool pick(T&& a, std::vector<std::vector<int>> rows) {
  const char* s = "a < b && c"; // x == y
  int total = 0;
  if (rows.size() == 0 && s[0] != '<')
    total += static_cast<int>(a);
  std::sort(rows.begin(), rows.end());
  return true;
}
}  // namespace lv
"""


def points(source=SOURCE):
    return {(p.line, p.op, p.mutant) for p in mutation.points_of(None, "x.cpp", source)}


class Points(unittest.TestCase):
    def test_mutates_code_and_nothing_else(self):
        got = points()
        lines = {line for line, _, _ in got}
        # Preprocessor, #if 0, static_assert, the table, the operator's name,
        # templates, the string and the comment are left alone.
        self.assertTrue(lines <= {10, 12, 17, 18, 19, 20, 21}, sorted(got))
        self.assertIn((12, "flip", "bool operator<(const Box& o) const { return width >= o.width; }"), got)
        self.assertIn((12, "boundary", "bool operator<(const Box& o) const { return width <= o.width; }"), got)
        self.assertIn((18, "logic", "if (rows.size() == 0 || s[0] != '<')"), got)
        self.assertIn((18, "flip", "if (rows.size() != 0 && s[0] != '<')"), got)
        self.assertIn((18, "constant", "if (rows.size() == 1 && s[0] != '<')"), got)
        self.assertTrue({(10, "constant", "int width = 3;"), (10, "constant", "int width = 5;")} & got)
        self.assertIn((21, "return", "return false;"), got)
        # Calls and assignments go, declarations stay; the braceless if keeps
        # an empty statement as its body.
        self.assertIn((19, "statement", ";"), got)
        self.assertIn((20, "statement", ";"), got)
        self.assertNotIn(17, {line for line, op, _ in got if op == "statement"})
        self.assertNotIn(15, lines)  # T&& is a reference, not a logical and

    def test_return_values(self):
        got = points("int f(int x) {\n  return x + 1;\n}\nint* g() {\n  return nullptr;\n}\n")
        self.assertIn((2, "return", "return {};"), got)
        self.assertNotIn(5, {line for line, _, _ in got})

    def test_literals_keep_their_form(self):
        self.assertEqual(mutation.off_by_one("0xFF", 0), "0xFE")
        self.assertEqual(mutation.off_by_one("0xFF", 1), "0x100")
        self.assertEqual(mutation.off_by_one("0x1f", 2), "0x1e")
        self.assertEqual(mutation.off_by_one("0u", 2), "1u")
        self.assertEqual(mutation.off_by_one("1'000", 1), "1001")
        self.assertIsNone(mutation.off_by_one("1.5f", 1))


class Restore(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.root = Path(self.tmp.name)
        self.old_root, mutation.ROOT = mutation.ROOT, self.root
        self.addCleanup(setattr, mutation, "ROOT", self.old_root)
        self.file = self.root / "a.cpp"
        self.file.write_text("int f() {\n  return 1 < 2;\n}\n")
        self.point = next(p for p in mutation.points_of(None, "a.cpp", self.file.read_text()) if p.op == "flip")
        self.guard = mutation.Guard(self.root / "build")

    def test_an_error_inside_restores_the_file(self):
        with self.assertRaises(RuntimeError):
            with self.guard.mutated(self.point):
                self.assertIn("1 >= 2", self.file.read_text())
                raise RuntimeError
        self.assertEqual(self.file.read_text(), "int f() {\n  return 1 < 2;\n}\n")
        self.assertFalse(self.guard.journal.exists())

    def test_the_next_run_restores_a_file_left_by_a_killed_one(self):
        original = self.file.read_text()
        with self.guard.mutated(self.point):
            saved_journal = self.guard.journal.read_text()
            mutant = self.file.read_text()
        # As if the process had died inside: mutant and journal left behind.
        self.file.write_text(mutant)
        self.guard.journal.write_text(saved_journal)
        with contextlib.redirect_stderr(io.StringIO()):
            self.guard.recover()
        self.assertEqual(self.file.read_text(), original)
        self.assertFalse(self.guard.journal.exists())


class SampleAndCompare(unittest.TestCase):
    def test_sample_is_fixed_by_the_seed_and_shared_evenly(self):
        def fake(layer, n):
            return [mutation.Point(f"{layer}.cpp", i, 1, "flip", i, i + 1, "x", layer=layer) for i in range(n)]

        by_layer = {"a": fake("a", 100), "b": fake("b", 10)}
        first = mutation.sample(by_layer, 20, 7, "even")
        self.assertEqual(first, mutation.sample(by_layer, 20, 7, "even"))
        self.assertEqual(sum(p.layer == "a" for p in first), 10)
        # One point from each tenth of layer a's code.
        self.assertEqual(sorted(p.line // 10 for p in first if p.layer == "a"), list(range(10)))
        by_points = mutation.sample(by_layer, 22, 7, "points")
        self.assertEqual(sum(p.layer == "a" for p in by_points), 20)

    def test_compare_names_the_mutants_the_new_suite_lets_through(self):
        def run(status):
            return {"seed": 1, "results": [
                {"file": "a.cpp", "line": 3, "op": "flip", "layer": "a", "original": "x < y",
                 "mutant": "x >= y", "status": status, "detail": "T.Case"},
                {"file": "a.cpp", "line": 4, "op": "flip", "layer": "a", "original": "p == q",
                 "mutant": "p != q", "status": "killed", "detail": "T.Other"}]}

        with tempfile.TemporaryDirectory() as tmp:
            old, new = Path(tmp, "old.json"), Path(tmp, "new.json")
            old.write_text(json.dumps(run("killed")))
            new.write_text(json.dumps(run("survived")))
            out = io.StringIO()
            with contextlib.redirect_stdout(out):
                rc = mutation.compare(old, new)
        self.assertEqual(rc, 1)
        self.assertIn("a.cpp:3: x < y -> x >= y", out.getvalue())
        self.assertNotIn("a.cpp:4", out.getvalue())

    def test_replay_finds_the_old_mutants_after_their_lines_moved(self):
        moved = "// a new first line\n" + SOURCE
        old = [{"file": "x.cpp", "line": 18, "original": "if (rows.size() == 0 && s[0] != '<')",
                "mutant": "if (rows.size() == 0 || s[0] != '<')", "status": "killed", "layer": "a"},
               {"file": "x.cpp", "line": 10, "original": "int width = 4;", "mutant": "int width = 5;",
                "status": "survived", "layer": "a"},
               {"file": "x.cpp", "line": 30, "original": "gone();", "mutant": ";", "status": "killed",
                "layer": "a"},
               {"file": "y.cpp", "line": 1, "original": "f();", "mutant": ";", "status": "killed",
                "layer": "b"}]
        with tempfile.TemporaryDirectory() as tmp:
            path = Path(tmp, "old.json")
            path.write_text(json.dumps({"results": old}))
            by_layer = {"a": mutation.points_of(None, "x.cpp", moved)}
            picked, lost = mutation.replayed(by_layer, path, killed_only=True)
        self.assertEqual([(p.line, p.op) for p in picked], [(19, "logic")])
        self.assertEqual([r["original"] for r in lost], ["gone();"])


if __name__ == "__main__":
    unittest.main()
