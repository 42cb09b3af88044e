#!/usr/bin/python3
"""Data safety through orlet-burn on virtual drives: jobs killed with SIGKILL
at chosen points, two writers on one disc, discs of other file systems, state
files that contradict their images; checked as scripts/crash-campaign does.
"""

import os
import pathlib
import re
import shutil
import signal
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import safety_support as safety  # pylint: disable=wrong-import-position
from safety_support import Case, Disc, make_sources  # pylint: disable=wrong-import-position

# A kill that must land inside a window of a few milliseconds may miss it on a
# shared machine; the row is then played again on a fresh disc.
TRIES = 5
LONG = 8 << 20  # a killed burn's long file: milliseconds of writing at the drive's speed
# A job is killed as it is about to print one of these lines: a burn's last
# before its first block (a burn of files, of an image), an erase's just
# before and after its work.
BEFORE_THE_WRITE = ("image ready; writing", "writing ")
ERASE_POINTS = {"before": "this takes about", "after": "erased"}


class InterruptionTest(Case):
    """SIGKILL to a burn (of files or of an image) or an erase: the disc is listed, a query leaves it as
    it is, the earlier sessions are as they were, and the next burn works,
    verifies and keeps everything that was complete."""

    ROWS = [
        # job     medium      killed
        ("first", "cd-r", "before"),
        ("first", "dvd+r", "during"),
        ("first", "bd-r", "after"),
        ("first", "dvd+rw", "before"),
        ("first", "dvd-ram", "during"),
        ("first", "bd-re", "after"),
        ("first", "dvd-rw", "during"),
        ("append", "dvd-r", "before"),
        ("append", "cd-rw", "during"),
        ("append", "dvd+r-dl", "after"),
        ("append", "bd-re", "before"),
        ("append", "dvd+rw", "during"),
        ("append", "dvd-ram", "after"),
        ("append", "dvd-rw-ro", "during"),
        ("erase", "cd-rw", "before"),
        ("erase", "dvd-rw", "during"),
        ("erase", "dvd+rw", "after"),
        ("erase", "bd-re", "during"),
        ("erase", "dvd-ram", "before"),
        ("image", "dvd+r", "during"),
        ("image", "cd-rw", "after"),
        ("image", "bd-re", "before"),
        ("image", "dvd-ram", "during"),
    ]

    def test_a_killed_job_loses_nothing_complete(self):
        for kind, medium, where in self.ROWS:
            with self.subTest(job=kind, medium=medium, killed=where):
                row = self.path("%s %s %s" % (kind, medium, where))
                disc, burned, before = self.kill(row, kind, medium, where)
                left = disc.saved()
                disc.run("drives")
                self.assertKept(disc, left, "a query")
                if where == "during" and kind != "erase" and not disc.overwritable:
                    # A track cut short on a written-once disc: lost, not used.
                    self.assertRegex(disc.run("info").output,
                                     r"lost +[0-9.]+ [KMG]?B, to an interrupted recording")
                after = make_sources(os.path.join(row, "next"), 9)
                self.assertEqual(safety.check_after_kill(disc, kind, burned, before, after), [])

    def kill(self, row, kind, medium, where):
        """Plays the job on fresh discs until its kill lands where the row
        says; answers the disc, the sources burned and the disc before."""
        for attempt in range(TRIES):
            folder = os.path.join(row, str(attempt))
            disc = Disc(medium, os.path.join(folder, medium + ".iso"))
            if kind in ("append", "erase"):
                disc.burn(make_sources(os.path.join(folder, "earlier"), 1))
            burned = None if kind == "erase" else make_sources(
                os.path.join(folder, "job"), 2, LONG if where != "before" else 0)
            args = safety.job_args(disc, kind, burned)
            before = safety.Snapshot(disc)
            end, _, printed = safety.rehearse(disc, args, os.path.join(folder, "rehearsal"))
            if kind == "erase" and where == "during":
                point = safety.Point("changed")  # in its work
            elif kind == "erase" or where == "before":
                point = safety.line_point(ERASE_POINTS[where] if kind == "erase" else
                                          BEFORE_THE_WRITE[kind == "image"], printed)
            else:
                point = safety.Point("block", (before.track_from + end) // 2
                                     if where == "during" else end)
            stopped = safety.stop_job(disc, args, point, signal.SIGKILL)
            stopped.finish()
            if stopped.signalled and (kind == "erase" or where == "after" or (
                    stopped.blocks == before.blocks if where == "before" else
                    stopped.blocks < end)):
                return disc, burned, before
        self.fail("no kill landed %s the job in %d tries" % (where, TRIES))
        return None


class ConcurrentWritersTest(Case):
    """A second orlet-burn while a burn runs on the same disc: never two
    writers at once; a refusal says the drive is in use; whatever reports
    success is on the disc, and the next burn keeps it all."""

    ROWS = [
        # medium   earlier  the burn held            the second command
        ("dvd+r", 1, "in its track", "burn"),
        ("dvd+rw", 1, "in its track", "burn"),
        ("bd-r", 0, "in its track", "burn"),
        ("cd-rw", 1, "in its track", "erase"),
        ("bd-re", 0, "in its track", "drives"),
        ("dvd-r", 1, "in its track", "drives"),
        ("dvd-r", 0, "preparing the recorder", "burn"),
        ("dvd-ram", 1, "preparing the recorder", "burn"),
        ("cd-r", 1, "not held", "burn"),
        ("dvd+rw", 0, "not held", "burn"),
    ]

    def test_two_writers_never_write_at_once(self):
        for medium, earlier, held, command in self.ROWS:
            with self.subTest(medium=medium, held=held, second=command):
                folder = self.path("%s %s %s" % (medium, held, command))
                disc = Disc(medium, os.path.join(folder, medium + ".iso"))
                for number in range(earlier):
                    disc.burn(make_sources(os.path.join(folder, "earlier"), number))
                first = make_sources(os.path.join(folder, "writer-a"), 3, LONG)
                second = make_sources(os.path.join(folder, "writer-b"), 4)
                before = safety.Snapshot(disc)
                point = None
                if held != "not held":
                    end, _, printed = safety.rehearse(disc, safety.job_args(disc, "burn", first),
                                                      os.path.join(folder, "rehearsal"))
                    point = (safety.Point("block", (before.track_from + end) // 2)
                             if held == "in its track" else safety.line_point(held, printed))
                saved = disc.image + "-saved"
                safety.copy_disc(disc.image, saved)
                for _ in range(TRIES):
                    safety.copy_disc(saved, disc.image)
                    was_held, other, burns = safety.meet(disc, first, command, second, point)
                    if was_held or point is None:
                        break
                else:
                    self.fail("the burn ended before it could be held, %d times" % TRIES)
                if held == "in its track":
                    self.assertEqual(safety.check_second_while_held(disc, command, other), [])
                after = make_sources(os.path.join(folder, "next"), 5)
                self.assertEqual(safety.check_writers(disc, before, burns, after), [])


class ForeignDiscTest(Case):
    """An overwritable disc holding what orlet-burn cannot append to: it is
    not shown blank, a burn is refused with or without --force and leaves
    every byte, and the disc takes a burn once erased."""

    IMAGES = {  # made by sh with IMAGE and TREE set
        "ext2": 'truncate -s 4M "$IMAGE" && mke2fs -F -q "$IMAGE"',
        "tar": 'tar -cf "$IMAGE" -C "$TREE" . && truncate -s %2048 "$IMAGE"',
        "damaged iso": 'genisoimage -quiet -J -o "$IMAGE" "$TREE" && yes | dd of="$IMAGE" '
                       'bs=2048 seek=16 count=1 iflag=fullblock conv=notrunc status=none',
    }
    ROWS = [("ext2", "dvd+rw"), ("ext2", "bd-re"), ("tar", "dvd-ram"), ("tar", "dvd+rw"),
            ("damaged iso", "bd-re"), ("damaged iso", "dvd-ram")]

    def test_a_disc_of_another_file_system_is_kept_until_erased(self):
        tree = make_sources(self.path("tree"))
        env = dict(os.environ, TREE=tree, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin")
        if not shutil.which("mke2fs", path=env["PATH"]):
            self.skipTest("mke2fs is not installed (Debian package e2fsprogs)")
        for image, medium in self.ROWS:
            with self.subTest(image=image, medium=medium):
                disc = Disc(medium, self.path("%s %s" % (image, medium)))
                subprocess.run(["sh", "-c", self.IMAGES[image]], check=True,
                               env=dict(env, IMAGE=disc.image))
                content = disc.saved()
                listed = disc.run("drives")
                self.assertEqual(listed.status, 0, listed)
                self.assertNotRegex(disc.drive_line(listed) or "", r"\bBlank\b", listed.output)
                for force in ([], ["--force"]):
                    self.assertNotEqual(disc.run("burn", *force, tree).status, 0)
                    self.assertKept(disc, content, "burn %s" % force)
                self.expect(disc.run("erase"))
                self.assertEqual(safety.check_next_burn(disc, [[]], tree), [])


class StateContradictionTest(Case):
    """A state file edited so that it contradicts its image: orlet-burn
    refuses the drive, names the image, the state file and the mismatch,
    and changes neither."""

    ROWS = [
        # medium sessions  the edit of the state file (its first match)   the mismatch's words
        ("dvd+r", 1, r"disc appendable\n(.|\n)*", "disc blank\n", "blank"),
        ("cd-r", 1, r"^track 0 \d+$", "track 0 20", "track|session"),  # the first track cut
        ("dvd-r", 2, r"^(track \d+) \d+\s*\Z", r"\1 50000\n", "track|end"),  # beyond the image
        ("bd-r", 2, r"session closed", "session open", "open"),
        ("dvd+rw", 1, r"disc formatted", "disc unformatted", "format"),
        ("dvd+r", 1, r"medium dvd\+r", "medium dvd-r", r"dvd-r\b"),
    ]

    def test_a_state_file_that_contradicts_its_image_is_refused(self):
        for number, (medium, sessions, found, edit, words) in enumerate(self.ROWS):
            with self.subTest(row=number, medium=medium):
                disc = Disc(medium, self.path("%d %s.iso" % (number, medium)))
                for session in range(sessions):
                    disc.burn(make_sources(self.path("%d-%d" % (number, session)), session))
                text = pathlib.Path(disc.state).read_text()
                edited = re.sub(found, edit, text, count=1, flags=re.M)
                self.assertNotEqual(edited, text)
                safety.write(disc.state, edited)
                before = disc.saved()
                for args in (["drives"], ["burn", "--force", self.path("%d-0" % number)]):
                    refused = disc.run(*args)
                    self.assertNotEqual(refused.status, 0, refused)
                    self.assertRegex(refused.output, re.escape(disc.image) + r"(?!\.state)")
                    self.assertIn(disc.state, refused.output)
                    said = refused.output.replace(disc.state, "").replace(disc.image, "")
                    self.assertRegex(said, words)
                    self.assertKept(disc, before, " ".join(args))


if __name__ == "__main__":
    unittest.main(verbosity=2)
