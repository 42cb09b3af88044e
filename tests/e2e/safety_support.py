"""What the end-to-end tests of orlet-burn and scripts/crash-campaign share:
orlet-burn runs, source trees, virtual discs with a known history, jobs stopped
at a chosen point (SIGKILL, or SIGSTOP to hold a writer in its track), and the
checks of what a user must find after, each answering a list of problems.
"""

import collections
import fcntl
import hashlib
import os
import pathlib
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

BLOCK = disc_check.BLOCK
PROGRAM = os.path.abspath(os.environ["ORLET_BURN"]) if os.environ.get("ORLET_BURN") else ""
# Media that take a next burn after any interruption. (A DVD-R DL is written
# disc-at-once: a cut burn leaves it unusable, as it does on a real drive.)
WRITABLE = ["cd-r", "cd-rw", "dvd-r", "dvd-rw", "dvd-rw-ro", "dvd-ram", "dvd+r", "dvd+rw",
            "dvd+r-dl", "bd-r", "bd-re"]
# Written in place: a later session rewrites the descriptors at block 16.
OVERWRITABLE = {"dvd-ram", "dvd+rw", "dvd-rw-ro", "bd-re"}
# Media `orlet-burn erase` takes; a burn to one that is not blank needs --force.
ERASABLE = {"cd-rw", "dvd-rw"} | OVERWRITABLE
IN_USE = "another program is using the drive"
PATIENCE = 120  # seconds an orlet-burn run may take before it counts as hung
# Seconds between two looks at a growing image: short against a write of a few
# MB at the virtual drive's speed (about a gigabyte a second here).
POLL = 0.00005
PIPE_PAGE = 4096  # the smallest pipe Linux makes


class Broken(Exception):
    """A step that must work before anything can be checked did not."""


class Run:
    """One orlet-burn run: its exit status and its output, stdout then stderr."""

    def __init__(self, command, status, output):
        self.command, self.status, self.output = command, status, output

    def __str__(self):
        tail = self.output.strip().splitlines()[-6:]
        return "`%s` exited %s: %s" % (" ".join(self.command[1:]), self.status, " | ".join(tail))


def environment(drives=None, quirks=None):
    env = dict(os.environ, STARBURN_REAL_DRIVES="0")  # the machine's own drives stay out
    env.pop("STARBURN_VIRTUAL_DRIVES", None)
    for name, value in (("STARBURN_VIRTUAL_DRIVES", drives), ("STARBURN_VIRTUAL_QUIRKS", quirks)):
        if value is not None:
            env[name] = value
    return env


def orlet_burn(args, drives=None, quirks=None, as_user=(), cwd=None, program=None):
    """Runs orlet-burn to its end (killed after PATIENCE seconds)."""
    command = [*as_user, program or PROGRAM] + list(args)
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, cwd=cwd,
                              env=environment(drives, quirks), timeout=PATIENCE, check=False)
    except subprocess.TimeoutExpired:
        return Run(command, "nothing", "(still running after %d s; killed)" % PATIENCE)
    return Run(command, done.returncode, (done.stdout + done.stderr).decode("utf-8", "replace"))


def write(path, content):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(content.encode() if isinstance(content, str) else content)


def pattern(size, seed):
    """size bytes that differ from file to file and from block to block."""
    unit = bytes((seed * 31 + i * 7) % 251 for i in range(4093))
    return (unit * (size // len(unit) + 1))[:size]


def make_sources(root, seed=1, big=0):
    """Nested and empty folders, non-ASCII names, files of the sizes around a
    block, and a file of big bytes (to stop a write in) when big."""
    os.makedirs(os.path.join(root, "empty folder"), exist_ok=True)
    write(os.path.join(root, "readme.txt"), "a tree burned by the end-to-end test %d\n" % seed)
    # Recorded on the first day of the first month at midnight, each field at its lowest.
    os.utime(os.path.join(root, "readme.txt"), (946684800, 946684800))  # 2000-01-01T00:00:00Z
    write(os.path.join(root, "zero bytes.dat"), b"")
    for size in (1, 2047, 2048, 2049, 100000):
        write(os.path.join(root, "sizes", "%d.bin" % size), pattern(size, seed + size))
    write(os.path.join(root, "deep", "a", "b", "c", "d", "leaf.txt"), "deep %d" % seed)
    write(os.path.join(root, "été", "plage à Nice.txt"), "plage %d" % seed)
    write(os.path.join(root, "日本", "富士山.txt"), "fuji %d" % seed)
    if big:
        write(os.path.join(root, "long write.bin"), pattern(big, seed))
    return root


def foreign_image(tool, image, tree):
    """An image of tree by genisoimage or xorriso, labelled with its name."""
    command = (["genisoimage", "-quiet", "-J", "-V", "GENISOIMAGE", "-o", image, tree]
               if tool == "genisoimage" else ["xorriso", "-outdev", image, "-joliet", "on",
                                               "-volid", "XORRISO", "-map", tree, "/"])
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return image


def display(medium):
    """The medium as `orlet-burn drives` prints it."""
    return medium.upper().replace("-DL", " DL").replace("-RW-RO", "-RW")


def copy_disc(image, to):
    """Copies an image (holes kept) and its state file, where they exist."""
    for suffix in ("", ".state"):
        if os.path.exists(to + suffix):
            os.unlink(to + suffix)
        if os.path.exists(image + suffix):
            subprocess.run(["cp", "--sparse=always", image + suffix, to + suffix], check=True)


class Disc:
    """A virtual disc in a drive of its own, and the sources of its last
    complete session (each at the root under its own name)."""

    def __init__(self, medium, image, program=None, quirks=None):
        self.program = program or PROGRAM
        self.medium, self.image, self.state, self.quirks = medium, image, image + ".state", quirks
        self.overwritable = medium in OVERWRITABLE
        self.contents = []
        os.makedirs(os.path.dirname(image), exist_ok=True)

    def command(self, *args):
        drive = self.medium if self.medium == "empty" else "%s=%s" % (self.medium, self.image)
        return [self.program, "--virtual", drive] + list(args)

    def run(self, *args):
        return orlet_burn(self.command(*args)[1:], quirks=self.quirks, program=self.program)

    def start(self, *args, stdout=subprocess.PIPE):
        return subprocess.Popen(self.command(*args), env=environment(quirks=self.quirks),
                                stdout=stdout, stderr=subprocess.STDOUT)

    def blocks(self):
        return -(-os.stat(self.image).st_size // BLOCK) if os.path.exists(self.image) else 0

    def saved(self):
        """The bytes of the image and of its state file (None: none)."""
        return [pathlib.Path(name).read_bytes() if os.path.exists(name) else None
                for name in (self.image, self.state)]

    def prefix_digest(self, blocks):
        """A hash of the image's first blocks, those past its end read as zeros."""
        with open(self.image, "rb") as data:
            piece = data.read(blocks * BLOCK)
        return hashlib.sha1(piece + bytes(blocks * BLOCK - len(piece))).hexdigest()

    @staticmethod
    def drive_line(listed):
        """The drive's line in `drives` output, or None."""
        match = re.search(r"^0\s+D:.*$", listed.output, re.M)
        return match.group(0) if match else None

    def next_session(self):
        """Where `info` says the next session starts, or None."""
        info = self.run("info", "0")
        match = re.search(r"next session at\s+block (\d+)", info.output)
        return int(match.group(1)) if info.status == 0 and match else None

    def last_session(self):
        """Where the state file says the last session starts: after a session
        left open `info` names its next block, while the next burn closes it
        and starts a new one after the gap. 0 on overwritable media."""
        if self.overwritable or not os.path.exists(self.state):
            return 0
        # The first track after each "session" line starts that session.
        starts = re.findall(r"^session\b.*\n(?:(?!track |session).*\n)*track (\d+)",
                            pathlib.Path(self.state).read_text(), re.M)
        return int(starts[-1]) if starts else 0

    def burn_args(self, source, blank):
        return ["burn"] + (["--force"] if self.medium in ERASABLE and not blank else []) + [source]

    def burn(self, source):
        """A burn that has to work: one more session of history."""
        done = self.run(*self.burn_args(source, not self.contents))
        if done.status != 0:
            raise Broken("burning %s: %s" % (os.path.basename(source), done))
        self.contents = self.contents + [source]


class Case(unittest.TestCase):
    maxDiff = None

    def setUp(self):
        if not PROGRAM or not os.access(PROGRAM, os.X_OK):
            self.fail("ORLET_BURN must name the orlet-burn program")
        base = os.environ.get("ORLET_E2E_SCRATCH")
        if base:
            os.makedirs(base, exist_ok=True)
        self.scratch = tempfile.mkdtemp(prefix=self.id().rsplit(".", 1)[-1] + "-",
                                        dir=os.path.abspath(base) if base else None)
        self.addCleanup(shutil.rmtree, self.scratch, True)

    def path(self, *names):
        return os.path.join(self.scratch, *names)

    def expect(self, done, *words, status=0):
        """Checks a run's exit status and words in its output; answers it."""
        self.assertEqual(done.status, status, done)
        for text in words:
            self.assertIn(text, done.output)
        return done.output

    def assertReads(self, image, start, *specs):  # pylint: disable=invalid-name
        problems = disc_check.check(image, start, list(specs))
        self.assertEqual(problems, [], "session at block %d of %s" % (start, image))

    def assertKept(self, disc, before, what="a refused job"):  # pylint: disable=invalid-name
        self.assertTrue(disc.saved() == before, "%s changed the disc" % what)


class Snapshot:
    """A disc before a job: its contents, and on written-once media a hash of
    the blocks before the next session, which the job must leave as they were."""

    def __init__(self, disc):
        self.contents = list(disc.contents)
        self.blocks = disc.blocks()
        self.next = None if disc.overwritable or not disc.contents else disc.next_session()
        if self.contents and self.next is None and not disc.overwritable:
            raise Broken("info names no next session on a disc that holds one")
        self.prefix = disc.prefix_digest(self.next) if self.next else None
        self.track_from = self.next or (self.blocks if disc.overwritable else 0)


def job_args(disc, kind, sources=None):
    """A burn of sources: "first" on a blank disc, "append", or "burn" (with
    --force wherever it may be needed: only a drive in use refuses it);
    "image": an image of sources written as it is to a blank disc; or another
    command."""
    if kind == "image":
        return ["burn-image", foreign_image("genisoimage", sources + ".iso", sources)]
    return disc.burn_args(sources, kind == "first") if kind in ("first", "append", "burn") \
        else [kind]


# Where a job is stopped: as it is about to print the "line" value (printed:
# the bytes of output before it), when its image has grown to the "block"
# value, when its image first "changed", or after a "delay" of value seconds.
Point = collections.namedtuple("Point", "kind value printed", defaults=(None, 0))


def line_point(line, rehearsed):
    """The point before the line holding words line in a rehearsal's output."""
    found = rehearsed.find(line)
    if found < 0:
        raise Broken('the job does not print "%s": %s' % (line, rehearsed.strip()[-300:]))
    return Point("line", line, len(rehearsed[:rehearsed.rfind("\n", 0, found) + 1].encode()))


class Stopped:
    """A job a signal was sent to (unless it ended first), and the image's
    blocks then."""

    def __init__(self, process, how, filler, signalled, blocks):
        self.process, self.how, self.filler = process, how, filler
        self.signalled, self.blocks = signalled, blocks

    def finish(self):
        """Reads the job's output to its end and waits for it; answers a Run."""
        if self.signalled and self.how == signal.SIGKILL:
            # Dead before its output is read: a job killed in the write of a
            # line must not finish that write once the reader makes room.
            self.process.wait(PATIENCE)
        try:
            data = self.process.communicate(timeout=PATIENCE)[0]
        except subprocess.TimeoutExpired:
            self.process.kill()
            data = self.process.communicate()[0]
        return Run(self.process.args, self.process.returncode,
                   data[self.filler:].decode("utf-8", "replace"))


def blocked_in_output(pid):
    """Whether a thread of the process waits for room in its output pipe."""
    try:
        return any("pipe_write" in pathlib.Path("/proc/%d/task/%s/wchan" % (pid, task)).read_text()
                   for task in os.listdir("/proc/%d/task" % pid))
    except OSError:
        return False  # the process or the thread has ended


def stop_job(disc, args, point, how):
    """Starts orlet-burn with args and sends it the signal how (if any) at point.

    To stop a job as it is about to print a line, its output goes to a pipe
    of one page filled beforehand so that exactly the output before that line
    fits: the job then waits in the write of the line, and is stopped there,
    not wherever it has got to by the time a reader of the line reacts."""
    read, write_end = os.pipe()
    filler = 0
    if point.kind == "line":
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, PIPE_PAGE)
        filler = fcntl.fcntl(write_end, fcntl.F_GETPIPE_SZ) - point.printed
        os.write(write_end, bytes(filler))
    process = disc.start(*args, stdout=write_end)
    os.close(write_end)
    process.stdout = os.fdopen(read, "rb")  # read by communicate() as its own pipe
    deadline = time.monotonic() + PATIENCE
    first = disc.saved()[0]
    reached = {"line": lambda: blocked_in_output(process.pid),
               "block": lambda: disc.blocks() >= point.value,
               "changed": lambda: disc.saved()[0] != first,
               "delay": lambda: time.sleep(point.value) or True}[point.kind]
    while process.poll() is None and time.monotonic() < deadline and not reached():
        time.sleep(POLL)
    blocks = disc.blocks()
    signalled = how is not None and process.poll() is None
    if signalled:
        process.send_signal(how)
    return Stopped(process, how, filler, signalled, blocks)


def rehearse(disc, args, folder):
    """Runs the job on a copy of the disc; answers the image's blocks at its
    end, how long it took and what it printed."""
    copy = Disc(disc.medium, os.path.join(folder, os.path.basename(disc.image)), disc.program)
    copy_disc(disc.image, copy.image)
    began = time.monotonic()
    done = copy.run(*args)
    took = time.monotonic() - began
    if done.status != 0:
        raise Broken("the job fails even when nothing stops it: %s" % done)
    blocks = copy.blocks()
    shutil.rmtree(folder, True)
    return blocks, took, done.output


def names(contents):
    return "[%s]" % ", ".join(os.path.basename(c) for c in contents) if contents else "nothing"


def first_reading(image, start, candidates):
    """The first candidate contents every reader finds in the session at
    start, or None with the readers' problems."""
    found = []
    for contents in candidates:
        problems = disc_check.check(image, start, contents) if contents else ["(empty)"]
        if not problems:
            return contents, []
        found.append("as %s: %s" % (names(contents), "; ".join(problems[:4])))
    return None, found


def unverified(disc, source, what):
    verified = disc.run("verify", source)
    ok = verified.status == 0 and "verified" in verified.output
    return [] if ok else ["%s does not verify: %s" % (what, verified)]


def check_next_burn(disc, candidates, sources):
    """The burn after a job: it works, verifies, and the readers find one of
    the candidate contents and the new sources in the new session. Answers
    the problems; disc.contents becomes what the disc holds."""
    done = disc.run(*disc.burn_args(sources, candidates == [[]]))
    if done.status != 0:
        return ["the next burn fails: %s" % done]
    start = disc.last_session()
    problems = unverified(disc, sources, "the next burn")
    held, found = first_reading(disc.image, start, [c + [sources] for c in candidates])
    if held is None:
        problems.append("the readers do not find what the next session should hold (at block "
                        "%d): %s" % (start, " / ".join(found)))
    else:
        disc.contents = held
    return problems


def check_after_kill(disc, kind, burned, before, sources):
    """After a job (kind, burning burned) was killed on disc: the drive is
    listed, the earlier sessions are as before, the disc is blank only where
    the job may leave it so, and the next burn of sources keeps everything."""
    listed = disc.run("drives")
    line = disc.drive_line(listed)
    if listed.status != 0 or line is None or display(disc.medium) not in line:
        return ["after the kill, `drives` does not list the disc: %s" % listed]
    problems = []
    blank = re.search(r"\bBlank\b", line) is not None
    if before.prefix and not (blank and kind == "erase"):
        if disc.prefix_digest(before.next) != before.prefix:
            problems.append("blocks before %d (the earlier sessions) changed" % before.next)
    if blank:
        if before.contents and kind != "erase":
            problems.append("`drives` shows the disc Blank; it held %s" % names(before.contents))
        candidates = [[]]
    elif kind == "erase":
        candidates = [before.contents]
    else:
        # Done, or as it was; a written-once disc may also have lost the
        # space of a first session cut short, and hold nothing to import.
        candidates = [before.contents + ["/=" + burned if kind == "image" else burned],
                      before.contents]
    if disc.overwritable and not blank:
        # Not blank: the descriptors at block 16 name a complete session.
        held, found = first_reading(disc.image, 0, [c for c in candidates if c])
        if held is None:
            return problems + ["`drives` shows the disc not blank, but the readers find none "
                               "of what it may hold: %s" % " / ".join(found)]
        candidates = [held]
    return problems + check_next_burn(disc, candidates, sources)


def holds_image(pid, image):
    """Whether process pid holds the exclusive advisory lock a recording
    takes on the image, as the kernel lists it in /proc/locks (a shared one
    is a reader's: a burn that ended its write and reads the disc back)."""
    try:
        inode = str(os.stat(image).st_ino)
        with open("/proc/locks") as locks:
            return any(fields[1:5] == ["FLOCK", "ADVISORY", "WRITE", str(pid)] and
                       fields[5].rsplit(":", 1)[-1] == inode
                       for fields in (line.split() for line in locks) if len(fields) >= 6)
    except OSError:
        return False


def meet(disc, first, command, second=None, point=None, offset=0.0):
    """A burn of first and a second command (a burn of second, an erase,
    drives) on one disc: the first held at point with SIGSTOP while the
    second runs, or without a point the second started offset seconds
    later. Answers whether it was held, the second's Run and the burns as
    (sources, Run)."""
    stopped = stop_job(disc, job_args(disc, "burn", first), point or Point("delay", offset),
                       point and signal.SIGSTOP)
    # Stopped in its track, it holds the image: unless the stop landed just
    # after it let the drive go, at the end of its write.
    held = stopped.signalled and (point.kind != "block" or
                                  holds_image(stopped.process.pid, disc.image))
    try:
        other = disc.run(*job_args(disc, command, second)) if held or not point else None
        if stopped.signalled:
            stopped.process.send_signal(signal.SIGCONT)
        done = stopped.finish()
        other = other or disc.run(*job_args(disc, command, second))
    finally:
        if stopped.process.poll() is None:
            stopped.process.send_signal(signal.SIGCONT)
            stopped.process.kill()
            stopped.process.wait()
    return held, other, [(first, done)] + ([(second, other)] if command == "burn" else [])


def check_second_while_held(disc, command, other):
    """What the second command says while a burn is held in its track:
    `drives` shows the drive in use, a burn or an erase is refused."""
    if command == "drives":
        line = disc.drive_line(other)
        if other.status != 0 or line is None or "in use" not in line:
            return ["`drives` during a write does not show the drive in use: %s" % other]
    elif other.status == 0 or IN_USE not in other.output:
        return ["a second %s while a burn was held in its track was not refused as the drive "
                "in use: %s" % (command, other)]
    return []


def check_writers(disc, before, runs, sources):
    """After two writers met on one disc (runs: (sources, Run)): one that
    failed says the drive was in use, one that succeeded verifies, the disc
    is listed and the next burn of sources keeps the files of both."""
    succeeded = [source for source, done in runs if done.status == 0]
    problems = ["a writer failed without saying another program uses the drive: %s" % done
                for _, done in runs if done.status != 0 and IN_USE not in done.output]
    for source in succeeded:
        problems += unverified(disc, source, "%s, reported written," % os.path.basename(source))
    listed = disc.run("drives")
    if listed.status != 0 or disc.drive_line(listed) is None:
        return problems + ["after the writers, `drives` does not list the disc: %s" % listed]
    return problems + check_next_burn(disc, [before.contents + succeeded], sources)
