#!/usr/bin/env python3
"""Builds the vendor prefix database res/vendors.xml from the IEEE registry.

Usage (from the source tree's top folder):

    python3 tools/gen_vendor_db.py
    python3 tools/gen_vendor_db.py --input /usr/share/ieee-data/oui.csv \
        --output res/vendors.xml [--created "MM/DD/YYYY HH:MM:SS"]

The input is the MA-L listing of Debian's ieee-data package (columns
Registry, Assignment, Organization Name, Organization Address). The output
is committed and embedded in the program, so the build never needs the
registry. The "created" header value defaults to the registry file's
modification time in UTC, so running the tool again on the same registry
gives the same bytes.

Output layout, lines ended by CR LF:
    <?xml version="1.0"?>
    <Macaddresses version=... vendor=... url=... mail=... created=... comments=...>
    <mac addr="00-0A-D9" company="..." street="..." country="..."/>
    ...
    </Macaddresses>
Entries are in ascending prefix order; a prefix the registry lists more than
once keeps one line per listing, in registry order, so the first listing is
the one a lookup finds. The registry's UTF-8 is kept, so producer names keep
their letters; control characters, and bytes that are not UTF-8, become
spaces. Names are then trimmed at both ends, and empty attributes are left
out.
"""

import argparse
import csv
import datetime
import os
import re
import sys
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)
DEFAULT_INPUT = "/usr/share/ieee-data/oui.csv"
DEFAULT_OUTPUT = os.path.join(TOP, "res", "vendors.xml")
# The product's identity: a template that the build fills from its
# project() line and the settings beside it.
DATA_FILE_HEADER = os.path.join(TOP, "src", "base", "Product.h.in")
PRODUCT_SETTINGS = os.path.join(TOP, "src", "base", "CMakeLists.txt")
TOP_CMAKE = os.path.join(TOP, "CMakeLists.txt")

PROGRAM_VERSION = "1.7.4.0"
VENDOR_NAME = "Pelmark LLC."
FILE_COMMENTS = "Wrenlocator Database File"
CRLF = "\r\n"

ASCII_SPACE = re.compile(r"[ \t\r\n]+")
COUNTRY_CODE = re.compile(r"[A-Z]{2}")
# The registry joins street, city, state, country code and postal code with
# single spaces and ends with a space; an empty postal code therefore leaves
# the country code followed by exactly two spaces at the end.
COUNTRY_WITHOUT_POSTAL = re.compile(r"(?:^|[ \t])[A-Z]{2}  $")
CREATED_FORMAT = "%m/%d/%Y %H:%M:%S"


def product_header():
    """Product.h.in with its @NAME@ fields filled as the build fills them."""
    with open(TOP_CMAKE, encoding="utf-8") as f:
        project = re.search(r"project\((\w+) VERSION (\d+)\.(\d+)\.(\d+)\.(\d+)", f.read())
    if not project:
        raise ValueError("no project(NAME VERSION a.b.c.d) in %s" % TOP_CMAKE)
    name, major, minor, patch, tweak = project.groups()
    fields = {"PROJECT_NAME": name, "PROJECT_VERSION": ".".join((major, minor, patch, tweak)),
              "PROJECT_VERSION_MAJOR": major, "PROJECT_VERSION_MINOR": minor,
              "PROJECT_VERSION_PATCH": patch, "PROJECT_VERSION_TWEAK": tweak}
    fields["WREN_VERSION_DIGITS"] = major + minor + patch + tweak
    with open(PRODUCT_SETTINGS, encoding="utf-8") as f:
        for m in re.finditer(r"^set\((WREN_\w+) (\"[^\"]*\"|\S+)\)", f.read(), re.M):
            fields[m.group(1)] = m.group(2).strip('"')
    with open(DATA_FILE_HEADER, encoding="utf-8") as f:
        text = f.read()
    return re.sub(r"@(\w+)@", lambda m: fields[m.group(1)], text)


def header_constant(text, name):
    """The value of a string constant of the data-file header, with adjacent
    literals joined."""
    m = re.search(r"\b" + name + r"\s*=\s*((?:\s*\"(?:[^\"\\]|\\.)*\")+)\s*;", text)
    if not m:
        raise ValueError("constant %s not found in %s" % (name, DATA_FILE_HEADER))
    return "".join(re.findall(r"\"((?:[^\"\\]|\\.)*)\"", m.group(1)))


def clean(text):
    """Control and format characters, separators other than the space, and
    bytes the registry holds that are not UTF-8 (decoded as lone surrogates)
    become spaces; every letter is kept."""
    return "".join(" " if c != " " and unicodedata.category(c)[0] in "CZ" else c for c in text)


def encode_attribute(value):
    return (value.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")
            .replace("'", "&apos;").replace('"', "&quot;"))


def split_address(address):
    """(street, country): country is the two-letter code the registry puts
    before the postal code; street is everything else, postal code included."""
    tokens = [t for t in ASCII_SPACE.split(address) if t]
    if not tokens:
        return "", ""
    index = None
    if COUNTRY_WITHOUT_POSTAL.search(address) and COUNTRY_CODE.fullmatch(tokens[-1]):
        index = len(tokens) - 1
    else:
        # Rightmost code followed by a postal code of at most three words;
        # postal codes may themselves hold two capitals ("1101 AA").
        for i in range(len(tokens) - 1, -1, -1):
            if COUNTRY_CODE.fullmatch(tokens[i]) and 1 <= len(tokens) - 1 - i <= 3:
                index = i
                break
        if index is None and COUNTRY_CODE.fullmatch(tokens[-1]):
            index = len(tokens) - 1
    if index is None:
        return " ".join(tokens), ""
    return " ".join(tokens[:index] + tokens[index + 1:]), tokens[index]


def read_registry(path):
    """[(prefix number, company, street, country)] in registry order, and the
    number of rows skipped as not being MA-L assignments."""
    entries = []
    skipped = 0
    with open(path, newline="", encoding="utf-8", errors="surrogateescape") as f:
        rows = csv.reader(f)
        header = next(rows, None)
        if header is None or [h.strip() for h in header[:2]] != ["Registry", "Assignment"]:
            raise ValueError("%s: not an IEEE registry listing" % path)
        for row in rows:
            if not row:
                continue
            row = row + [""] * (4 - len(row))
            registry, assignment, name = (c.strip(" \t\r\n") for c in row[:3])
            address = row[3]  # trailing spaces carry meaning, see split_address
            if registry != "MA-L" or not re.fullmatch(r"[0-9A-Fa-f]{6}", assignment):
                skipped += 1
                continue
            street, country = split_address(address)
            # Cleaning can leave spaces where a name began or ended with a
            # non-ASCII letter; they carry nothing.
            entries.append((int(assignment, 16), clean(name).strip(" "),
                            clean(street).strip(" "), clean(country)))
    return entries, skipped


def build(entries, created, url, mail):
    out = ['<?xml version="1.0"?>', CRLF, "<Macaddresses"]
    for key, value in (("version", PROGRAM_VERSION), ("vendor", VENDOR_NAME), ("url", url),
                       ("mail", mail), ("created", created), ("comments", FILE_COMMENTS)):
        out.append(' %s="%s"' % (key, encode_attribute(value)))
    out.append(">" + CRLF)
    # sorted() is stable: repeated prefixes stay in registry order.
    for prefix, company, street, country in sorted(entries, key=lambda e: e[0]):
        out.append('<mac addr="%02X-%02X-%02X"' % (prefix >> 16, (prefix >> 8) & 0xFF, prefix & 0xFF))
        for key, value in (("company", company), ("street", street), ("country", country)):
            if value:
                out.append(' %s="%s"' % (key, encode_attribute(value)))
        out.append("/>" + CRLF)
    out.append("</Macaddresses>" + CRLF)
    return "".join(out).encode("utf-8")


def main(argv):
    parser = argparse.ArgumentParser(description="Build the vendor prefix database.")
    parser.add_argument("--input", default=DEFAULT_INPUT, help="registry CSV (MA-L)")
    parser.add_argument("--output", default=DEFAULT_OUTPUT, help="database file to write")
    parser.add_argument("--created", help='header date "MM/DD/YYYY HH:MM:SS" '
                        "(default: the registry file's modification time, UTC)")
    args = parser.parse_args(argv)

    try:
        header_text = product_header()
        url = header_constant(header_text, "kHomePageUrl")
        mail = header_constant(header_text, "kSupportMail")
        if args.created is not None:
            if not re.fullmatch(r"\d\d/\d\d/\d{4} \d\d:\d\d:\d\d", args.created):
                raise ValueError("--created: expected MM/DD/YYYY HH:MM:SS")
            datetime.datetime.strptime(args.created, CREATED_FORMAT)
            created = args.created
        else:
            mtime = os.stat(args.input).st_mtime
            created = datetime.datetime.fromtimestamp(
                int(mtime), datetime.timezone.utc).strftime(CREATED_FORMAT)
        entries, skipped = read_registry(args.input)
        data = build(entries, created, url, mail)
    except (OSError, ValueError, csv.Error) as e:
        print("gen_vendor_db: %s" % e, file=sys.stderr)
        return 1

    # Write beside the target and rename, so a failed run keeps the old file.
    tmp = args.output + ".tmp"
    try:
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, args.output)
    except OSError as e:
        print("gen_vendor_db: %s" % e, file=sys.stderr)
        if os.path.exists(tmp):
            os.remove(tmp)
        return 1
    print("gen_vendor_db: %d entries (%d rows skipped), %d bytes, created %s"
          % (len(entries), skipped, len(data), created), file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
