#!/usr/bin/python3
"""orlet-burn's command line as scripts and users from other burning tools
write it: --opt=value, options after the paths, "--" before a path that
begins with a dash, COMMAND --help, and the usage errors.

    ORLET_BURN=build/bin/orlet-burn command_line_test.py
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from orlet_burn_test import Case, make_tree, write  # pylint: disable=wrong-import-position

USAGE = 2


class CommandLineTest(Case):
    # arguments (DISC: the virtual drive; SRC: a file named "-dash.txt",
    # PLAIN: one named "plain.txt")                           status  output has
    ROWS = [
        (["--virtual=DISC", "burn", "--label=EQUALS", "--", "SRC"], 0, "done: the disc was written"),
        (["burn", "PLAIN", "--virtual", "DISC", "--label", "AFTER"], 0, "done: the disc was written"),
        (["--virtual", "DISC", "burn", "SRC"], USAGE, "unknown option -d"),
        (["--virtual", "DISC", "burn", "--dry-run", "PLAIN"], 0, "dry run: nothing was written"),
        (["--virtual", "DISC", "burn", "--speed=4x", "PLAIN"], 0, "the drive wrote at 5540 KB/s"),
        (["-v", "--virtual", "DISC", "burn", "PLAIN"], 0,
         "WRITE(10)                    [2A 00 00 00 00 00 00 00 "),  # the first block
        (["--virtual", "DISC", "burn", "--speed", "2x2", "PLAIN"], USAGE, "--speed takes KB/s"),
        (["burn", "--help"], 0, "--skip-unreadable  burn what can be read"),
        (["erase", "--help"], 0, "usage: orlet-burn [--virtual MEDIUM=PATH]... erase"),
        (["--help"], 0, "Exit status: 0 done, 1 failed or refused, 2 usage, 3 verify found differences,"),
        (["burn", "--label"], USAGE, "--label needs a value"),
        (["burn", "--bogus", "SRC"], USAGE, "unknown option --bogus"),
        (["burn", "--speed=fast", "SRC"], USAGE, "--speed takes KB/s"),
        (["--drive=-1", "drives"], USAGE, "--drive takes a drive number"),
        (["eject"], USAGE, "unknown command eject"),
    ]

    def test_each_command_line_is_read_as_written(self):
        write(self.path("-dash.txt"), "a file whose name begins with a dash\n")
        write(self.path("plain.txt"), "a file given after the command\n")
        for number, (args, status, expected) in enumerate(self.ROWS):
            with self.subTest(args=" ".join(args)):
                image = self.path("%d.iso" % number)
                disc = "dvd+r=" + image
                line = [a.replace("DISC", disc).replace("SRC", "-dash.txt")
                        .replace("PLAIN", "plain.txt") for a in args]
                out = self.run_in(self.scratch, line, status)
                self.assertIn(expected, out)
                label = next((a.split("=", 1)[1] for a in args if a.startswith("--label=")),
                             args[args.index("--label") + 1] if "--label" in args[:-1] else None)
                if "--dry-run" in args:
                    self.assertIn("1 new entry, 2.0 KB of new data", out)
                    self.assertFalse(os.path.exists(image), "a dry run wrote the disc")
                if status == 0 and "burn" in args and label:
                    self.assertIn("label             " + label,
                                  self.orlet_burn(disc, "info", "0"))
                    name = "-dash.txt" if "SRC" in args else "plain.txt"
                    self.assertReads(image, 0, self.path(name))

    def test_image_writes_what_a_burn_writes_into_a_new_file(self):
        output = self.path("out.iso")
        for number in (1, 2):  # the second replaces the first
            tree = make_tree(self.path("tree%d" % number), number)
            out = self.orlet_burn(None, "image", "--output=" + output, "--label=IMAGE", tree)
            self.assertIn("done: the image was written", out)
            self.assertReads(output, 0, tree)
        self.assertFalse(os.path.exists(output + ".state"))
        out = self.orlet_burn(None, "image", "--output", output, self.path("missing"), status=1)
        self.assertIn("no such file or folder", out)
        self.assertTrue(os.path.exists(output), "a refused image removed the earlier one")
        self.orlet_burn(None, "image", self.path("tree1"), status=USAGE)

    def test_a_folder_path_ending_in_a_slash_puts_its_contents_at_the_root(self):
        tree = make_tree(self.path("tree"))
        image = self.path("slash.iso")
        disc = "dvd+r=" + image
        self.assertIn("done: the disc was written", self.orlet_burn(disc, "burn", tree + "/"))
        self.assertReads(image, 0, "/=" + tree)
        self.assertIn("verified: every file matches", self.orlet_burn(disc, "verify", tree + "/"))

    def test_verify_escapes_control_characters_in_the_names_it_shows(self):
        folder = self.path("ctl")
        write(os.path.join(folder, "bad\x1b[31mname"), "x")
        disc = "dvd+r=" + self.path("ctl.iso")
        self.orlet_burn(disc, "burn", folder)
        write(os.path.join(folder, "bad\x1b[31mname"), "changed")
        out = self.orlet_burn(disc, "verify", folder, status=3)
        self.assertIn("ctl/bad\\x1B[31mname", out)
        self.assertNotIn("\x1b", out)

    def run_in(self, folder, args, status):
        cwd = os.getcwd()
        os.chdir(folder)
        try:
            return self.orlet_burn(None, *args, status=status)
        finally:
            os.chdir(cwd)


if __name__ == "__main__":
    unittest.main()
