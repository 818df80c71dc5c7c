"""Standard FITS files as other programs read and write them: fitsverify, astropy and Siril.

    check_standard_fits.py --writer WRITE_SAMPLE_FITS --cli CORVEX_CLI
                           [--fitsverify PATH] [--siril PATH] CHECK

CHECK is one of
  fitsverify     every kind of standard file Corvex writes verifies with no warning or error
  astropy        astropy reads our pixels and header; Corvex opens what astropy writes, and
                 refuses other images saying what they hold, changing nothing
  siril-load     Siril loads a mono and a colour export with the same statistics and keeps
                 the header
  siril-stack    three frames of a simulated capture run, saved as standard FITS, convert,
                 register and stack in a Siril script without a warning

The files are made the way a user makes them: write_sample_fits writes a native file of a
known pattern (see check_fits.py), corvex-cli exports it, or a simulated capture run saves
its frames. Runs under Debian's /usr/bin/python3, which has python3-astropy.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import warnings
from pathlib import Path

import numpy as np
from astropy.io import fits
from astropy.time import Time

ROWS, COLS, STRIDE = 290, 510, 512

# Kept in step with kFixedSamples in write_sample_fits.cpp.
FIXED_SAMPLES = [
    (0, 0, 0), (0, 1, 65535), (0, 2, 32767), (0, 3, 32768),
    (144, 200, 1), (144, 201, 65534), (289, 510, 0), (289, 511, 65535),
]


def fail(what):
    sys.exit(f"FAIL: {what}")


def expect(condition, what):
    if not condition:
        fail(what)


def run(*command, env=None, ok=True, timeout=120):
    done = subprocess.run([str(c) for c in command], capture_output=True, text=True, env=env,
                          timeout=timeout)
    if ok and done.returncode != 0:
        fail(f"{' '.join(map(str, command))} failed ({done.returncode}):\n"
             f"{done.stdout}{done.stderr}")
    return done


def sample_pattern():
    """The native sample file's image, 290 x 512."""
    image = (np.arange(ROWS * STRIDE, dtype=np.uint32) * 7 % 65536).astype(np.uint16)
    image = image.reshape(ROWS, STRIDE)
    for row, col, value in FIXED_SAMPLES:
        image[row, col] = value
    return image


def plane_pattern():
    """The native sample file's red, green and blue planes, 290 x 512 each."""
    i = np.arange(ROWS * STRIDE)
    planes = [(i * 3) % 256, (i * 5 + 1) % 256, 255 - i % 256]
    return [p.reshape(ROWS, STRIDE) for p in planes]


class Work:
    """A temporary directory with its own CORVEX_HOME and the tools under test."""

    def __init__(self, args, root):
        self.args = args
        self.root = Path(root)
        self.env = dict(os.environ, CORVEX_HOME=str(self.root / "home"))

    def cli(self, *arguments, ok=True):
        return run(self.args.cli, *arguments, env=self.env, ok=ok)

    def native(self, name, *options):
        path = self.root / name
        run(self.args.writer, path, *options)
        return path

    def export(self, native, name, *options):
        path = self.root / name
        self.cli("export", native, "--fits", path, *options)
        return path


def read_fits(path):
    """The primary HDU of a file, failing on any warning astropy gives while reading it."""
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with fits.open(path) as hdus:
            hdus.verify("exception")
            expect(len(hdus) == 1, f"{path.name} has one HDU")
            return hdus[0].header.copy(), hdus[0].data.copy()


# ---- fitsverify ----

def check_fitsverify(work):
    mono = work.native("mono.fit")
    colour = work.native("colour.fit", "--colour")
    long_texts = work.native("long.fit", "--long-texts", "--unsigned")
    files = [work.export(mono, "mono.fits"),
             work.export(colour, "colour.fits"),
             work.export(long_texts, "long.fits", "--image-type", "dark"),
             work.export(long_texts, "long-colour.fits", "--image-type", "flat")]
    # The automatic save of a simulated capture run, mono and colour.
    work.cli("capture", "--simulate", "--virtual-clock", "--exposure", "2s", "--save",
             "--format", "standard")
    work.cli("capture", "--simulate", "--virtual-clock", "--exposure", "2s", "--colour", "--save",
             "--format", "standard")
    files += sorted((work.root / "home" / "autosave").glob("IMG*.fits"))
    expect(len(files) == 6, f"six standard files, found {len(files)}")
    for path in files:
        done = run(work.args.fitsverify, path, ok=False)
        report = done.stdout + done.stderr
        expect("**** Verification found 0 warning(s) and 0 error(s). ****" in report,
               f"fitsverify on {path.name}:\n{report}")
    print(f"fitsverify: {len(files)} standard files, 0 warnings and 0 errors")


# ---- astropy ----

def check_our_files_in_astropy(work):
    pattern = sample_pattern()
    header, data = read_fits(work.export(work.native("mono.fit"), "mono.fits"))
    expect(data.dtype == np.uint16 and data.shape == (ROWS, COLS), "mono: uint16 of 290 x 510")
    expect(np.array_equal(data, pattern[:, :COLS]), "mono: every sample as the native file's")
    expected = {"OBJECT": "M42 Orion", "TELESCOP": "LX200 10in", "OBSERVER": "A. Observer",
                "INSTRUME": "Quellmark CCD", "FILTER": "None", "IMAGETYP": "Light",
                "ROWORDER": "TOP-DOWN", "XBINNING": 1, "YBINNING": 1,
                # The native header's time is the middle of 12.5 s: the start is 6 s before.
                "DATE-OBS": "2006-12-07T22:14:57", "DATE-AVG": "2006-12-07T22:15:03"}
    for key, value in expected.items():
        expect(header.get(key) == value, f"mono: {key} is {value!r}, not {header.get(key)!r}")
    for key, value in {"EXPTIME": 12.5, "XPIXSZ": 9.8, "YPIXSZ": 12.6,
                       "FOCALLEN": 1600 * 25.4}.items():
        expect(abs(header.get(key, -1) - value) < 1e-9, f"mono: {key} is {value}")
    expect(str(header.get("SWCREATE", "")).startswith("Corvex "), "mono: SWCREATE")
    expect("BAYERPAT" not in header, "mono: no BAYERPAT")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # astropy's own leap-second table may be stale
        start = Time(header["DATE-OBS"], scale="utc")
        middle = Time(header["DATE-AVG"], scale="utc")
    expect(abs((middle - start).sec - 6) < 1e-6, "Time(DATE-OBS) and Time(DATE-AVG) parse")
    history = [str(h) for h in header["HISTORY"]]
    expect(history == ["Dark frame subtracted", "Colour converted"], f"mono: HISTORY {history}")
    comments = [str(c) for c in header["COMMENT"]]
    expect("Known sample pattern for reader checks" in comments, "mono: the comment")

    header, data = read_fits(work.export(work.native("colour.fit", "--colour"), "colour.fits"))
    expect(data.shape == (3, ROWS, COLS) and data.dtype == np.uint16, "colour: 3 x 290 x 510")
    # The brightest channel is the luminance; the planes decide which channel that is.
    expect(np.array_equal(data.max(axis=0), pattern[:, :COLS]), "colour: brightest = luminance")
    red, green, blue = plane_pattern()
    for row, col in ((0, 50), (0, 51), (0, 85), (100, 300), (200, 7)):
        strongest = int(np.argmax([red[row, col], green[row, col], blue[row, col]]))
        if pattern[row, col] < 65280:
            expect(int(np.argmax(data[:, row, col])) == strongest,
                   f"colour: channel order at {row},{col}")

    header, _ = read_fits(work.export(work.native("long.fit", "--long-texts"), "long.fits"))
    history = [str(h) for h in header["HISTORY"]]
    expect(len(history) >= 15 + 4 and all(h.strip() for h in history),
           f"long: every history entry and the note, none empty ({len(history)})")
    note = " ".join(h[len("Note: "):] if h.startswith("Note: ") else h for h in history[15:])
    expect(note.replace("  ", " ").startswith("note0 note1"), "long: the note's words")


def check_astropy_files_in_corvex(work):
    """Files astropy writes open in Corvex with the values astropy wrote."""
    rows = np.arange(ROWS * COLS).reshape(ROWS, COLS)
    counts = (rows * 3 % 60000).astype(np.uint16)
    files = {
        "u16.fits": (counts, counts),
        "i16.fits": ((counts // 2).astype(np.int16), counts // 2),
        "f32-unit.fits": ((counts / 65535.0).astype(np.float32), counts),
        "f64-counts.fits": (counts.astype(np.float64), counts),
        "wide.fits": (np.pad(counts, ((0, 0), (0, 2)), constant_values=7), None),
    }
    for name, (data, expected) in files.items():
        path = work.root / name
        fits.PrimaryHDU(data).writeto(path)
        raw = work.root / ("~" + Path(name).stem)  # a native raw file
        work.cli("convert", path, raw)
        back = np.fromfile(raw, dtype="<u2")  # the raw file is little-endian
        if expected is None:  # 512 wide: the raw file holds columns 0-509 of 512
            expected = data[:, :COLS]
        expect(back.size == ROWS * COLS, f"{name}: a raw frame of 510 x 290")
        difference = np.abs(back.astype(np.int64) - expected.astype(np.int64).ravel())
        expect(difference.max() <= 1, f"{name}: values as astropy wrote them "
                                      f"(largest difference {difference.max()})")

    # An RGB cube astropy writes opens as a colour image.
    cube = np.stack([counts, counts // 2, counts // 4]).astype(np.uint16)
    path = work.root / "rgb.fits"
    fits.PrimaryHDU(cube).writeto(path)
    info = work.cli("info", path).stdout
    expect("colour image (RGB cube)" in info, f"rgb: opened as colour:\n{info}")

    # Anything else is refused, saying what it holds, and nothing is written or changed.
    refused = {
        "big.fits": (np.zeros((3, 352, 465), np.float32),
                     "FITS image 465 x 352 x 3, BITPIX -32: Corvex opens images of 510 x 290"),
        "short.fits": (np.zeros((289, 510), np.uint16),
                       "FITS image 510 x 289, BITPIX 16: Corvex opens images of 510 x 290"),
    }
    for name, (data, message) in refused.items():
        path = work.root / name
        fits.PrimaryHDU(data).writeto(path)
        before = path.read_bytes()
        out = work.root / (name + ".FIT")
        for command in (["convert", path, out], ["info", path], ["process", path, "-o", out, "--op", "invert"]):
            done = work.cli(*command, ok=False)
            expect(done.returncode == 1, f"{name}: {command[0]} fails with 1, "
                                         f"not {done.returncode}")
            expect(message in done.stderr, f"{name}: {command[0]} says {message!r}:\n"
                                           f"{done.stderr}")
        expect(not out.exists(), f"{name}: nothing written")
        expect(path.read_bytes() == before, f"{name}: the file is unchanged")


def check_astropy(work):
    check_our_files_in_astropy(work)
    check_astropy_files_in_corvex(work)
    print("astropy: pixels, header and dates read; astropy's files opened or refused")


# ---- Siril ----

def siril(work, directory, script, timeout=120):
    """Runs a Siril script in `directory` with a private home; returns its log."""
    home = work.root / "siril-home"
    env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home / "config"),
               XDG_CACHE_HOME=str(home / "cache"), XDG_DATA_HOME=str(home / "data"))
    env.pop("DISPLAY", None)
    env.pop("WAYLAND_DISPLAY", None)
    (directory / "check.ssf").write_text("requires 1.0.0\n" + script)
    done = run(work.args.siril, "-d", directory, "-s", directory / "check.ssf", env=env,
               ok=False, timeout=timeout)
    log = done.stdout + done.stderr
    expect(done.returncode == 0 and "Script execution finished successfully" in log,
           f"Siril script failed ({done.returncode}):\n{script}\n{log}")
    for line in log.splitlines():
        # "Cannot load initfile" is Siril's first start with an empty private home.
        if re.search(r"warning|error|fail", line, re.I) and "initfile" not in line and \
                not re.search(r"\b0 failed\b", line):
            fail(f"Siril reported a problem: {line}\n{log}")
    return log


STAT = re.compile(r"(\S+) layer: Mean: ([-\d.]+), Median: ([-\d.]+), Sigma: ([-\d.]+), "
                  r"AvgDev: [-\d.]+, Min: ([-\d.]+), Max: ([-\d.]+)")


def expect_statistics(log, planes, what):
    """Siril's stat against numpy's. Siril leaves pixels of 0 out of the mean, median and
    sigma (they mark areas without data in stacked images)."""
    found = STAT.findall(log)
    expect(len(found) == len(planes), f"{what}: {len(planes)} layers in Siril's stat:\n{log}")
    for (layer, mean, median, sigma, low, high), plane in zip(found, planes):
        values = plane.astype(np.float64)
        nonzero = values[values > 0]
        wanted = {"mean": nonzero.mean(), "median": np.median(nonzero), "sigma": nonzero.std(),
                  "min": values.min(), "max": values.max()}
        got = {"mean": mean, "median": median, "sigma": sigma, "min": low, "max": high}
        for key, value in wanted.items():
            expect(abs(float(got[key]) - value) <= 0.05 + 1e-4 * abs(value),
                   f"{what}: {layer} {key} is {got[key]} in Siril, {value:.2f} here")


def check_siril_load(work):
    mono = work.export(work.native("mono.fit"), "mono.fits")
    colour = work.export(work.native("colour.fit", "--colour"), "colour.fits")
    log = siril(work, work.root, "load mono.fits\nstat\nsave mono-siril\n"
                                 "load colour.fits\nstat\nsave colour-siril\n")
    mono_log, colour_log = log.split("colour.fits", 1)
    _, mono_data = read_fits(mono)
    expect("1 layer(s), 510x290" in mono_log, "Siril loads the mono frame as one 510x290 layer")
    expect_statistics(mono_log, [mono_data], "mono")
    _, cube = read_fits(colour)
    expect("3 layer(s), 510x290" in colour_log, "Siril loads the colour image as three layers")
    expect_statistics(colour_log, list(cube), "colour")

    for name, original in (("mono", mono), ("colour", colour)):
        with fits.open(work.root / f"{name}-siril.fit") as hdus:
            saved = hdus[0]
            header = saved.header
            ours = fits.getheader(original)
            for key in ("DATE-OBS", "EXPTIME", "XPIXSZ", "YPIXSZ", "XBINNING", "FILTER",
                        "IMAGETYP", "INSTRUME", "FOCALLEN", "OBJECT", "TELESCOP", "OBSERVER"):
                expect(header.get(key) == ours.get(key),
                       f"{name}: Siril keeps {key} ({ours.get(key)!r}, {header.get(key)!r})")
            expect(np.array_equal(saved.data, fits.getdata(original)),
                   f"{name}: Siril saves the same samples")
    print("siril-load: statistics and header of a mono and a colour export as Corvex wrote them")


def check_siril_stack(work):
    # A night's frames: a capture run saving each frame as standard FITS.
    done = work.cli("capture", "--simulate", "--virtual-clock", "--count", "3",
                    "--exposure", "10s", "--save", "--format", "standard")
    autosave = work.root / "home" / "autosave"
    frames = sorted(autosave.glob("IMG*.fits"))
    expect(len(frames) == 3, f"three frames saved:\n{done.stdout}")
    lights = work.root / "lights"
    lights.mkdir()
    for i, frame in enumerate(frames, 1):
        (lights / f"light{i}.fits").write_bytes(frame.read_bytes())
    log = siril(work, lights, "convert light -out=seq\ncd seq\nregister light_\n"
                              "stack r_light_ rej 3 3 -norm=addscale -out=stacked\n")
    expect("Total: 0 failed, 3 registered" in log, f"Siril registers all three frames:\n{log}")
    expect("3 images have been stacked" in log, f"Siril stacks all three frames:\n{log}")
    with fits.open(lights / "seq" / "stacked.fit") as hdus:
        stacked = hdus[0]
        expect(stacked.data.shape == (ROWS, COLS), "the stack is one 510 x 290 layer, "
                                                  "not debayered")
        expect(np.isfinite(stacked.data).all() and stacked.data.max() > stacked.data.mean(),
               "the stack holds the stars")
        expect(abs(stacked.header.get("EXPTIME", 0) - 10) < 1e-9 or
               abs(stacked.header.get("LIVETIME", 0) - 30) < 1e-9,
               "Siril read the frames' exposure times")
    print("siril-stack: three saved frames converted, registered and stacked")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--fitsverify")
    parser.add_argument("--siril")
    parser.add_argument("check", choices=["fitsverify", "astropy", "siril-load", "siril-stack"])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as root:
        work = Work(args, root)
        {"fitsverify": check_fitsverify, "astropy": check_astropy,
         "siril-load": check_siril_load, "siril-stack": check_siril_stack}[args.check](work)


if __name__ == "__main__":
    main()
