#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The layer check on small trees made for each case, and on this tree."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
SCRIPT = os.path.join(ROOT, "scripts", "check_layers.py")
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import check_layers  # noqa: E402


def make_tree(files):
    """A temporary tree with files {relative path: text}."""
    folder = tempfile.TemporaryDirectory()
    for relative, text in files.items():
        path = os.path.join(folder.name, relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
    return folder


def run(root):
    result = subprocess.run([sys.executable, SCRIPT, root], capture_output=True, text=True)
    return result.returncode, result.stdout + result.stderr


CLEAN = {
    "core_types/real.hpp": "#pragma once\n",
    "text_io/numbers.hpp": '#pragma once\n#include "core_types/real.hpp"\n',
    "text_io/numbers.cpp": '#include "text_io/numbers.hpp"\n#include <string>\n',
    "window/main.cpp": '#include "text_io/numbers.hpp"\n#include "core_types/real.hpp"\n',
    "tests/helper.hpp": '#include "window/main.hpp"\n',
    "tests/a_test.cpp": '#include "helper.hpp"\n#include "tests/helper.hpp"\n#include "text_io/numbers.hpp"\n',
}


class WholeTree(unittest.TestCase):
    def expect_refused(self, files, *texts):
        """The check of a tree of CLEAN and files fails and prints texts."""
        with make_tree({**CLEAN, **files}) as root:
            code, output = run(root)
            self.assertEqual(code, 1, output)
            for text in texts:
                self.assertIn(text, output)

    def test_clean_tree_passes(self):
        with make_tree(CLEAN) as root:
            code, output = run(root)
            self.assertEqual(code, 0, output)

    def test_upward_include_names_file_and_line(self):
        self.expect_refused({"core_types/real.hpp": '#pragma once\n// a note\n#include "text_io/numbers.hpp"\n'},
                            os.path.join("core_types", "real.hpp") + ":3", "upwards")

    def test_sideways_include_not_listed_fails(self):
        # splines and text_io both stand on core_types only.
        self.expect_refused({"splines/arc.cpp": '#include "text_io/numbers.hpp"\n'},
                            os.path.join("splines", "arc.cpp") + ":1", "not listed")

    def test_unlisted_folder_fails_either_way(self):
        for files, where in [
            ({"gadgets/g.cpp": '#include "core_types/real.hpp"\n'}, os.path.join("gadgets", "g.cpp")),
            ({"gadgets/g.hpp": "#pragma once\n", "window/x.cpp": '\n#include "gadgets/g.hpp"\n'},
             os.path.join("window", "x.cpp") + ":2"),
        ]:
            with self.subTest(where=where):
                self.expect_refused(files, where, "no line in the layer table")

    def test_build_and_hidden_folders_and_system_includes_ignored(self):
        files = dict(CLEAN)
        files["build/release/core_types/x.cpp"] = '#include "window/main.hpp"\n'
        files[".cache/core_types/x.cpp"] = '#include "window/main.hpp"\n'
        files["core_types/y.cpp"] = "#include <window/main.hpp>\n"
        with make_tree(files) as root:
            code, output = run(root)
            self.assertEqual(code, 0, output)

    def test_links_must_match_includes(self):
        core = 'dz_core_library(text_io PUBLIC core_types SOURCES numbers.cpp)\n'
        for cmake, text in [
            # a link that no include needs any more
            ('dz_core_library(text_io PUBLIC core_types\n  PRIVATE splines # no longer\n  SOURCES numbers.cpp)\n',
             "links splines, but no source of text_io/ includes it"),
            # an include without its link
            ('dz_core_library(text_io SOURCES numbers.cpp)\n', "includes core_types/ but does not link it"),
        ]:
            with self.subTest(text=text):
                self.expect_refused({"text_io/CMakeLists.txt": cmake, "splines/CMakeLists.txt": ""},
                                    os.path.join("text_io", "CMakeLists.txt"), text)
        with make_tree({**CLEAN, "text_io/CMakeLists.txt": core}) as root:
            code, output = run(root)
            self.assertEqual(code, 0, output)

    def test_front_end_links_only_what_it_may_include(self):
        files = {"text_io/CMakeLists.txt": 'dz_core_library(text_io PUBLIC core_types SOURCES numbers.cpp)\n',
                 "window/CMakeLists.txt": "add_library(doroziri_commands STATIC c.cpp)\n"
                                          "target_link_libraries(doroziri_commands PUBLIC doroziri_cli_logic)\n",
                 "cli/CMakeLists.txt": "add_library(doroziri_cli_logic STATIC cli.cpp)\n"}
        self.expect_refused(files, os.path.join("window", "CMakeLists.txt"), "links doroziri_cli_logic of cli/")

    def test_this_tree_passes(self):
        code, output = run(ROOT)
        self.assertEqual(code, 0, output)


class Table(unittest.TestCase):
    def test_listing_a_folder_above_is_refused(self):
        with self.assertRaises(ValueError):
            check_layers.allowed_includes([("a", []), ("b", ["c"]), ("c", ["a"])])

    def test_star_means_everything_below(self):
        allowed = check_layers.allowed_includes([("a", []), ("b", ["a"]), ("c", ["*"])])
        self.assertEqual(allowed["c"], {"a", "b"})
        self.assertEqual(allowed["a"], set())

    def test_registered_folders_in_their_places(self):
        names = [name for name, _ in check_layers.LAYERS]
        self.assertEqual(names[0], "core_types")
        self.assertEqual(names[1], "file_io")
        self.assertLess(names.index("lap_load"), names.index("removal"))
        self.assertLess(names.index("removal"), names.index("lap_fit"))
        self.assertLess(names.index("drawing"), names.index("lap_template"))
        self.assertLess(names.index("lap_load"), names.index("lap_template"))
        self.assertLess(names.index("drawing"), names.index("lap_load"))
        self.assertLess(names.index("rounded_trig"), names.index("splines"))
        self.assertLess(names.index("rounded_trig"), names.index("drawing"))
        self.assertLess(names.index("lap_design"), names.index("lap_document"))
        self.assertLess(names.index("lap_document"), names.index("cli"))
        self.assertLess(names.index("lap_document"), names.index("window"))
        self.assertNotIn("*", [name for _, may in check_layers.LAYERS for name in may])
        check_layers.allowed_includes(check_layers.LAYERS)  # consistent

    def test_cycles_found(self):
        self.assertIsNone(check_layers.find_cycle({"a": {"b"}, "b": {"c"}, "c": set()}))
        ring = check_layers.find_cycle({"a": {"b"}, "b": {"c"}, "c": {"a"}})
        self.assertEqual(ring[0], ring[-1])
        self.assertEqual(set(ring), {"a", "b", "c"})
        self.assertEqual(check_layers.find_cycle({"a": {"a"}}), ["a", "a"])


if __name__ == "__main__":
    unittest.main()
