#!/usr/bin/python3
"""orlet-burn end to end on virtual drives: what a user types and sees, and
what independent readers (disc_check.py) find on the discs it writes. The
discs and sources go to ORLET_E2E_SCRATCH (the 4 GiB test writes that much).
"""

import json
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
from safety_support import Case, Disc, make_sources, orlet_burn, write  # pylint: disable=wrong-import-position

FAILED, USAGE, DIFFERENCES, CANCELLED = 1, 2, 3, 130
# Root reads every file whatever its mode: the permission cases run as nobody.
NOBODY = 65534
AS_NOBODY = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
LONG_WRITE = 3 << 30  # seconds of writing: still running when a Ctrl-C arrives
# Files in the large folder an append keeps: enough that finding each one by
# a scan of its folder would show, few enough for the four readers to check.
MANY_FILES = 1500
# What an erase prints, with the time it announces per medium.
ERASE_LINES = "opening the drive|erasing|this takes about %d seconds|erased|ejecting the disc|" \
    "loading the disc again|finished"
ERASE_SECONDS = {"cd-rw": 9, "dvd-rw": 86, "dvd+rw": 64, "dvd-ram": 103, "dvd-rw-ro": 86,
                 "bd-re": 17}


class MediaTest(Case):
    """Each medium, in a drive with a habit a real drive has, through steps:
    tree, file, many (a burn of a folder, a file, MANY_FILES files, keeping
    the disc's files); alone (--no-import); genisoimage, xorriso (the disc was
    written by that tool); erase; full (closed: a burn is refused). After each
    burn every reader finds each session with what it holds (on overwritable
    media block 16 always shows the newest)."""

    ROWS = [
        # medium     drive habits                           steps
        ("cd-r", "", "tree tree file alone"),  # a track under 300 blocks is padded
        ("cd-r", "reset-at=40,slow-operations=3", "tree file"),
        ("cd-r", "", "genisoimage tree"),
        ("cd-rw", "", "tree tree erase tree"),
        ("cd-rw", "flush-closes-cd-track", "tree file erase file"),  # CLOSE TRACK refused
        ("dvd-r", "busy-one-in=2", "tree file"),  # the buffer full, again and again
        ("dvd-r", "reset-at=40", "tree file"),
        ("dvd-rw", "", "tree file erase file"),
        ("dvd-rw", "quick-blanked", "tree full erase file"),  # incremental not offered
        ("dvd-r-dl", "", "tree full"),  # disc at once only
        ("dvd-ram", "", "tree file erase file"),
        ("dvd-rw-ro", "busy-one-in=3", "tree file erase file"),  # whole 32 KiB groups
        ("dvd+r", "", "tree tree file"),
        ("dvd+r", "reset-at=40,page-speeds-in-cd-units", "tree file"),
        ("dvd+r-dl", "", "tree file"),
        ("dvd+rw", "", "tree tree file erase tree"),
        ("dvd+rw", "slow-operations=3", "tree file erase file"),  # formatted in the background
        ("dvd+rw", "format-stopped", "tree file erase file"),  # the format is restarted
        ("dvd+rw", "", "xorriso tree"),
        ("bd-r", "busy-one-in=2", "tree file"),
        ("bd-r", "", "many file"),
        ("bd-re", "slow-operations=3", "tree file erase file"),  # unformatted: formatted first
    ]

    def test_cd(self):
        self.play("cd")

    def test_dvd_minus(self):
        self.play("dvd-")

    def test_dvd_plus(self):
        self.play("dvd+")

    def test_bd(self):
        self.play("bd")

    def play(self, family):
        for number, (medium, quirks, steps) in enumerate(self.ROWS):
            if medium.startswith(family):
                with self.subTest(medium=medium, quirks=quirks, steps=steps):
                    self.play_row(self.path(str(number)), medium, quirks, steps.split())

    def play_row(self, folder, medium, quirks, steps):
        disc = Disc(medium, os.path.join(folder, medium + ".iso"), quirks=quirks)
        sessions = []  # (start, contents) of each session
        for number, step in enumerate(steps):
            source = os.path.join(folder, "%d %s" % (number, step))
            if step in ("genisoimage", "xorriso"):
                safety.foreign_image(step, disc.image, make_sources(source, number))
                label = step.upper()
                self.expect(disc.run("info", "0"), "label             " + label, "appendable")
                disc.contents = ["/=" + source]
                sessions = [(0, disc.contents)]
            elif step == "erase":
                out = self.expect(disc.run("erase"), "done: the disc is blank")
                self.assertEqual(re.findall(r"^  (.*)$", out, re.M),
                                 (ERASE_LINES % ERASE_SECONDS[medium]).split("|"))
                if os.path.exists(disc.state):  # a finished erase is recorded as one
                    self.assertNotIn("\ndisc erasing", pathlib.Path(disc.state).read_text())
                # A fully blanked DVD-RW takes incremental writing again.
                disc.quirks = quirks.replace("quick-blanked", "")
                disc.contents, sessions = [], []
            elif step == "full":
                self.assertRegex(disc.run("info", "0").output, r"disc .*, closed")
                before = disc.saved()
                self.expect(disc.run("burn", disc.contents[-1]), "the disc is full: it is closed",
                            status=FAILED)
                self.assertKept(disc, before)
            else:
                if not sessions:
                    self.assertRegex(disc.run("drives").output, r"0\s+D:\s+StarBurn Virtual "
                                     r"Recorder\s+%s\s+Blank\s+blank" %
                                     re.escape(safety.display(medium)))
                if step == "tree":
                    make_sources(source, number)
                    # U+1F3FF: its UTF-16 form ends in the last low surrogate (DFFF),
                    # which other writers' Joliet trees cannot hold.
                    write(os.path.join(source, "日本", "肌 \U0001F3FF.txt"), "skin %d" % number)
                elif step == "many":
                    write(os.path.join(source, "inner", "leaf.txt"), "as deep as a folder")
                    for name in range(MANY_FILES):
                        write(os.path.join(source, "f%05d.txt" % name), "file %d\n" % name)
                else:
                    source += ".txt"
                    write(source, "the file of step %d\n" % number)
                start = disc.next_session()
                # --label names each session, a continued disc's too.
                label = "STEP %d" % number
                args = disc.burn_args(source, not disc.contents)
                args[1:1] = ["--label", label] + (["--no-import"] if step == "alone" else [])
                said = ("not keeping its files (--no-import)" if step == "alone" else
                        "keeping its files (a new session is appended)" if disc.contents else "")
                self.expect(disc.run(*args), "done: the disc was written", said)
                disc.contents = ([] if step == "alone" else disc.contents) + [source]
                sessions.append((start, disc.contents))
                for start, contents in sessions:
                    newest = start == 0 and disc.overwritable
                    self.assertReads(disc.image, start, *(disc.contents if newest else contents))
        info = disc.run("info", "0").output
        self.assertIn("label             " + label, info)
        self.assertRegex(info, r"disc .*, %s" % ("closed" if steps[-1] == "full" else "appendable"))
        mine = [c for c in disc.contents if not c.startswith("/=")]
        self.expect(disc.run("verify", *mine), "verified: every file matches in name, size and "
                    "content")


class UpdateTest(Case):
    """burn --update of a folder the disc already holds: the new session
    holds the folder as it is now (changed files replaced, new ones added,
    unchanged ones left where they are), the earlier session still reads as
    it was, and a plain burn afterwards keeps it all."""

    ROWS = [
        # medium   (the earlier session can still be read on write-once media)
        ("dvd+r",),
        ("cd-rw",),
        ("bd-re",),  # overwritable: block 16 shows the newest session only
    ]
    # What changes between the two burns, each path below the burned folder.
    CHANGES = [
        # change     path                         replaced
        ("content", "readme.txt", True),           # another size
        ("time", "sizes/2048.bin", True),           # same bytes, another time
        ("none", "sizes/1.bin", False),
        ("new", "sizes/new.bin", False),
        ("new", "deep/a/new folder/n.txt", False),  # a new folder in a kept one
        ("folder", "zero bytes.dat", True),         # a file that became a folder
    ]

    def test_update_replaces_what_changed_and_keeps_the_rest(self):
        for (medium,) in self.ROWS:
            with self.subTest(medium=medium):
                folder = self.path(medium)
                tree = make_sources(os.path.join(folder, "now", "tree"))
                disc = Disc(medium, os.path.join(folder, medium + ".iso"))
                disc.burn(tree)
                was = os.path.join(folder, "was", "tree")
                shutil.copytree(tree, was, copy_function=shutil.copy2)
                for change, path, _ in self.CHANGES:
                    target = os.path.join(tree, path)
                    if change == "content":
                        write(target, "longer than it was before the update\n")
                    elif change == "time":
                        os.utime(target, (1e9, 1e9))
                    elif change == "new":
                        write(target, "new in the second session: " + path)
                    elif change == "folder":
                        os.unlink(target)
                        write(os.path.join(target, "inside.txt"), "a folder now")
                start = disc.next_session()
                files = sum(1 for _, _, names in os.walk(was) for _ in names)
                replaced = sum(1 for row in self.CHANGES if row[2])
                self.expect(disc.run(*disc.burn_args(tree, False)[:-1] + ["--update", tree]),
                            "done: the disc was written",
                            "--update: %d files unchanged (kept as the disc holds them), %d "
                            "entries replaced by the version here"
                            % (files - replaced, replaced))
                self.assertReads(disc.image, start, tree)
                if not disc.overwritable:
                    self.assertReads(disc.image, 0, "/tree=" + was)
                self.expect(disc.run("verify", tree), "verified: every file matches")
                disc.contents = [tree]
                later = make_sources(os.path.join(folder, "later"), 2)
                disc.burn(later)
                self.assertReads(disc.image, 0 if disc.overwritable else disc.last_session(),
                                 tree, later)


class NamesTest(Case):
    def test_names_that_writers_must_change_read_back_in_every_reader(self):
        names = self.path("names")
        # Long Joliet names with a shared beginning: two that fit whole, two
        # that are cut to the same length and must be told apart.
        kept = ("a long name that shares its beginning with others " * 2)[:95]
        cut = "a name too long for joliet " * 5
        for name, content in [
                ("README.TXT", "upper case"), ("readme.txt", "lower case"), ("a.b.c.d.txt", "dots"),
                ("same eight chars 1.txt", "first"), ("same eight chars 2.txt", "second"),
                (kept + " one.txt", "fits, one"), (kept + " two.txt", "fits, two"),
                (cut + "first.txt", "cut, first"), (cut + "second.txt", "cut, second"),
                ("non-ascii/café crème.txt", "latin-1"), ("non-ascii/日本語のファイル名.txt", "japanese"),
                ("non-ascii/Ünïcödé/ελληνικά.txt", "greek"),
                ("non-ascii/emoji 😀 beyond the BMP.txt", "surrogates")]:
            write(os.path.join(names, name), content)
        os.makedirs(os.path.join(names, "empty"))
        os.makedirs(os.path.join(names, "nested", "empty inside"))
        disc = Disc("dvd+r", self.path("names.iso"))
        self.expect(disc.run("burn", names))
        self.assertReads(disc.image, 0, names)
        out = self.expect(disc.run("verify", names), "but for 2 names changed to fit the disc")
        self.assertEqual(out.count("(the name is too long for the disc)"), 2)


class LargeFileTest(Case):
    def test_a_sparse_four_gibibyte_file_reads_back_in_every_reader(self):
        write(self.path("big", "after.txt"), "a file after the big one")
        with open(self.path("big", "four gibibytes.bin"), "wb") as out:
            out.truncate(4 << 30)
            for offset, mark in ((0, b"first bytes"), ((4 << 30) - 4096, b"across 4 GiB - 2048"),
                                 ((4 << 30) - 10, b"last bytes")):
                out.seek(offset)
                out.write(mark)
        disc = Disc("dvd+r", self.path("dvd.iso"))
        self.expect(disc.run("burn", self.path("big")))
        self.assertReads(disc.image, 0, self.path("big"))


class RefusalTest(Case):
    """Refused jobs: the reason in words, exit 1, the disc exactly as it was."""

    ROWS = [
        # medium  the disc  arguments   the message's words
        ("cd-r", "written", "burn BIG", r"need 800\.0 MB, the disc has [\d.]+ MB free; nothing was"),
        ("cd-r", "written", "burn MISSING", "MISSING: no such file or folder"),
        ("bd-r", "blank", "burn FOLDERS", r"too many folders: a disc holds at most 65534 besides"),
        ("cd-rom", "pressed", "burn TREE", r"the drive cannot write this disc \(code 127\)"),
        ("empty", "", "burn TREE", r"no disc in the drive \(code 2102\)"),
        ("dvd+rw", "written", "burn TREE", r"holds data: --force appends a session that keeps its"),
        ("empty", "", "erase", "the erase was refused"),
        ("cd-rw", "blank", "erase", r"the disc is already blank \(code 2104\)"),
        ("cd-r", "written", "erase", r"the disc cannot be erased \(code 2106\)"),
        ("cd-r", "blank", "burn --drive 3 TREE", r"there is no drive 3 \(1 drive found\)"),
        ("floppy", "blank", "drives", "--virtual floppy="),
        ("cd-r", "blank", "burn-image ODD", r"not a whole number of 2048-byte blocks \(1000 b"),
        ("cd-r", "blank", "burn-image BIG", r"the disc is full: the image needs 800\.0 MB"),
        ("dvd+rw", "written", "burn-image ISO", "the disc holds data: --force writes the image"),
        ("cd-rom", "pressed", "burn-image --force ISO", "the drive cannot write this disc"),
    ]

    def test_each_refusal_is_told_in_words_and_changes_nothing(self):
        tree = make_sources(self.path("tree"))
        names = {"TREE": tree, "BIG": self.path("larger than a cd.bin"), "FOLDERS": self.path("f"),
                 "MISSING": self.path("no such folder"), "ODD": self.path("odd.iso"),
                 "ISO": safety.foreign_image("genisoimage", self.path("tree.iso"), tree)}
        with open(names["BIG"], "wb") as out:
            out.truncate(800 << 20)
        write(names["ODD"], "x" * 1000)
        for number in range(65535):  # one more than a disc holds besides its root
            os.makedirs(os.path.join(names["FOLDERS"], "%05d" % number))
        for number, (medium, state, args, words) in enumerate(self.ROWS):
            with self.subTest(medium=medium, disc=state, args=args):
                disc = Disc(medium, self.path("%d.iso" % number))
                if state == "pressed":
                    safety.foreign_image("genisoimage", disc.image, tree)
                elif state == "written":
                    disc.burn(tree)
                before = disc.saved()
                refused = disc.run(*[names.get(a, a) for a in args.split()])
                self.assertEqual(refused.status, FAILED, refused)
                self.assertRegex(refused.output, words.replace("MISSING", names["MISSING"]))
                self.assertKept(disc, before)

    def test_each_kind_of_unreadable_entry_is_named_and_skipped_only_on_request(self):
        """Each is named with its reason; the burn writes nothing and exits 1,
        or with --skip-unreadable burns the rest and exits 0."""
        # src and the folders of deep + "d": 257 levels, one more than an import walks.
        deep, long_name, denied = "sub/" + "d/" * 254, "sub/" + "n" * 200, "permission denied"
        rows = [
            # the entry below src: a folder/, a file or a link>target; its mode; named as; why
            ("sub/locked/", 0, "sub/locked", denied + " (the folder's contents cannot be listed)"),
            ("sub/listed/", 0o444, "sub/listed/inner.txt", denied),
            ("sub/secret.txt", 0, "sub/secret.txt", denied),
            ("sub/dangling>nowhere", None, "sub/dangling", "dangling link"),
            ("sub/self>self", None, "sub/self", "link loop"),
            ("sub/up>..", None, "sub/up", "link loop (it leads back to a folder that holds it)"),
            (deep + "d/leaf.txt", None, deep + "d", "path too deep (more than 256 folder levels)"),
            (long_name, None, long_name, "path too deep (longer than the system's 4096-byte limit)"),
            ("sub/pipe|", None, "sub/pipe", "a named pipe (FIFO): only files and folders go on a disc"),
        ]
        os.chmod(self.scratch, 0o755)
        self.addCleanup(os.umask, os.umask(0o022))  # what nobody must read, nobody can
        for number, (entry, mode, named, reason) in enumerate(rows):
            with self.subTest(entry=entry[:40]):
                as_user = AS_NOBODY if mode is not None and os.geteuid() == 0 else []
                if as_user and shutil.which("setpriv") is None:
                    self.skipTest("root reads every file and setpriv is missing to run as nobody")
                folder = base = self.path(str(number))
                path, _, target = entry.partition(">")
                fifo, path = path.endswith("|"), path.rstrip("|")
                too_long = path == long_name
                if too_long:  # "sub" gets a path of 3900 to 4000 bytes; a name of 200 overflows
                    folder = os.path.join(base, *["p" * 100] * ((3990 - len(base)) // 101))
                src, expected = os.path.join(folder, "src"), os.path.join(folder, "expected")
                for tree in (src, expected):
                    write(os.path.join(tree, "good.txt"), "read whole")
                    write(os.path.join(tree, "sub", "kept.txt"), "kept")
                # The disc holds the folders above the entry, and a folder
                # that cannot be read, empty.
                for kept in (os.path.dirname(named), path if path.endswith("/") else ""):
                    os.makedirs(os.path.join(expected, kept), exist_ok=True)
                if target:
                    os.symlink(target, os.path.join(src, path))
                elif fifo:
                    os.mkfifo(os.path.join(src, path))
                elif too_long:
                    sub = os.open(os.path.join(src, "sub"), os.O_RDONLY | os.O_DIRECTORY)
                    os.close(os.open(path[4:], os.O_WRONLY | os.O_CREAT, dir_fd=sub))
                    os.close(sub)
                else:
                    write(os.path.join(src, path) + ("inner.txt" if path.endswith("/") else ""),
                          "not read")
                if mode is not None:
                    os.chmod(os.path.join(src, path), mode)
                disc = Disc("dvd+r", os.path.join(base, "disc", "dvd+r.iso"))
                if as_user:
                    os.chown(os.path.dirname(disc.image), NOBODY, NOBODY)
                line = "%s/%s: %s" % (src, named, reason)
                refused = orlet_burn(disc.command("burn", src)[1:], as_user=as_user)
                self.assertEqual(refused.status, FAILED, refused)
                self.assertEqual(re.findall(r"^orlet-burn: (.*)$", refused.output, re.M), [
                    line, "nothing usable was written: 1 entry cannot be read (named above); "
                    "--skip-unreadable burns the rest without them"])
                self.assertEqual(disc.saved(), [None, None])
                done = orlet_burn(disc.command("burn", "--skip-unreadable", src)[1:],
                                  as_user=as_user)
                self.expect(done, "done: the disc was written without 1 entry that cannot be read "
                            "(named above)")
                self.assertEqual(re.findall(r"^orlet-burn: (.*)$", done.output, re.M), [
                    "warning: " + line, "warning: left off the disc: 1 entry that cannot be read"])
                self.assertReads(disc.image, 0, "/src=" + expected)


class DrivesTest(Case):
    def test_the_drives_of_the_environment_come_first_in_list_order(self):
        tree = make_sources(self.path("t"))
        other = safety.foreign_image("genisoimage", self.path("other.iso"), tree)
        env = "cd-r=%s;empty;dvd+rw=%s" % (self.path("blank.iso"), other)
        bd = ["--virtual", "bd-r=" + self.path("bd.iso")]
        out = self.expect(orlet_burn(bd + ["drives"], drives=env))
        # Columns: number, letter, vendor and product, disc (from column 37).
        rows = [line.split()[:2] + [line[37:47].strip()] for line in out.splitlines()[1:]]
        self.assertEqual(rows, [["0", "D:", "CD-R"], ["1", "E:", "Empty"], ["2", "F:", "DVD+RW"],
                                ["3", "G:", "BD-R"]], out)
        # Without --drive, a burn goes to the drive given with --virtual.
        self.expect(orlet_burn(bd + ["burn", tree], drives=env), "to drive 3 (G: BD-R, blank)")
        self.assertFalse(os.path.exists(self.path("blank.iso.state")))
        self.assertReads(self.path("bd.iso"), 0, tree)
        self.expect(orlet_burn(["info", "0"], drives=env), "disc              CD-R (type 2), blank",
                    "can write disc    yes", "write speeds      4.0x (706 KB/s)")
        self.expect(orlet_burn(["info", "2"], drives=env), "label             GENISOIMAGE",
                    "erasable          yes")
        bad = orlet_burn(["drives"], drives="cd-r=%s;tape=%s" % (self.path("a.iso"), other))
        self.expect(bad, "the burning SDK did not start", status=FAILED)
        self.assertFalse(os.path.exists(self.path("a.iso")))


class InterruptTest(Case):
    """Ctrl-C to a burn: it stops, says so, exits 130, and the disc keeps its
    earlier session and takes the next one."""

    def test_ctrl_c_cancels_the_job(self):
        big = self.path("long write.bin")
        with open(big, "wb") as out:
            out.truncate(LONG_WRITE)
        for number, (at_line, said) in enumerate([
                ("image ready; writing", "  the write was cancelled\n  the burn failed\n"),
                ("examining the disc", "  the burn failed\n")]):
            with self.subTest(at_line=at_line):
                disc = Disc("dvd+r", self.path("%d.iso" % number))
                disc.burn(make_sources(self.path("%d tree" % number)))
                before = disc.saved()[1]
                process = disc.start("burn", big)
                out = b""
                for raw in process.stdout:
                    out += raw
                    if at_line.encode() in raw:
                        process.send_signal(signal.SIGINT)
                        break
                out = (out + process.communicate(timeout=safety.PATIENCE)[0]).decode()
                self.assertEqual(process.returncode, CANCELLED, out)
                for words in ("cancelling...", said, "orlet-burn: cancelled; nothing was written"):
                    self.assertIn(words, out)
                self.assertNotIn("recorded; session closed", out)
                self.assertEqual(disc.saved()[1], before)
                note = self.path("%d after.txt" % number)
                write(note, "written after the interrupted burn\n")
                self.assertEqual(safety.check_next_burn(disc, [disc.contents], note), [])


class BurnImageTest(Case):
    def test_every_writable_medium_takes_an_image_and_reads_it_back(self):
        tree = make_sources(self.path("tree"))
        iso = safety.foreign_image("genisoimage", self.path("tree.iso"), tree)
        for medium in safety.WRITABLE:
            with self.subTest(medium=medium):
                disc = Disc(medium, self.path(medium + ".iso"))
                self.expect(disc.run("burn-image", iso), "written from block 0",
                            "done: the image was written and reads back whole")
                self.assertReads(disc.image, 0, "/=" + tree)
        # Over the data of an overwritable disc, after it on one written in sessions.
        for medium, start in (("bd-re", r"block 0,"), ("cd-r", r"block [1-9]\d*,")):
            disc = Disc(medium, self.path(medium + ".iso"))
            self.assertRegex(self.expect(disc.run("burn-image", "--force", "--close", iso)),
                             "written from " + start + " the disc closed")
        self.assertReads(self.path("bd-re.iso"), 0, "/=" + tree)
        self.expect(disc.run("info", "0"), "closed")


class CommandLineTest(Case):
    """The command line as scripts and users of other tools write it."""

    ROWS = [
        # arguments (DISC: the virtual drive; SRC: "-dash.txt"; PLAIN: "plain.txt"; TREE: a
        # folder, whose contents a path ending in a slash puts at the root)      status, words
        ("--virtual=DISC burn --label=EQUALS -- SRC", 0, "done: the disc was written"),
        ("--virtual DISC burn TREE/", 0, "done: the disc was written"),
        ("burn PLAIN --virtual DISC --label AFTER", 0, "done: the disc was written"),
        ("--virtual DISC burn SRC", USAGE, "unknown option -d"),
        ("--virtual DISC burn --dry-run PLAIN", 0, "dry run: nothing was written"),
        ("--virtual DISC burn --speed=4x PLAIN", 0, "the drive wrote at 5540 KB/s"),
        ("-v --virtual DISC burn PLAIN", 0, "[2A 00 00 00 00 00 00 00 "),  # WRITE(10) of block 0
        ("--virtual DISC burn --speed 2x2 PLAIN", USAGE, "--speed takes KB/s"),
        ("--help", 0, "Exit status: 0 done, 1 failed or refused, 2 usage, 3 verify found differences,"),
        ("burn --label", USAGE, "--label needs a value"),
        ("burn --bogus SRC", USAGE, "unknown option --bogus"),
        ("--drive=-1 drives", USAGE, "--drive takes a drive number"),
        ("eject", USAGE, "unknown command eject"),
        ("image PLAIN", USAGE, "--output"),
    ]

    def test_each_command_line_is_read_as_written(self):
        write(self.path("-dash.txt"), "a file whose name begins with a dash\n")
        write(self.path("plain.txt"), "a file given after the command\n")
        sources = {"SRC": self.path("-dash.txt"), "PLAIN": self.path("plain.txt"),
                   "TREE/": "/=" + make_sources(self.path("tree"))}
        for number, (line, status, expected) in enumerate(self.ROWS):
            with self.subTest(line):
                disc = Disc("dvd+r", self.path("%d.iso" % number))
                args = [a.replace("DISC", "dvd+r=" + disc.image).replace("SRC", "-dash.txt").replace(
                    "PLAIN", "plain.txt").replace("TREE", "tree") for a in line.split()]
                out = self.expect(orlet_burn(args, cwd=self.scratch), expected, status=status)
                label = re.search(r"--label[= ](\S+)", line)
                if "--dry-run" in line:
                    self.assertIn("1 new entry, 2.0 KB of new data", out)
                    self.assertFalse(os.path.exists(disc.image), "a dry run wrote the disc")
                if label and status == 0:
                    self.expect(disc.run("info", "0"), "label             " + label.group(1))
                if os.path.exists(disc.image):
                    source = next(sources[a] for a in line.split() if a in sources)
                    self.assertReads(disc.image, 0, source)
                if "TREE/" in line:
                    self.expect(disc.run("verify", self.path("tree") + "/"), "verified: every file")

    def test_image_writes_what_a_burn_writes_into_a_new_file(self):
        output = self.path("out.iso")
        for number in (1, 2):  # the second replaces the first
            tree = make_sources(self.path("tree%d" % number), number)
            self.expect(orlet_burn(["image", "--output=" + output, "--label=IMAGE", tree]),
                        "done: the image was written")
            self.assertReads(output, 0, tree)
        self.assertFalse(os.path.exists(output + ".state"))
        self.expect(orlet_burn(["image", "--output", output, self.path("missing")]),
                    "no such file or folder", status=FAILED)
        self.assertTrue(os.path.exists(output), "a refused image removed the earlier one")

    def test_verify_escapes_control_characters_in_the_names_it_shows(self):
        folder = self.path("ctl")
        write(os.path.join(folder, "bad\x1b[31mname"), "x")
        disc = Disc("dvd+r", self.path("ctl.iso"))
        disc.burn(folder)
        write(os.path.join(folder, "bad\x1b[31mname"), "changed")
        out = self.expect(disc.run("verify", folder), "ctl/bad\\x1B[31mname", status=DIFFERENCES)
        self.assertNotIn("\x1b", out)

    # --json: each type of line with the fields every line of it carries.
    JSON_FIELDS = {"message": {"text"}, "warning": {"text"}, "error": {"text"},
                   "event": {"job", "phase", "event", "detail", "text"},
                   "progress": {"percent", "buffer"}, "estimate": {"seconds"},
                   "drive": {"index", "letter", "device", "disc", "state", "free_bytes"},
                   "difference": {"path", "text"}, "result": {"exit", "status", "text"}}

    def test_json_lines_and_the_words_of_a_burn(self):
        source = make_sources(self.path("tree"))
        disc = Disc("cd-rw", self.path("cd-rw.iso"))
        latin1 = os.path.join(os.fsencode(self.scratch), b"caf\xe9.txt")
        with open(latin1, "wb") as out:
            out.write(b"a name that is not UTF-8")
        runs = [  # arguments, status, the result's status, words (--json: a line's text)
            (["burn", "--label", "FIRST", source], 0, "done", "done: the disc was written"),
            (["burn", "--force", latin1], 0, "done", "the new session is added after it and keeps"),
            (["burn", "--force", "--no-import", latin1], 0, "done", "keeping the disc's label"),
            (["verify", latin1], 0, "done", "(the disc cannot hold some of its characters)"),
            (["verify", source], 3, "differences", "missing on the disc"),
            (["drives"], 0, "done", None),
            (["erase", "--bogus"], 2, "usage", "unknown option --bogus"),
        ]
        for args, status, result, words in runs:
            with self.subTest(args=args[:2]):
                done = subprocess.run(disc.command("--json", *args), env=safety.environment(),
                                      stdout=subprocess.PIPE, check=False)
                self.assertEqual(done.returncode, status, done.stdout[-400:])
                lines = [json.loads(line) for line in done.stdout.decode().splitlines()]
                for line in lines:
                    self.assertLessEqual(self.JSON_FIELDS[line["type"]], set(line), line)
                self.assertEqual((lines[-1]["type"], lines[-1]["exit"], lines[-1]["status"]),
                                 ("result", status, result))
                if words:
                    self.assertTrue(any(words in line.get("text", "") for line in lines), lines)
        self.assertRegex(disc.run("info", "0").output, r"label +FIRST")
        self.expect(disc.run("-q", "verify", latin1), status=0)
        self.assertEqual(disc.run("-q", "burn", "--force", latin1).output, "")


if __name__ == "__main__":
    unittest.main(verbosity=2)
