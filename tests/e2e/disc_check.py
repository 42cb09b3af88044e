#!/usr/bin/python3
"""Reads one session of a disc image with four independent readers (xorriso,
isoinfo, 7z and pycdlib) and compares what each of them finds with the source
files: every folder, every file's size and a hash of its content.

    disc_check.py IMAGE START SPEC...

START is the block where the session begins. Each SPEC says where a source
lies on the disc: "DISCPATH=LOCALPATH" ("/=DIR" puts the contents of DIR at
the root), or a plain path, which lands at the root under its own name.
Prints what differs and exits 1, or prints one line and exits 0.

The rules the comparison follows:
- A name longer than the disc's Joliet limit is shortened by the writer; it
  matches an otherwise unmatched file of the same folder with the same content
  whose name keeps the source name's beginning. Every reader must then see the
  same shortened name.
- isoinfo prints Joliet names in Latin-1, each UTF-16 unit beyond it as "_".
- Files of BIG_FILE bytes or more are compared by size, and by the hashes of
  their first and last SAMPLE bytes where the reader can read a part of a file
  (xorriso and pycdlib); isoinfo and 7z compare their sizes only.
- The session's ISO 9660 tree (read by pycdlib) must hold valid, unique
  identifiers and the same folders and file contents as its Joliet tree.
- 7z and pycdlib read the volume descriptors at block 16 only, so a session
  that starts elsewhere is read from a copy of the image whose block 16 on
  holds that session's descriptors, as a drive shows a multi-session disc.
"""

import hashlib
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

BLOCK = 2048
DESCRIPTORS_AT = 16  # the volume descriptor set starts at block 16 of a session
TERMINATOR = 255  # volume descriptor set terminator
BIG_FILE = 64 << 20
SAMPLE = 64 << 10
JOLIET_LIMIT = 103  # UTF-16 units of a Joliet name, as long-name writers allow
KEPT_PREFIX = 32  # a shortened name keeps at least this much of the source name
ISO_IDENTIFIER = re.compile(r"^[A-Z0-9_]*(\.[A-Z0-9_]*)?;1$")
ISO_DIRECTORY = re.compile(r"^[A-Z0-9_]+$")


class Entry:
    """A folder (size None) or a file with its size and content digest. The
    digest is None when a reader cannot read the content."""

    def __init__(self, size=None, digest=None):
        self.size = size
        self.digest = digest

    @property
    def folder(self):
        return self.size is None

    def __repr__(self):
        return "folder" if self.folder else "%d bytes %s" % (self.size, self.digest or "")


def sample_digest(head, tail):
    return "head %s tail %s" % (hashlib.sha1(head).hexdigest()[:12],
                                hashlib.sha1(tail).hexdigest()[:12])


def digest_stream(read, size):
    """The digest of a content read in pieces by read(n); BIG_FILE and over:
    the caller gives head and tail instead."""
    hash_ = hashlib.sha1()
    left = size
    while left > 0:
        piece = read(min(left, 1 << 20))
        if not piece:
            break
        hash_.update(piece)
        left -= len(piece)
    return hash_.hexdigest()[:12]


def file_digest(path, size):
    with open(path, "rb") as source:
        if size < BIG_FILE:
            return digest_stream(source.read, size)
        head = source.read(SAMPLE)
        source.seek(size - SAMPLE)
        return sample_digest(head, source.read(SAMPLE))


def expected_listing(specs):
    listing = {}
    for spec in specs:
        disc, _, local = spec.partition("=") if "=" in spec else (None, None, spec)
        if disc is None:
            disc = "/" + os.path.basename(os.path.normpath(local))
        disc = disc.rstrip("/")
        if os.path.isdir(local):
            if disc:
                listing[disc] = Entry()
            for top, folders, files in os.walk(local):
                inner = disc + top[len(local.rstrip("/")):]
                for name in folders:
                    listing[inner + "/" + name] = Entry()
                for name in files:
                    path = os.path.join(top, name)
                    size = os.path.getsize(path)
                    listing[inner + "/" + name] = Entry(size, file_digest(path, size))
        else:
            size = os.path.getsize(local)
            listing[disc] = Entry(size, file_digest(local, size))
    return listing


def run(args, **kwargs):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False,
                          **kwargs)


def utf16_units(name):
    return len(name.encode("utf-16-le")) // 2


def latin1_form(path):
    """The path as isoinfo prints Joliet names: Latin-1, "_" per other unit."""
    out = []
    for char in path:
        out.append(char if ord(char) < 0x100 else "_" * utf16_units(char))
    return "".join(out)


# ---- the readers -------------------------------------------------------------


def read_xorriso(image, start, scratch):
    # -load before -indev: the session is chosen before anything is loaded (the
    # other way round xorriso first loads block 0's session, and gives up on
    # a disc whose first track an interruption cut short).
    base = ["xorriso", "-abort_on", "FAILURE", "-load", "sbsector", str(start), "-indev", image]
    found = run(base + ["-find", "/", "-exec", "lsdl", "--"])
    if found.returncode != 0:
        return None, "xorriso -find failed: " + found.stderr.decode(errors="replace")[-400:]
    listing = {}
    for line in found.stdout.decode("utf-8", errors="surrogateescape").splitlines():
        fields = line.split(None, 8)
        if len(fields) < 9:
            continue
        path = shlex.split(fields[8])[0]
        if path == "/":
            continue
        listing[path] = Entry() if fields[0].startswith("d") else Entry(int(fields[4]))
    out = os.path.join(scratch, "xorriso")
    os.mkdir(out)
    small = [p for p, e in listing.items() if not e.folder and e.size < BIG_FILE]
    command = base + ["-osirrox", "on", "-iso_rr_pattern", "off"]
    if small:
        command += ["-extract_l", "/", out] + small + ["--"]
    parts = {}
    for number, path in enumerate(p for p, e in listing.items() if not e.folder and e.size >= BIG_FILE):
        head = os.path.join(scratch, "head%d" % number)
        tail = os.path.join(scratch, "tail%d" % number)
        command += ["-extract_cut", path, "0", str(SAMPLE), head,
                    "-extract_cut", path, str(listing[path].size - SAMPLE), str(SAMPLE), tail]
        parts[path] = (head, tail)
    extracted = run(command)
    if extracted.returncode != 0:
        return None, "xorriso -extract failed: " + extracted.stderr.decode(errors="replace")[-400:]
    for path in small:
        local = out + path
        listing[path].digest = file_digest(local, os.path.getsize(local))
    for path, (head, tail) in parts.items():
        with open(head, "rb") as first, open(tail, "rb") as last:
            listing[path].digest = sample_digest(first.read(), last.read())
    return listing, None


def read_isoinfo(image, start):
    base = ["isoinfo", "-i", image, "-T", str(start), "-J"]
    listed = run(base + ["-l"])
    if listed.returncode != 0:
        return None, "isoinfo -l failed: " + listed.stderr.decode(errors="replace")[-400:]
    listing = {}
    folder = "/"
    heading = "Directory listing of "
    for line in listed.stdout.decode("latin-1").splitlines():
        if line.startswith(heading):
            folder = line[len(heading):]
            continue
        bracket = line.find("[")
        if bracket < 0:
            continue
        fields = line[:bracket].split()
        # "[ extent flags]  name ": a record of several extents prints its
        # flags without the bracket and one space before the name.
        match = re.match(r"\[\s*\d+\s+[0-9A-Fa-f]+\]?\s+(.*)$", line[bracket:])
        if match is None or not fields:
            continue
        name = match.group(1)
        if name.endswith(" "):
            name = name[:-1]
        if name in (".", ".."):
            continue
        path = folder + name
        if fields[0].startswith("d"):
            listing[path] = Entry()
        else:
            size = int(fields[4]) + (listing[path].size if path in listing else 0)
            listing[path] = Entry(size)
    for path, entry in listing.items():
        if entry.folder or entry.size >= BIG_FILE:
            continue
        content = run(base + ["-x", path.encode("latin-1")])
        entry.digest = hashlib.sha1(content.stdout).hexdigest()[:12]
    return listing, None


def read_7z(view, scratch):
    listed = run(["7z", "l", "-slt", view])
    if listed.returncode != 0:
        return None, "7z l failed: " + listed.stdout.decode(errors="replace")[-400:]
    listing = {}
    items = False
    path = None
    folder = False
    for line in listed.stdout.decode("utf-8", errors="surrogateescape").splitlines():
        if line == "----------":
            items = True
        if not items:
            continue
        if line.startswith("Path = "):
            path = "/" + line[len("Path = "):]
        elif line.startswith("Folder = "):
            folder = line.endswith("+")
        elif line.startswith("Size = "):
            listing[path] = Entry() if folder else Entry(int(line[len("Size = "):]))
    out = os.path.join(scratch, "7z")
    command = ["7z", "x", "-y", "-o" + out, view]
    command += ["-x!" + p[1:] for p, e in listing.items() if not e.folder and e.size >= BIG_FILE]
    extracted = run(command)
    if extracted.returncode != 0:
        return None, "7z x failed: " + extracted.stdout.decode(errors="replace")[-400:]
    for path, entry in listing.items():
        if not entry.folder and entry.size < BIG_FILE:
            local = out + path
            entry.digest = file_digest(local, os.path.getsize(local))
    return listing, None


class _Digest:
    """A file object that hashes what pycdlib writes to it."""

    def __init__(self):
        self.hash = hashlib.sha1()

    def write(self, data):
        self.hash.update(data)
        return len(data)


def read_pycdlib(view):
    """The Joliet tree as a listing, and problems of the ISO 9660 tree."""
    import pycdlib  # pylint: disable=import-outside-toplevel

    disc = pycdlib.PyCdlib()
    try:
        disc.open(view)
    except Exception as error:  # pylint: disable=broad-except
        return None, "pycdlib cannot open the image: %s" % error, []

    def file_entry(key, path):
        record = disc.get_record(**{key: path})
        records = []
        while record is not None:
            records.append(record)
            record = record.data_continuation
        size = sum(r.get_data_length() for r in records)
        if size < BIG_FILE:
            sink = _Digest()
            disc.get_file_from_iso_fp(sink, **{key: path})
            return Entry(size, sink.hash.hexdigest()[:12])
        # A big file: its first and last bytes, read where its records point.
        with open(view, "rb") as image:
            image.seek(records[0].extent_location() * BLOCK)
            head = image.read(SAMPLE)
            last = records[-1]
            image.seek(last.extent_location() * BLOCK + last.get_data_length() - SAMPLE)
            return Entry(size, sample_digest(head, image.read(SAMPLE)))

    def walk(key):
        listing = {}
        for top, folders, files in disc.walk(**{key: "/"}):
            base = top.rstrip("/")
            for name in folders:
                listing[base + "/" + name] = Entry()
            for name in files:
                listing[base + "/" + name] = file_entry(key, base + "/" + name)
        return listing

    try:
        joliet = walk("joliet_path")
        iso = walk("iso_path")
    finally:
        disc.close()
    return joliet, None, iso_tree_problems(iso, joliet)


def iso_tree_problems(iso, joliet):
    problems = []
    for path, entry in iso.items():
        name = path.rsplit("/", 1)[1]
        valid = ISO_DIRECTORY if entry.folder else ISO_IDENTIFIER
        if not valid.match(name):
            problems.append("ISO 9660 tree: %s is not a valid identifier" % path)
    # Identifiers are unique by construction of the listing's keys; what the
    # Joliet tree holds, the ISO 9660 tree must hold too: the same folders
    # at the same depths and the same file contents.
    def shape(listing):
        return sorted((path.count("/"), "" if e.folder else "%d %s" % (e.size, e.digest))
                      for path, e in listing.items())
    if shape(iso) != shape(joliet):
        problems.append("the ISO 9660 tree does not hold what the Joliet tree holds")
    return problems


# ---- the comparison ------------------------------------------------------------


def compare(reader, expected, actual, name_form=lambda p: p):
    """Problems of one reader's listing; also the shortened names it saw."""
    problems = []
    wanted = {name_form(path): (path, entry) for path, entry in expected.items()}
    left = dict(actual)
    missing = []
    for shown, (path, entry) in sorted(wanted.items()):
        seen = left.pop(shown, None)
        if seen is None:
            missing.append((shown, path, entry))
            continue
        problems += differences(reader, shown, entry, seen)
    shortened = {}
    for shown, path, entry in missing:
        folder, name = path.rsplit("/", 1)
        match = None
        if utf16_units(name) > JOLIET_LIMIT and not entry.folder:
            for other in sorted(left):
                other_folder, other_name = other.rsplit("/", 1)
                if (other_folder == name_form(folder) and not left[other].folder and
                        left[other].size == entry.size and
                        left[other].digest in (None, entry.digest) and
                        other_name[:KEPT_PREFIX] == name_form(name)[:KEPT_PREFIX]):
                    match = other
                    break
        if match is None:
            problems.append("%s: %s is missing" % (reader, shown))
        else:
            left.pop(match)
            shortened[path] = match
    for other in sorted(left):
        problems.append("%s: %s is on the disc but not among the sources" % (reader, other))
    return problems, shortened


def differences(reader, path, entry, seen):
    if entry.folder != seen.folder:
        return ["%s: %s is a %s on the disc" % (reader, path, "folder" if seen.folder else "file")]
    if entry.folder:
        return []
    if entry.size != seen.size:
        return ["%s: %s has %d bytes on the disc, %d in the source" %
                (reader, path, seen.size, entry.size)]
    if seen.digest is not None and seen.digest != entry.digest:
        return ["%s: the content of %s differs" % (reader, path)]
    return []


def make_view(image, start, scratch):
    """A copy of the image whose block 16 on holds the descriptors of the
    session at start; None when the session's descriptors would not fit."""
    if start == 0:
        return image, None
    with open(image, "rb") as disc:
        descriptors = []
        for block in range(start + DESCRIPTORS_AT, start + DESCRIPTORS_AT + 64):
            disc.seek(block * BLOCK)
            data = disc.read(BLOCK)
            if len(data) < BLOCK or data[1:6] != b"CD001":
                return None, "no volume descriptor at block %d" % block
            descriptors.append(data)
            if data[0] == TERMINATOR:
                break
        old = 0
        for block in range(DESCRIPTORS_AT, DESCRIPTORS_AT + len(descriptors)):
            disc.seek(block * BLOCK)
            data = disc.read(BLOCK)
            old += 1
            if data[0] == TERMINATOR or data[1:6] != b"CD001":
                break
    if old < len(descriptors):
        return None, "the session's descriptors would cover the first session's data"
    view = os.path.join(scratch, "view.iso")
    subprocess.run(["cp", "--sparse=always", image, view], check=True)
    with open(view, "r+b") as copy:
        copy.seek(DESCRIPTORS_AT * BLOCK)
        copy.write(b"".join(descriptors))
    return view, None


def check(image, start, specs):
    """Problems found by the readers; empty when every reader agrees with the
    sources."""
    for tool in ("xorriso", "isoinfo", "7z"):
        if shutil.which(tool) is None:
            return ["%s is not installed (scripts/setup installs it)" % tool]
    expected = expected_listing(specs)
    problems = []
    names = {}
    with tempfile.TemporaryDirectory(prefix="disc-check-", dir=os.path.dirname(image)) as scratch:
        view, why = make_view(image, start, scratch)
        readers = [("xorriso", lambda: read_xorriso(image, start, scratch)),
                   ("isoinfo", lambda: read_isoinfo(image, start))]
        if view is None:
            problems.append("7z and pycdlib cannot read the session: " + why)
        else:
            readers.append(("7z", lambda: read_7z(view, scratch)))
            readers.append(("pycdlib", lambda: read_pycdlib(view)))
        for reader, read in readers:
            result = read()
            listing, failure = result[0], result[1]
            if failure is not None:
                problems.append("%s: %s" % (reader, failure))
                continue
            if reader == "pycdlib":
                problems += result[2]
            form = latin1_form if reader == "isoinfo" else (lambda p: p)
            found, shortened = compare(reader, expected, listing, form)
            problems += found
            if reader != "isoinfo":
                names[reader] = shortened
    if len({tuple(sorted(s.items())) for s in names.values()}) > 1:
        problems.append("the readers see different shortened names: %r" % names)
    return problems


def main(argv):
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    image, start, specs = argv[1], int(argv[2]), argv[3:]
    problems = check(image, start, specs)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("ok: xorriso, isoinfo, 7z and pycdlib read the session at block %d as its sources" %
          start)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
