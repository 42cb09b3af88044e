#!/usr/bin/python3
"""Reads one session of a disc image with four independent readers (xorriso,
isoinfo, 7z and pycdlib) and compares what each finds with the source files:
every folder, every file's size and a hash of its content.

    disc_check.py IMAGE START SPEC...

START is the session's first block. A SPEC is "DISCPATH=LOCALPATH" ("/=DIR":
DIR's contents at the root) or a path, which lands at the root under its own
name. Prints what differs and exits 1, or prints one line and exits 0.

A name over the Joliet limit matches an unmatched file of its folder with the
same content whose name keeps its beginning, the same for every reader. Files
of BIG_FILE bytes and more are compared by size, and by their first and last
SAMPLE bytes where a reader reads part of a file. 7z and pycdlib read block 16
only: a later session is read from a copy whose block 16 on holds its
descriptors, as a drive shows a multi-session disc.
"""

import hashlib
import io
import os
import pathlib
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
FOLDER = None  # the size of a folder in a listing {path: [size, digest]}


class Unreadable(Exception):
    """A reader failed."""


def digest(data):
    return hashlib.sha1(data).hexdigest()[:12]


def sample_digest(head, tail):
    return "head %s tail %s" % (digest(head), digest(tail))


def file_digest(path):
    """The digest of a file's content; BIG_FILE and over: of its head and tail."""
    size = os.path.getsize(path)
    with open(path, "rb") as source:
        if size >= BIG_FILE:
            head = source.read(SAMPLE)
            source.seek(size - SAMPLE)
            return sample_digest(head, source.read(SAMPLE))
        hash_ = hashlib.sha1()
        for piece in iter(lambda: source.read(1 << 20), b""):
            hash_.update(piece)
        return hash_.hexdigest()[:12]


def expected_listing(specs):
    listing = {}
    for spec in specs:
        disc, _, local = spec.partition("=") if "=" in spec else (None, None, spec)
        disc = (disc if disc is not None else "/" + os.path.basename(os.path.normpath(local)))
        disc = disc.rstrip("/")
        entries = [(disc, local)] if disc else []
        for top, folders, names in os.walk(local):
            inner = disc + top[len(local.rstrip("/")):]
            entries += [(inner + "/" + name, os.path.join(top, name)) for name in folders + names]
        for path, source in entries:
            listing[path] = [FOLDER, None] if os.path.isdir(source) else \
                [os.path.getsize(source), file_digest(source)]
    return listing


def run(args, what=None):
    """Runs a reader; what names it when its failure is one."""
    done = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
    if what and done.returncode != 0:
        raise Unreadable("%s failed: %s" % (what, (done.stdout[-200:] + done.stderr[-400:])
                                            .decode(errors="replace")))
    return done


def utf16_units(name):
    return len(name.encode("utf-16-le")) // 2


def latin1_form(path):
    """The path as isoinfo prints Joliet names: Latin-1, "_" per other unit."""
    return "".join(c if ord(c) < 0x100 else "_" * utf16_units(c) for c in path)


def files(listing, big=False):
    return [p for p, (size, _) in listing.items()
            if size is not FOLDER and (size >= BIG_FILE) == big]


def digest_extracted(listing, out):
    for path in files(listing):
        listing[path][1] = file_digest(out + path)
    return listing


# ---- the readers -------------------------------------------------------------


def read_xorriso(image, start, scratch):
    # -load before -indev: the session is chosen before anything is loaded (the
    # other way round xorriso first loads block 0's session, and gives up on
    # a disc whose first track an interruption cut short).
    base = ["xorriso", "-abort_on", "FAILURE", "-load", "sbsector", str(start), "-indev", image]
    found = run(base + ["-find", "/", "-exec", "lsdl", "--"], "xorriso -find")
    listing = {}
    for line in found.stdout.decode("utf-8", errors="surrogateescape").splitlines():
        fields = line.split(None, 8)
        path = shlex.split(fields[8])[0] if len(fields) == 9 else "/"
        if path != "/":
            listing[path] = [FOLDER if fields[0].startswith("d") else int(fields[4]), None]
    out = os.path.join(scratch, "xorriso")
    os.mkdir(out)
    command = base + ["-osirrox", "on", "-iso_rr_pattern", "off"]
    if files(listing):
        command += ["-extract_l", "/", out] + files(listing) + ["--"]
    cuts = {path: [os.path.join(scratch, "%s%d" % (end, number)) for end in ("head", "tail")]
            for number, path in enumerate(files(listing, big=True))}
    for path, (head, tail) in cuts.items():
        command += ["-extract_cut", path, "0", str(SAMPLE), head,
                    "-extract_cut", path, str(listing[path][0] - SAMPLE), str(SAMPLE), tail]
    run(command, "xorriso -extract")
    for path, (head, tail) in cuts.items():
        listing[path][1] = sample_digest(pathlib.Path(head).read_bytes(),
                                         pathlib.Path(tail).read_bytes())
    return digest_extracted(listing, out)


def read_isoinfo(image, start):
    """The Joliet tree as isoinfo lists it: each UTF-16 unit beyond Latin-1 as "_"."""
    base = ["isoinfo", "-i", image, "-T", str(start), "-J"]
    listing = {}
    folder = "/"
    heading = "Directory listing of "
    for line in run(base + ["-l"], "isoinfo -l").stdout.decode("latin-1").splitlines():
        if line.startswith(heading):
            folder = line[len(heading):]
            continue
        bracket = line.find("[")
        # "[ extent flags]  name ": a record of several extents prints its
        # flags without the bracket and one space before the name.
        match = re.match(r"\[\s*\d+\s+[0-9A-Fa-f]+\]?\s+(.*?) ?$", line[bracket:])
        fields = line[:bracket].split()
        if bracket < 0 or match is None or not fields or match.group(1) in (".", ".."):
            continue
        path = folder + match.group(1)
        if fields[0].startswith("d"):
            listing[path] = [FOLDER, None]
        else:
            listing[path] = [int(fields[4]) + (listing[path][0] if path in listing else 0), None]
    for path in files(listing):
        listing[path][1] = digest(run(base + ["-x", path.encode("latin-1")]).stdout)
    return listing


def read_7z(view, scratch):
    listing = {}
    items = folder = False
    path = None
    for line in run(["7z", "l", "-slt", view], "7z l").stdout.decode(
            "utf-8", errors="surrogateescape").splitlines():
        items = items or line == "----------"
        if items and line.startswith("Path = "):
            path = "/" + line[len("Path = "):]
        elif items and line.startswith("Folder = "):
            folder = line.endswith("+")
        elif items and line.startswith("Size = "):
            listing[path] = [FOLDER if folder else int(line[len("Size = "):]), None]
    out = os.path.join(scratch, "7z")
    run(["7z", "x", "-y", "-o" + out, view] + ["-x!" + p[1:] for p in files(listing, big=True)],
        "7z x")
    return digest_extracted(listing, out)


def read_pycdlib(view, problems):
    """The Joliet tree as a listing; adds the problems of the ISO 9660 tree:
    an identifier that is not valid, or not what the Joliet tree holds."""
    import pycdlib  # pylint: disable=import-outside-toplevel

    disc = pycdlib.PyCdlib()
    try:
        disc.open(view)
    except Exception as error:  # pylint: disable=broad-except
        raise Unreadable("cannot open the image: %s" % error) from error

    def file_entry(key, path):
        records = [disc.get_record(**{key: path})]
        while records[-1].data_continuation is not None:
            records.append(records[-1].data_continuation)
        size = sum(r.get_data_length() for r in records)
        if size < BIG_FILE:
            sink = io.BytesIO()
            disc.get_file_from_iso_fp(sink, **{key: path})
            return [size, digest(sink.getvalue())]
        # A big file: its first and last bytes, read where its records point.
        with open(view, "rb") as image:
            image.seek(records[0].extent_location() * BLOCK)
            head = image.read(SAMPLE)
            image.seek(records[-1].extent_location() * BLOCK + records[-1].get_data_length() -
                       SAMPLE)
            return [size, sample_digest(head, image.read(SAMPLE))]

    def walk(key):
        listing = {}
        for top, folders, names in disc.walk(**{key: "/"}):
            for name in folders + names:
                path = top.rstrip("/") + "/" + name
                listing[path] = [FOLDER, None] if name in folders else file_entry(key, path)
        return listing

    try:
        joliet, iso = walk("joliet_path"), walk("iso_path")
    finally:
        disc.close()
    problems += ["ISO 9660 tree: %s is not a valid identifier" % path for path, (size, _) in
                 iso.items() if not (ISO_DIRECTORY if size is FOLDER else
                                     ISO_IDENTIFIER).match(path.rsplit("/", 1)[1])]

    # The same folders at the same depths and the same file contents.
    def shape(listing):
        return sorted((p.count("/"), "" if s is FOLDER else "%d %s" % (s, d))
                      for p, (s, d) in listing.items())
    if shape(iso) != shape(joliet):
        problems.append("the ISO 9660 tree does not hold what the Joliet tree holds")
    return joliet
# ---- the comparison ------------------------------------------------------------


def describe(entry):
    return "a folder" if entry[0] is FOLDER else "%d bytes (%s)" % (entry[0], entry[1] or "unread")


def compare(reader, expected, actual, name_form):
    """Problems of one reader's listing; also the shortened names it saw."""
    problems = []
    left = dict(actual)
    missing = []
    wanted = {name_form(path): (path, entry) for path, entry in expected.items()}
    for shown, (path, (size, digest)) in sorted(wanted.items()):
        seen = left.pop(shown, None)
        if seen is None:
            missing.append((shown, path, size, digest))
        elif seen[0] != size or seen[1] not in (None, digest):
            problems.append("%s: %s is %s on the disc, %s in the source" % (
                reader, shown, describe(seen), describe([size, digest])))
    shortened = {}
    for shown, path, size, digest in missing:
        folder, name = path.rsplit("/", 1)
        match = None
        if utf16_units(name) > JOLIET_LIMIT and size is not FOLDER:
            match = next((other for other in sorted(left)
                          if other.rsplit("/", 1)[0] == name_form(folder) and
                          left[other][0] == size and left[other][1] in (None, digest) and
                          other.rsplit("/", 1)[1][:KEPT_PREFIX] == name_form(name)[:KEPT_PREFIX]),
                         None)
        if match is None:
            problems.append("%s: %s is missing" % (reader, shown))
        else:
            left.pop(match)
            shortened[path] = match
    problems += ["%s: %s is on the disc but not among the sources" % (reader, other)
                 for other in sorted(left)]
    return problems, shortened


def make_view(image, start, scratch):
    """A copy of the image whose block 16 on holds the descriptors of the
    session at start; None and why when they would not fit."""
    if start == 0:
        return image, None
    with open(image, "rb") as disc:
        def descriptors(first, count):
            found = []
            for block in range(first, first + count):
                disc.seek(block * BLOCK)
                data = disc.read(BLOCK)
                if len(data) < BLOCK or data[1:6] != b"CD001":
                    return found, block
                found.append(data)
                if data[0] == TERMINATOR:
                    break
            return found, None
        new, gap = descriptors(start + DESCRIPTORS_AT, 64)
        if gap is not None:
            return None, "no volume descriptor at block %d" % gap
        old, end = descriptors(DESCRIPTORS_AT, len(new))
    if len(old) + (end is not None) < len(new):
        return None, "the session's descriptors would cover the first session's data"
    view = os.path.join(scratch, "view.iso")
    subprocess.run(["cp", "--sparse=always", image, view], check=True)
    with open(view, "r+b") as copy:
        copy.seek(DESCRIPTORS_AT * BLOCK)
        copy.write(b"".join(new))
    return view, None


def check(image, start, specs):
    """Problems the readers find; empty when every one agrees with the sources."""
    missing = [tool for tool in ("xorriso", "isoinfo", "7z") if shutil.which(tool) is None]
    if missing:
        return ["%s is not installed (scripts/setup installs it)" % ", ".join(missing)]
    expected = expected_listing(specs)
    problems = []
    names = {}
    with tempfile.TemporaryDirectory(prefix="disc-check-", dir=os.path.dirname(image)) as scratch:
        view, why = make_view(image, start, scratch)
        readers = {"xorriso": lambda: read_xorriso(image, start, scratch),
                   "isoinfo": lambda: read_isoinfo(image, start)}
        if view is None:
            problems.append("7z and pycdlib cannot read the session: " + why)
        else:
            readers.update({"7z": lambda: read_7z(view, scratch),
                            "pycdlib": lambda: read_pycdlib(view, problems)})
        for reader, read in readers.items():
            try:
                found, names[reader] = compare(reader, expected, read(),
                                               latin1_form if reader == "isoinfo" else lambda p: p)
                problems += found
            except Unreadable as failure:
                problems.append("%s: %s" % (reader, failure))
    names.pop("isoinfo", None)  # it shows shortened names in another form
    if len({tuple(sorted(s.items())) for s in names.values()}) > 1:
        problems.append("the readers see different shortened names: %r" % names)
    return problems


def main(argv):
    if len(argv) < 4:
        sys.stderr.write(__doc__)
        return 2
    problems = check(argv[1], int(argv[2]), argv[3:])
    print("\n".join(problems) or "ok: xorriso, isoinfo, 7z and pycdlib read the session at "
          "block %s as its sources" % argv[2])
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
