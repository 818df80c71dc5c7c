"""Reads FITS files written by Corvex with programs that are not ours: astropy and fitsverify.

    check_fits.py --writer WRITE_SAMPLE_FITS [--fitsverify PATH] {astropy,fitsverify} KIND

KIND is signed (BZERO 32768), unsigned (BZERO 0) or colour (signed, with the three colour
planes after the samples). The file is written by write_sample_fits into a temporary
directory; the sample pattern and header values below must match what that program writes.

Our files have one fixed length, which is not a whole number of 2880-byte FITS blocks: the
file without planes stops 2240 bytes short of the padded end of its data, and the planes of
a colour file run on past it. Both readers say so. Every complaint that follows from the
length is matched exactly; anything else they report fails the check.

Runs under Debian's /usr/bin/python3, which has python3-astropy.
"""

import argparse
import re
import subprocess
import sys
import tempfile
import warnings
from pathlib import Path

import numpy as np
from astropy.io import fits

ROWS, COLS = 290, 512
HEADER_BYTES = 72 * 80
SAMPLE_BYTES = ROWS * COLS * 2
PLANE_BYTES = ROWS * COLS
FITS_BLOCK = 2880
PADDED_DATA_END = HEADER_BYTES + -(-SAMPLE_BYTES // FITS_BLOCK) * FITS_BLOCK  # 305280
LENGTHS = {"signed": 303040, "unsigned": 303040, "colour": 748160}

# Kept in step with kFixedSamples in write_sample_fits.cpp.
FIXED_SAMPLES = [
    (0, 0, 0), (0, 1, 65535), (0, 2, 32767), (0, 3, 32768),
    (144, 200, 1), (144, 201, 65534), (289, 510, 0), (289, 511, 65535),
]

HEADER = {
    "OBJECT": "M42 Orion",
    "DATE-OBS": "7/12/06",
    "EXPTIME": 12.5,
    "PIXWIDTH": 0.0098,
    "PIXHEIGH": 0.0126,
    "BITPIX": 16,
    "NAXIS1": COLS,
    "NAXIS2": ROWS,
    "BSCALE": 1.0,
}

# fitsverify cannot check a DATE-OBS other than in ISO form ("7/12/06" is an error to it), so
# its files carry the date the program fills in itself.
FITSVERIFY_DATE = "2006-12-07"


def expected_samples():
    pattern = (np.arange(ROWS * COLS, dtype=np.uint32) * 7 % 65536).astype(np.uint16)
    pattern = pattern.reshape(ROWS, COLS)
    for row, col, value in FIXED_SAMPLES:
        pattern[row, col] = value
    return pattern


class Check:
    def __init__(self, name):
        self.name = name
        self.failures = []

    def expect(self, ok, what):
        if not ok:
            self.failures.append(what)

    def finish(self):
        for failure in self.failures:
            print(f"FAIL {self.name}: {failure}", file=sys.stderr)
        if not self.failures:
            print(f"ok {self.name}")
        return 1 if self.failures else 0


def write_sample(writer, directory, kind, date=None):
    path = Path(directory) / f"sample_{kind}.fit"
    command = [writer, str(path)]
    if kind == "unsigned":
        command.append("--unsigned")
    if kind == "colour":
        command.append("--colour")
    if date is not None:
        command += ["--date", date]
    subprocess.run(command, check=True)
    return path


def describe_mismatch(got, want):
    wrong = np.argwhere(got != want)
    first = ", ".join(f"({r},{c}) {got[r, c]} not {want[r, c]}" for r, c in wrong[:5])
    return f"{len(wrong)} samples differ, first: {first}"


# What astropy says about a file of our length, as (category, full-message pattern). The
# numbers pin the complaint to the length alone: a file with its samples cut short, or planes
# of the wrong size, gives different numbers and fails.
TRUNCATED = ("AstropyUserWarning",
             rf"File may have been truncated: actual file length \({LENGTHS['signed']}\) is "
             rf"smaller than the expected size \({PADDED_DATA_END}\)")
# The planes are taken for the start of a second header that never becomes one.
TRAILING_BYTES = ("VerifyWarning",
                  r"Error validating header for HDU #1 \(note: Astropy uses zero-based "
                  r"indexing\)\.\n\s*Header size is not multiple of 2880: "
                  rf"{LENGTHS['colour'] - PADDED_DATA_END}\n"
                  r"There may be extra bytes after the last HDU or the file is corrupted\.")
PLANES_AS_HEADER = [
    ("AstropyUserWarning", r'non-ASCII characters are present in the FITS file header and '
                           r'have been replaced by "\?" characters'),
    ("AstropyUserWarning", r"Header block contains null bytes instead of spaces for padding, "
                           r"and is not FITS-compliant\. Nulls may be replaced with spaces "
                           r"upon writing\."),
]


def check_astropy(writer, directory, kind):
    check = Check(f"astropy reads the {kind} file")
    path = write_sample(writer, directory, kind)
    check.expect(path.stat().st_size == LENGTHS[kind], f"file is {path.stat().st_size} bytes")
    want = expected_samples()

    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        with fits.open(path) as hdul:
            check.expect(len(hdul) == 1, f"astropy found {len(hdul)} HDUs, not 1")
            header = hdul[0].header
            for key, value in HEADER.items():
                check.expect(header.get(key) == value, f"{key} is {header.get(key)!r}")
            bzero = 0 if kind == "unsigned" else 32768
            check.expect(header.get("BZERO") == bzero, f"BZERO is {header.get('BZERO')!r}")

            data = hdul[0].data
            check.expect(data is not None and data.shape == (ROWS, COLS),
                         f"data shape is {None if data is None else data.shape}")
            if data is not None and data.shape == (ROWS, COLS):
                if kind == "unsigned":
                    # To FITS, BITPIX 16 with BZERO 0 is signed: astropy gives int16, and a
                    # sample above 32767 comes back as itself minus 65536. The bits are ours.
                    check.expect(data.dtype.kind == "i" and data.dtype.itemsize == 2,
                                 f"data type is {data.dtype}")
                    got = (data.astype(np.int32) % 65536).astype(np.uint16)
                else:
                    check.expect(data.dtype == np.uint16, f"data type is {data.dtype}")
                    got = np.asarray(data)
                if not np.array_equal(got, want):
                    check.expect(False, describe_mismatch(got, want))

    said = [(w.category.__name__, str(w.message)) for w in caught]
    if kind == "colour":
        allowed, required = [TRAILING_BYTES] + PLANES_AS_HEADER, [TRAILING_BYTES]
    else:
        allowed, required = [TRUNCATED], [TRUNCATED]

    def matches(warning, expected):
        return warning[0] == expected[0] and re.fullmatch(expected[1], warning[1]) is not None

    for warning in dict.fromkeys(said):  # each once, in order
        check.expect(any(matches(warning, a) for a in allowed),
                     f"unexpected warning {warning[0]}: {warning[1]}")
    for expected in required:
        check.expect(any(matches(w, expected) for w in said),
                     f"astropy did not warn {expected[0]}: {expected[1]}")
    return check.finish()


# fitsverify's complaints about a file of our length, word for word.
FITSVERIFY_EXPECTED = {
    "signed": ["Error: checking data fill: error reading from FITS file"],
    "unsigned": ["Error: checking data fill: error reading from FITS file"],
    "colour": ["Error: checking data fill: Data fill area invalid",
               f"Error: File has extra byte(s) after last HDU at byte {PADDED_DATA_END}."],
}


def fitsverify_messages(output):
    """The '*** Error:' and '*** Warning:' messages, each joined with its indented lines."""
    messages = []
    in_message = False
    for line in output.splitlines():
        found = re.match(r"\*\*\* (Error|Warning):\s+(.*)", line)
        if found:
            messages.append(f"{found.group(1)}: {found.group(2).strip()}")
            in_message = True
        elif in_message and line.startswith("             ") and line.strip():
            messages[-1] += " " + line.strip()
        else:
            in_message = False
    return messages


def check_fitsverify(writer, directory, kind, fitsverify):
    check = Check(f"fitsverify on the {kind} file")
    path = write_sample(writer, directory, kind, date=FITSVERIFY_DATE)
    # fitsverify prints its report on stdout and the errors on stderr; read them as one.
    run = subprocess.run([fitsverify, str(path)], stdout=subprocess.PIPE,
                         stderr=subprocess.STDOUT, text=True)
    output = run.stdout

    expected = FITSVERIFY_EXPECTED[kind]
    got = fitsverify_messages(output)
    check.expect(got == expected, f"fitsverify said {got}, expected exactly {expected}")
    summary = f"**** Verification found 0 warning(s) and {len(expected)} error(s). ****"
    check.expect(summary in output, f"no '{summary}' line")
    # It read the header as ours: one HDU, 45 keywords up to END, 512 x 290 16-bit samples.
    for line in ["1 Header-Data Units in this file.", "45 header keywords",
                 "16-bit integer pixels,  2 axes (512 x 290),"]:
        check.expect(line in output, f"no '{line}' line")
    if check.failures:
        print(output, file=sys.stderr)
    return check.finish()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--writer", required=True, help="the write_sample_fits program")
    parser.add_argument("--fitsverify", default="fitsverify")
    parser.add_argument("reader", choices=["astropy", "fitsverify"])
    parser.add_argument("kind", choices=sorted(LENGTHS))
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="corvex-interop-") as directory:
        if args.reader == "astropy":
            return check_astropy(args.writer, directory, args.kind)
        return check_fitsverify(args.writer, directory, args.kind, args.fitsverify)


if __name__ == "__main__":
    sys.exit(main())
