#!/usr/bin/python3
"""orlet-burn end to end on virtual drives: what a user types and sees, and
what independent readers (disc_check.py) find on the discs it writes.

    ORLET_BURN=build/bin/orlet-burn orlet_burn_test.py [TestClass ...]

ORLET_E2E_SCRATCH names the folder for the discs and sources (default: the
system's temporary folder); the 4 GiB test writes that much there.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import disc_check  # pylint: disable=wrong-import-position

ORLET_BURN = os.environ.get("ORLET_BURN", "")
WRITABLE = ["cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd-rw-ro", "dvd-ram", "dvd+r", "dvd+rw",
            "dvd+r-dl", "dvd-r-dl", "bd-r", "bd-re"]
OVERWRITABLE = {"dvd-ram", "dvd+rw", "dvd-rw-ro", "bd-re"}
# Written disc-at-once: one session closes the disc.
SINGLE_SESSION = {"dvd-r-dl"}
EXIT_FAILED = 1
# Root reads every file whatever its mode: the permission cases run
# orlet-burn as nobody.
NOBODY = 65534
AS_NOBODY = ["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOBODY, "--clear-groups"]
# The longest path the system takes, in bytes with its terminating NUL (Linux).
PATH_MAX = 4096
# Folder levels orlet-burn's library walks below a path it is given, that
# path's own level included (FileContainer::kMaxImportDepth).
MAX_IMPORT_DEPTH = 256
EXIT_CANCELLED = 130
# Long enough that a write of this much is still running when a Ctrl-C
# sent at its first line arrives: seconds at the virtual drive's speed.
LONG_WRITE = 3 << 30
# How long a test waits for orlet-burn to say something or to end.
PATIENCE = 120
# Files in the large folder an append keeps: enough that finding each one by
# a scan of its folder would show, few enough for the four readers to check.
MANY_FILES = 1500


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(content.encode() if isinstance(content, str) else content)


def pattern(size, seed):
    """size bytes that differ from file to file and from block to block."""
    unit = bytes((seed * 31 + i * 7) % 251 for i in range(4093))
    return (unit * (size // len(unit) + 1))[:size]


def make_tree(root, seed=1):
    """A folder with nested folders, non-ASCII names, an empty folder and
    files of the sizes around a block."""
    os.makedirs(os.path.join(root, "empty folder"), exist_ok=True)
    write(os.path.join(root, "readme.txt"), "a tree burned by the end-to-end test %d\n" % seed)
    write(os.path.join(root, "zero bytes.dat"), b"")
    for size in (1, 2047, 2048, 2049, 100000):
        write(os.path.join(root, "sizes", "%d.bin" % size), pattern(size, seed + size))
    write(os.path.join(root, "deep", "a", "b", "c", "d", "leaf.txt"), "deep %d" % seed)
    write(os.path.join(root, "été", "plage à Nice.txt"), "plage %d" % seed)
    write(os.path.join(root, "日本", "富士山.txt"), "fuji %d" % seed)
    return root


def entries(count):
    return "%d %s" % (count, "entry" if count == 1 else "entries")


def readable_tree(root):
    write(os.path.join(root, "good.txt"), "read whole")
    write(os.path.join(root, "sub", "kept.txt"), "kept")
    return root


def long_root(folder):
    """A folder for the source whose "sub" folder has a path of 3990 bytes:
    a name of 200 bytes in it makes a path longer than the system takes."""
    left = 3990 - len("/src/sub") - len(folder)  # for "/" and a name each
    parts = []
    while left > 256:
        parts.append("p" * 200)
        left -= 201
    parts.append("p" * (left - 1))
    return os.path.join(folder, *parts, "src")


def digest(path):
    """The bytes of a disc image and its state file, to see that a refused
    or failed job left the disc as it was."""
    out = []
    for name in (path, path + ".state"):
        if os.path.exists(name):
            with open(name, "rb") as data:
                out.append(data.read())
        else:
            out.append(None)
    return out


class Case(unittest.TestCase):
    """A scratch folder per test, orlet-burn runs and disc checks."""

    maxDiff = None

    def setUp(self):
        if not ORLET_BURN or not os.access(ORLET_BURN, os.X_OK):
            self.fail("ORLET_BURN must name the orlet-burn program")
        base = os.environ.get("ORLET_E2E_SCRATCH") or None
        if base:
            os.makedirs(base, exist_ok=True)
        self.scratch = tempfile.mkdtemp(prefix=self.id().rsplit(".", 1)[-1] + "-", dir=base)
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def path(self, *names):
        return os.path.join(self.scratch, *names)

    def env(self, drives=None):
        env = dict(os.environ)
        env.pop("STARBURN_VIRTUAL_DRIVES", None)
        env["STARBURN_REAL_DRIVES"] = "0"  # the machine's own drives stay out of the tests
        if drives is not None:
            env["STARBURN_VIRTUAL_DRIVES"] = drives
        return env

    def orlet_burn(self, drive, *args, status=0, drives_env=None, as_user=()):
        """Runs orlet-burn with drive ("MEDIUM=PATH", or None) attached; checks
        its exit status; answers its output (stdout, then stderr). as_user: a
        command that runs it as another user (AS_NOBODY)."""
        command = [*as_user, ORLET_BURN] + (["--virtual", drive] if drive else []) + list(args)
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=self.env(drives_env), timeout=PATIENCE, check=False)
        output = done.stdout.decode("utf-8", "replace") + done.stderr.decode("utf-8", "replace")
        self.assertEqual(done.returncode, status, "%s\n%s" % (" ".join(command), output))
        return output

    def next_session(self, drive):
        """The block where the next session on the disc will start."""
        info = self.orlet_burn(drive, "info", "0")
        return int(re.search(r"next session at\s+block (\d+)", info).group(1))

    def assertReads(self, image, start, *specs):  # pylint: disable=invalid-name
        problems = disc_check.check(image, start, list(specs))
        self.assertEqual(problems, [], "session at block %d of %s" % (start, image))


class EveryMediumTest(Case):
    def test_a_folder_burned_to_every_writable_medium_reads_back_whole(self):
        tree = make_tree(self.path("tree"))
        for medium in WRITABLE:
            with self.subTest(medium=medium):
                image = self.path(medium + ".iso")
                drive = "%s=%s" % (medium, image)
                listed = self.orlet_burn(drive, "drives")
                self.assertRegex(listed, r"0\s+D:\s+StarBurn Virtual Recorder\s+%s\s+Blank\s+blank"
                                 % re.escape(medium.upper().replace("-DL", " DL").replace("-RW-RO", "-RW")))
                out = self.orlet_burn(drive, "burn", "--label", "E2E " + medium, tree)
                self.assertIn("done: the disc was written", out)
                self.assertIn("recorded; session closed, disc ejected", out)
                info = self.orlet_burn(drive, "info", "0")
                self.assertIn("label             E2E " + medium, info)
                self.assertIn("closed" if medium in SINGLE_SESSION else "appendable", info)
                self.assertReads(image, 0, tree)


class SessionsTest(Case):
    def burn_three_sessions(self, medium):
        """Sessions of a folder, a second folder and a file; after each, every
        session reads back at its own start with what it holds."""
        image = self.path(medium + ".iso")
        drive = "%s=%s" % (medium, image)
        force = ["--force"] if medium in OVERWRITABLE else []
        sources = [make_tree(self.path("first"), 1), make_tree(self.path("second"), 2),
                   self.path("third.txt")]
        write(sources[2], "the third session's one file\n")
        starts = []
        for number, source in enumerate(sources):
            starts.append(self.next_session(drive))
            out = self.orlet_burn(drive, "burn", *(force if number else []), source)
            self.assertIn("done: the disc was written", out)
            if number:
                self.assertIn("keeping its files (a new session is appended)", out)
            for session, start in enumerate(starts):
                if start == 0 and number and medium in OVERWRITABLE:
                    # An overwritable disc has no sessions: an append
                    # rewrites the descriptors at block 16 to point at the
                    # newest image, which any reader then sees.
                    self.assertReads(image, 0, *sources[:number + 1])
                else:
                    self.assertReads(image, start, *sources[:session + 1])
        self.assertEqual(len(set(starts)), 3)
        out = self.orlet_burn(drive, "verify", *sources)
        self.assertIn("verified: every file matches in name, size and content", out)
        return image, drive, sources

    def test_cd_r_holds_three_sessions_and_a_fourth_without_the_earlier_files(self):
        image, drive, sources = self.burn_three_sessions("cd-r")
        with open(image + ".state") as state:
            self.assertEqual(len(re.findall(r"^session closed$", state.read(), re.M)), 3)
        alone = self.path("alone.txt")
        write(alone, "a session that does not keep the earlier files\n")
        start = self.next_session(drive)
        out = self.orlet_burn(drive, "burn", "--no-import", alone)
        self.assertIn("not keeping its files (--no-import)", out)
        self.assertReads(image, start, alone)
        self.assertReads(image, 0, sources[0])

    def test_dvd_plus_r_holds_three_sessions(self):
        self.burn_three_sessions("dvd+r")

    def test_dvd_plus_rw_holds_three_sessions(self):
        self.burn_three_sessions("dvd+rw")

    def test_an_append_keeps_every_file_of_a_large_folder(self):
        """The append finds each earlier entry in the imported session by its
        name there; a folder of many files, and one of them as deep as a
        folder of its own, all stay readable beside the new file."""
        image = self.path("bd-r.iso")
        drive = "bd-r=" + image
        many = self.path("many")
        for number in range(MANY_FILES):
            write(os.path.join(many, "f%05d.txt" % number), "file %d\n" % number)
        write(os.path.join(many, "inner", "leaf.txt"), "inside the large folder\n")
        self.orlet_burn(drive, "burn", many)
        start = self.next_session(drive)
        extra = self.path("extra.txt")
        write(extra, "the appended file\n")
        out = self.orlet_burn(drive, "burn", extra)
        self.assertIn("keeping its files (a new session is appended)", out)
        self.assertReads(image, start, many, extra)


class ForeignImageTest(Case):
    """Images made by other tools, without a state file: one closed session
    that a burn appends to, keeping the old files."""

    def append_to(self, medium, image, old, label):
        drive = "%s=%s" % (medium, image)
        self.assertFalse(os.path.exists(image + ".state"))
        info = self.orlet_burn(drive, "info", "0")
        self.assertIn("label             " + label, info)
        self.assertIn("appendable", info)
        new = make_tree(self.path("new"), 7)
        start = self.next_session(drive)
        force = ["--force"] if medium in OVERWRITABLE else []
        self.orlet_burn(drive, "burn", *force, new)
        self.assertReads(image, start, "/=" + old, new)
        if medium in OVERWRITABLE:
            self.assertReads(image, 0, "/=" + old, new)  # block 16 shows the newest
        else:
            self.assertReads(image, 0, "/=" + old)
        out = self.orlet_burn(drive, "verify", new)
        self.assertIn("verified", out)

    def test_appending_to_a_genisoimage_image_keeps_its_files(self):
        old = make_tree(self.path("old"), 3)
        image = self.path("genisoimage.iso")
        subprocess.run(["genisoimage", "-quiet", "-J", "-V", "GENISOIMAGE", "-o", image, old],
                       check=True)
        self.append_to("cd-r", image, old, "GENISOIMAGE")

    def test_appending_to_an_xorriso_image_keeps_its_files(self):
        old = make_tree(self.path("old"), 4)
        image = self.path("xorriso.iso")
        subprocess.run(["xorriso", "-outdev", image, "-joliet", "on", "-volid", "XORRISO",
                        "-map", old, "/"], check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        self.append_to("dvd+rw", image, old, "XORRISO")


class EraseTest(Case):
    def test_a_cd_rw_with_two_sessions_is_erased_and_burned_again(self):
        image = self.path("cd-rw.iso")
        drive = "cd-rw=" + image
        first = make_tree(self.path("first"), 1)
        second = make_tree(self.path("second"), 2)
        self.orlet_burn(drive, "burn", first)
        self.orlet_burn(drive, "burn", "--force", second)
        out = self.orlet_burn(drive, "erase")
        self.assertEqual(re.findall(r"^  (.*)$", out, re.M),
                         ["opening the drive", "erasing", "this takes about 9 seconds", "erased",
                          "ejecting the disc", "loading the disc again", "finished"])
        self.assertRegex(self.orlet_burn(drive, "drives"), r"CD-RW\s+Blank\s+blank")
        out = self.orlet_burn(drive, "erase", status=EXIT_FAILED)
        self.assertIn("the disc is already blank (code 2104)", out)
        third = make_tree(self.path("third"), 3)
        self.orlet_burn(drive, "burn", third)
        self.assertReads(image, 0, third)

    def test_a_cd_r_is_not_erased(self):
        image = self.path("cd-r.iso")
        self.orlet_burn("cd-r=" + image, "burn", make_tree(self.path("tree")))
        before = digest(image)
        out = self.orlet_burn("cd-r=" + image, "erase", status=EXIT_FAILED)
        self.assertIn("the disc cannot be erased (code 2106)", out)
        self.assertEqual(digest(image), before)


class NamesTest(Case):
    def test_names_that_writers_must_change_read_back_in_every_reader(self):
        names = self.path("names")
        write(os.path.join(names, "README.TXT"), "upper case")
        write(os.path.join(names, "readme.txt"), "lower case")
        write(os.path.join(names, "a.b.c.d.txt"), "dots")
        write(os.path.join(names, "same eight chars 1.txt"), "first of the eight")
        write(os.path.join(names, "same eight chars 2.txt"), "second of the eight")
        # Long Joliet names with a shared beginning: two that fit whole, two
        # that are cut to the same length and must be told apart.
        kept = "a long name that shares its beginning with others " * 2
        write(os.path.join(names, kept[:95] + " one.txt"), "fits, one")
        write(os.path.join(names, kept[:95] + " two.txt"), "fits, two")
        cut = "a name too long for joliet " * 5
        write(os.path.join(names, cut + "first.txt"), "cut, first")
        write(os.path.join(names, cut + "second.txt"), "cut, second")
        write(os.path.join(names, "non-ascii", "café crème.txt"), "latin-1")
        write(os.path.join(names, "non-ascii", "Ünïcödé", "ελληνικά.txt"), "greek")
        write(os.path.join(names, "non-ascii", "日本語のファイル名.txt"), "japanese")
        write(os.path.join(names, "non-ascii", "emoji 😀 beyond the BMP.txt"), "surrogates")
        os.makedirs(os.path.join(names, "empty"))
        os.makedirs(os.path.join(names, "nested", "empty inside"))
        image = self.path("names.iso")
        drive = "dvd+r=" + image
        self.orlet_burn(drive, "burn", names)
        self.assertReads(image, 0, names)
        out = self.orlet_burn(drive, "verify", names)
        self.assertIn("but for 2 names changed to fit the disc", out)
        self.assertEqual(out.count("(the name is too long for the disc)"), 2)


class LargeFileTest(Case):
    def test_a_sparse_four_gibibyte_file_reads_back_in_every_reader(self):
        big = self.path("big", "four gibibytes.bin")
        size = 4 << 30
        os.makedirs(os.path.dirname(big))
        with open(big, "wb") as out:
            out.truncate(size)
            for offset, mark in ((0, b"first bytes"), ((4 << 30) - 4096, b"across the 4 GiB - 2048"),
                                 (size - 10, b"last bytes")):
                out.seek(offset)
                out.write(mark)
        write(self.path("big", "after.txt"), "a file after the big one")
        image = self.path("dvd.iso")
        self.orlet_burn("dvd+r=" + image, "burn", self.path("big"))
        self.assertReads(image, 0, self.path("big"))


class RefusalTest(Case):
    """Refused and failed burns: a message in words with the reason, a
    non-zero exit, and the disc exactly as it was."""

    def disc_with_one_session(self, medium="cd-r"):
        image = self.path(medium + ".iso")
        tree = make_tree(self.path("tree"))
        self.orlet_burn("%s=%s" % (medium, image), "burn", tree)
        return image, tree

    def test_a_closed_disc_is_refused_as_full(self):
        image, tree = self.disc_with_one_session()
        with open(image + ".state") as state:
            text = state.read()
        with open(image + ".state", "w") as state:
            state.write(text.replace("disc appendable", "disc complete"))
        before = digest(image)
        out = self.orlet_burn("cd-r=" + image, "burn", self.path("tree", "readme.txt"),
                              status=EXIT_FAILED)
        self.assertIn("the disc is full: it is closed or has no room for another session", out)
        self.assertEqual(digest(image), before)
        self.assertReads(image, 0, tree)

    def test_files_larger_than_the_free_space_are_refused(self):
        image, tree = self.disc_with_one_session()
        big = self.path("larger than a cd.bin")
        with open(big, "wb") as out:
            out.truncate(800 << 20)
        before = digest(image)
        out = self.orlet_burn("cd-r=" + image, "burn", big, status=EXIT_FAILED)
        self.assertRegex(out, r"the disc is full: the new files need 800\.0 MB, the disc has "
                              r"[\d.]+ MB free; nothing was written")
        self.assertEqual(digest(image), before)
        self.assertReads(image, 0, tree)

    def test_a_folder_that_does_not_exist_is_refused(self):
        image, tree = self.disc_with_one_session()
        before = digest(image)
        missing = self.path("no such folder")
        out = self.orlet_burn("cd-r=" + image, "burn", missing, status=EXIT_FAILED)
        self.assertIn("%s: no such file or folder" % missing, out)
        self.assertEqual(digest(image), before)

    def test_each_refusal_code_is_told_in_words(self):
        pressed = self.path("pressed.iso")
        subprocess.run(["genisoimage", "-quiet", "-J", "-o", pressed, make_tree(self.path("t"))],
                       check=True)
        rewritable, _ = self.disc_with_one_session("dvd+rw")
        tree = self.path("t")
        cases = [
            ("cd-rom=" + pressed, ["burn", tree], "the drive cannot write this disc (code 127)"),
            ("empty", ["burn", tree], "no disc in the drive (code 2102)"),
            ("dvd+rw=" + rewritable, ["burn", tree],
             "the rewritable disc holds data: --force appends a session that keeps its files "),
            ("empty", ["erase"], "the erase was refused"),
            ("cd-r=" + self.path("blank.iso"), ["burn", "--drive", "3", tree],
             "there is no drive 3 (1 drive found)"),
            ("floppy=" + self.path("x.iso"), ["drives"], "--virtual floppy="),
        ]
        for drive, args, words in cases:
            with self.subTest(drive=drive, args=args):
                before = digest(drive.split("=", 1)[-1])
                out = self.orlet_burn(drive, *args, status=EXIT_FAILED)
                self.assertIn(words, out)
                self.assertEqual(digest(drive.split("=", 1)[-1]), before)

    def test_a_bad_drive_list_in_the_environment_is_refused(self):
        out = self.orlet_burn(None, "drives", status=EXIT_FAILED,
                              drives_env="cd-r=%s;tape=%s" % (self.path("a.iso"), self.path("b")))
        self.assertIn("the burning SDK did not start", out)
        self.assertFalse(os.path.exists(self.path("a.iso")))

    def test_each_kind_of_unreadable_entry_is_named_and_skipped_only_on_request(self):
        """Entries below a path that cannot be read: each is named with its
        reason; the burn writes nothing and exits 1, or with
        --skip-unreadable burns the rest and exits 0."""
        def locked(src):
            write(os.path.join(src, "sub", "locked", "secret.txt"), "not listed")
            os.chmod(os.path.join(src, "sub", "locked"), 0)
            return [("sub/locked", "permission denied (the folder's contents cannot be listed)")]

        def unsearchable(src):
            write(os.path.join(src, "sub", "listed", "inner.txt"), "listed, not opened")
            os.chmod(os.path.join(src, "sub", "listed"), 0o444)
            return [("sub/listed/inner.txt", "permission denied")]

        def unopenable(src):
            write(os.path.join(src, "sub", "secret.txt"), "seen, not opened")
            os.chmod(os.path.join(src, "sub", "secret.txt"), 0)
            return [("sub/secret.txt", "permission denied")]

        def dangling(src):
            os.symlink("nowhere", os.path.join(src, "sub", "dangling"))
            return [("sub/dangling", "dangling link")]

        def self_link(src):
            os.symlink("self", os.path.join(src, "sub", "self"))
            return [("sub/self", "link loop")]

        def parent_link(src):
            os.symlink("..", os.path.join(src, "sub", "up"))
            return [("sub/up", "link loop (it leads back to a folder that holds it)")]

        def too_deep(src):
            # src is level 1 and sub level 2: the last "d" is one level too deep.
            write(os.path.join(src, "sub", *["d"] * (MAX_IMPORT_DEPTH - 1), "leaf.txt"), "deep")
            return [("sub/" + "d/" * (MAX_IMPORT_DEPTH - 2) + "d",
                     "path too deep (more than %d folder levels)" % MAX_IMPORT_DEPTH)]

        def too_long(src):
            folder = os.open(os.path.join(src, "sub"), os.O_RDONLY | os.O_DIRECTORY)
            try:
                os.close(os.open("n" * 200, os.O_WRONLY | os.O_CREAT, dir_fd=folder))
            finally:
                os.close(folder)
            return [("sub/" + "n" * 200,
                     "path too deep (longer than the system's %d-byte limit)" % PATH_MAX)]

        def nothing(_):
            pass

        def empty_folder(name):
            return lambda expected: os.makedirs(os.path.join(expected, "sub", name))

        def deep_folders(expected):
            os.makedirs(os.path.join(expected, "sub", *["d"] * (MAX_IMPORT_DEPTH - 2)))

        def src_in(folder):
            return os.path.join(folder, "src")

        root = os.geteuid() == 0
        rows = [
            # what, needs a user other than root, where the source is, its
            # unreadable entries, what the disc holds of them
            ("a folder that cannot be listed", True, src_in, locked, empty_folder("locked")),
            ("a folder whose entries cannot be examined", True, src_in, unsearchable,
             empty_folder("listed")),
            ("a file that cannot be opened", True, src_in, unopenable, nothing),
            ("a dangling link", False, src_in, dangling, nothing),
            ("a link to itself", False, src_in, self_link, nothing),
            ("a link to a folder above it", False, src_in, parent_link, nothing),
            ("folders nested too deep", False, src_in, too_deep, deep_folders),
            ("a path longer than the system takes", False, long_root, too_long, nothing),
        ]
        os.chmod(self.scratch, 0o755)
        for number, (what, permissions, where, spoil, keep) in enumerate(rows):
            with self.subTest(what):
                as_user = AS_NOBODY if permissions and root else []
                if as_user and shutil.which("setpriv") is None:
                    self.skipTest("root reads every file and setpriv is missing to run as nobody")
                folder = self.path(str(number))
                src = readable_tree(where(folder))
                # What nobody must read, whatever the umask.
                for top, _, files in os.walk(folder):
                    os.chmod(top, 0o755)
                    for name in files:
                        os.chmod(os.path.join(top, name), 0o644)
                omitted = spoil(src)
                expected = readable_tree(os.path.join(folder, "expected"))
                keep(expected)
                disc = os.path.join(folder, "disc")
                os.makedirs(disc)
                if as_user:
                    os.chown(disc, NOBODY, NOBODY)
                image = os.path.join(disc, "dvd+r.iso")
                named = ["%s/%s: %s" % (src, path, reason) for path, reason in omitted]

                out = self.orlet_burn("dvd+r=" + image, "burn", src, status=EXIT_FAILED,
                                      as_user=as_user)
                self.assertEqual(re.findall(r"^orlet-burn: (.*)$", out, re.M), named + [
                    "nothing usable was written: %s cannot be read (named above); "
                    "--skip-unreadable burns the rest without them" % entries(len(omitted))])
                self.assertEqual(digest(image), [None, None])

                out = self.orlet_burn("dvd+r=" + image, "burn", "--skip-unreadable", src,
                                      as_user=as_user)
                self.assertEqual(re.findall(r"^orlet-burn: (.*)$", out, re.M),
                                 ["warning: " + line for line in named] +
                                 ["warning: left off the disc: %s that cannot be read" %
                                  entries(len(omitted))])
                self.assertIn("done: the disc was written without %s that cannot be read "
                              "(named above)" % entries(len(omitted)), out)
                self.assertReads(image, 0, "/src=" + expected)


class DrivesTest(Case):
    def test_the_drives_of_the_environment_come_first_in_list_order(self):
        other = self.path("other.iso")
        subprocess.run(["genisoimage", "-quiet", "-J", "-V", "OTHER", "-o", other,
                        make_tree(self.path("t"))], check=True)
        env = "cd-r=%s;empty;dvd+rw=%s" % (self.path("blank.iso"), other)
        out = self.orlet_burn("bd-r=" + self.path("bd.iso"), "drives", drives_env=env)
        # Columns: number, letter, vendor and product, disc (from column 37).
        rows = [line.split()[:2] + [line[37:47].strip()] for line in out.splitlines()[1:]]
        self.assertEqual(rows, [["0", "D:", "CD-R"], ["1", "E:", "Empty"], ["2", "F:", "DVD+RW"],
                                ["3", "G:", "BD-R"]], out)
        # Without --drive, a burn goes to the drive given with --virtual.
        tree = self.path("t")
        out = self.orlet_burn("bd-r=" + self.path("bd.iso"), "burn", tree, drives_env=env)
        self.assertIn("burning to drive 3 (G: BD-R, blank)", out)
        self.assertFalse(os.path.exists(self.path("blank.iso.state")))
        self.assertReads(self.path("bd.iso"), 0, tree)
        info = self.orlet_burn(None, "info", "0", drives_env=env)
        self.assertIn("disc              CD-R (type 2), blank", info)
        self.assertIn("can write disc    yes", info)
        self.assertIn("write speeds      4.0x (706 KB/s)", info)
        info = self.orlet_burn(None, "info", "2", drives_env=env)
        self.assertIn("label             OTHER", info)
        self.assertIn("erasable          yes", info)


class InterruptTest(Case):
    """Ctrl-C (SIGINT) to a running burn: it stops, says so, exits with 130,
    and the disc keeps its earlier session and takes the next one."""

    def interrupt(self, image, source, at_line):
        """Runs a burn and sends SIGINT when it prints at_line; answers its
        exit status and output."""
        process = subprocess.Popen([ORLET_BURN, "--virtual", "dvd+r=" + image, "burn", source],
                                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                   env=self.env())
        lines = []
        deadline = time.monotonic() + PATIENCE
        for raw in process.stdout:
            lines.append(raw.decode("utf-8", "replace"))
            if at_line in lines[-1]:
                process.send_signal(signal.SIGINT)
                break
            self.assertLess(time.monotonic(), deadline)
        rest, _ = process.communicate(timeout=PATIENCE)
        return process.returncode, "".join(lines) + rest.decode("utf-8", "replace")

    def check_interrupted(self, at_line, events):
        image = self.path("dvd.iso")
        tree = make_tree(self.path("tree"))
        self.orlet_burn("dvd+r=" + image, "burn", tree)
        before = digest(image)[1]
        big = self.path("long write.bin")
        with open(big, "wb") as out:
            out.truncate(LONG_WRITE)
        status, out = self.interrupt(image, big, at_line)
        self.assertEqual(status, EXIT_CANCELLED, out)
        self.assertIn("cancelling...", out)
        for event in events:
            self.assertIn(event, out)
        self.assertNotIn("recorded; session closed", out)
        self.assertIn("orlet-burn: cancelled; nothing was written", out)
        with open(image + ".state", "rb") as state:
            self.assertEqual(state.read(), before)
        self.assertReads(image, 0, tree)
        # The disc takes the next session.
        note = self.path("after.txt")
        write(note, "written after the interrupted burn\n")
        start = self.next_session("dvd+r=" + image)
        self.orlet_burn("dvd+r=" + image, "burn", note)
        self.assertReads(image, start, tree, note)

    def test_ctrl_c_during_the_write_cancels_it(self):
        self.check_interrupted("image ready; writing",
                               ["  the write was cancelled\n  the burn failed\n"])

    def test_ctrl_c_while_the_disc_is_examined_cancels_the_job(self):
        self.check_interrupted("examining the disc", ["  the burn failed\n"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
