#!/usr/bin/python3
"""Recording sequences per medium and per drive habit, end to end: orlet-burn
burns, appends and erases on a virtual recorder that behaves like a real drive
with a given habit (STARBURN_VIRTUAL_QUIRKS), and the independent readers
(disc_check.py) read every session back. The order of the commands is pinned
once, by the SDK's SG_IO sequence test; here what counts is that each
sequence gets a readable disc out of a drive that demands it.

    ORLET_BURN=build/bin/orlet-burn recording_sequences_test.py
"""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from orlet_burn_test import Case, make_tree, write  # pylint: disable=wrong-import-position

# After the first session: the disc takes a second one, or one disc-at-once
# session closed it.
MORE = "takes more"
CLOSED = "closed"


class RecordingSequenceTest(Case):
    ROWS = [
        # medium      drive habits                        after the first session
        ("cd-r", "", MORE),  # a track under 300 blocks is padded
        ("cd-rw", "flush-closes-cd-track", MORE),  # CLOSE TRACK refused
        ("cd-r", "reset-at=40,slow-operations=3", MORE),
        ("dvd-r", "busy-one-in=2", MORE),  # the buffer full, again and again
        ("dvd-r", "reset-at=40", MORE),
        ("dvd-rw", "", MORE),
        ("dvd-rw", "quick-blanked", CLOSED),  # incremental no longer offered
        ("dvd-r-dl", "", CLOSED),  # disc at once only
        ("dvd+r", "reset-at=40,page-speeds-in-cd-units", MORE),
        ("dvd+r-dl", "", MORE),
        ("bd-r", "busy-one-in=2", MORE),
        ("dvd+rw", "slow-operations=3", MORE),  # formatted in the background
        ("dvd+rw", "format-stopped", MORE),  # the format is restarted
        ("dvd-ram", "", MORE),
        ("dvd-rw-ro", "busy-one-in=3", MORE),  # whole 32 KiB groups
        ("bd-re", "slow-operations=3", MORE),  # unformatted: formatted first
    ]

    def test_each_sequence_gives_a_disc_every_reader_reads(self):
        for number, (medium, quirks, after) in enumerate(self.ROWS):
            with self.subTest(medium=medium, quirks=quirks):
                self.play(number, medium, quirks, after)

    def play(self, number, medium, quirks, after):
        image = self.path("%d-%s.iso" % (number, medium))
        drive = "%s=%s" % (medium, image)
        first = make_tree(self.path("%d-first" % number), 1)
        second = self.path("%d-second.txt" % number)
        write(second, "the second session of row %d\n" % number)
        os.environ["STARBURN_VIRTUAL_QUIRKS"] = quirks
        self.addCleanup(os.environ.pop, "STARBURN_VIRTUAL_QUIRKS", None)

        self.assertIn("done: the disc was written", self.orlet_burn(drive, "burn", first))
        self.assertReads(image, 0, first)
        if after == CLOSED:
            self.assertIn(", closed", self.orlet_burn(drive, "info", "0"))
            out = self.orlet_burn(drive, "burn", second, status=1)
            self.assertIn("the disc is full: it is closed", out)
            self.assertReads(image, 0, first)
        else:
            start = self.next_session(drive)
            self.assertIn("done: the disc was written",
                          self.orlet_burn(drive, "burn", "--force", second))
            self.assertReads(image, start, first, second)
        if "erasable          yes" not in self.orlet_burn(drive, "info", "0"):
            return
        # A drive that still has its habit erases too; the disc then takes a
        # session as a new one does (a fully blanked DVD-RW takes incremental
        # writing again, so that session leaves it appendable).
        self.assertIn("erased", self.orlet_burn(drive, "erase"))
        os.environ["STARBURN_VIRTUAL_QUIRKS"] = quirks.replace("quick-blanked", "")
        self.assertIn("blank", self.orlet_burn(drive, "info", "0"))
        self.assertIn("done: the disc was written", self.orlet_burn(drive, "burn", second))
        self.assertReads(image, 0, second)
        if after == CLOSED:
            self.assertIn(", appendable", self.orlet_burn(drive, "info", "0"))


if __name__ == "__main__":
    unittest.main()
