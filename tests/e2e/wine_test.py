#!/usr/bin/python3
"""orlet-burn.exe under wine on virtual drives named with Windows paths: the
drives are listed, a burn and an appended session of names with accents, CJK
and characters beyond the BMP verify, the readers on this side (xorriso,
isoinfo, 7z, pycdlib) find every file byte for byte, and a rewritable disc is
erased. ORLET_BURN names orlet-burn.exe; WINEPREFIX the wine prefix.
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import disc_check  # pylint: disable=wrong-import-position
from safety_support import make_sources, write  # pylint: disable=wrong-import-position

PROGRAM = os.environ.get("ORLET_BURN", "")
PATIENCE = 300  # seconds: wine's first start in a new prefix is slow


def windows(path):
    """The path as a Windows program names it: wine shows / as Z:."""
    return "Z:" + path.replace("/", "\\")


class WineTest(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        self.scratch = tempfile.mkdtemp(prefix="wine-", dir=os.environ.get("ORLET_E2E_SCRATCH"))
        self.addCleanup(subprocess.run, ["rm", "-rf", self.scratch], check=False)

    def run_exe(self, drives, *args, status=0):
        env = dict(os.environ, STARBURN_VIRTUAL_DRIVES=drives, STARBURN_REAL_DRIVES="0",
                   WINEDEBUG="-all")
        done = subprocess.run(["wine", PROGRAM] + list(args), env=env, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, timeout=PATIENCE, check=False)
        out = done.stdout.decode("utf-8", "replace")
        self.assertEqual(done.returncode, status, out)
        return out

    def test_burn_append_verify_erase(self):
        dvd, cd = os.path.join(self.scratch, "a.iso"), os.path.join(self.scratch, "b.iso")
        drives = "dvd+r=%s;cd-rw=%s" % (windows(dvd), windows(cd))
        listed = self.run_exe(drives, "drives")
        self.assertRegex(listed, r"0\s+D:\s+StarBurn Virtual Recorder\s+DVD\+R\s+Blank")
        self.assertRegex(listed, r"1\s+E:\s+StarBurn Virtual Recorder\s+CD-RW\s+Blank")

        first = make_sources(os.path.join(self.scratch, "first"))
        second = os.path.join(self.scratch, "second")
        for name in ("café crème.txt", "日本語/富士山.txt", "emoji 😀 beyond the BMP.txt"):
            write(os.path.join(second, name), "second session: %s\n" % name)
        self.assertIn("done: the disc was written", self.run_exe(drives, "burn", windows(first)))
        self.assertIn("keeping its files", self.run_exe(drives, "burn", windows(second)))
        self.assertIn("verified: every file matches",
                      self.run_exe(drives, "verify", windows(first), windows(second)))
        start = int(re.findall(r"^track (\d+)", open(dvd + ".state").read(), re.M)[-1])
        self.assertEqual(disc_check.check(dvd, start, [first, second]), [])

        self.run_exe(drives, "burn", "--drive", "1", windows(first))
        self.assertIn("done: the disc is blank", self.run_exe(drives, "erase", "--drive", "1"))
        self.assertRegex(self.run_exe(drives, "drives"), r"1\s+E:.*CD-RW\s+Blank")


if __name__ == "__main__":
    unittest.main(verbosity=2)
