"""The TIFF and BMP files Corvex writes, as other programs read them (PIL and tiffinfo).

Run with Debian's /usr/bin/python3 (python3-pil); make_sample is the sample FITS writer and
cli the corvex-cli under test.
"""
import argparse
import os
import subprocess
import sys
import tempfile

from PIL import Image


def run(*command):
    done = subprocess.run(command, capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stdout}{done.stderr}")
    return done


def expect(condition, what):
    if not condition:
        sys.exit(f"FAIL: {what}")


def sample(row, col):
    """The sample FITS writer's value at (row, col), as its high byte."""
    fixed = {(0, 0): 0, (0, 1): 65535, (0, 2): 32767, (0, 3): 32768,
             (144, 200): 1, (144, 201): 65534, (289, 510): 0, (289, 511): 65535}
    value = fixed.get((row, col), ((row * 512 + col) * 7) % 65536)
    return value >> 8


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--writer", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--tiffinfo", required=True)
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as work:
        env_home = os.path.join(work, "home")
        os.environ["CORVEX_HOME"] = env_home
        mono_fit = os.path.join(work, "mono.fit")
        colour_fit = os.path.join(work, "colour.fit")
        run(args.writer, mono_fit)
        run(args.writer, colour_fit, "--colour")
        files = {}
        for name, source, extra in [("mono.tif", mono_fit, []), ("colour.tif", colour_fit, []),
                                    ("mono.bmp", mono_fit, []), ("mono-qz.bmp", mono_fit, ["--qz"]),
                                    ("colour.bmp", colour_fit, []),
                                    ("colour-qz.bmp", colour_fit, ["--qz"])]:
            path = os.path.join(work, name)
            kind = "--tiff" if name.endswith(".tif") else "--bmp"
            run(args.cli, "export", source, kind, path, *extra)
            files[name] = path

        sizes = {"mono.tif": 189978, "colour.tif": 569424, "mono.bmp": 149558,
                 "mono-qz.bmp": 192054, "colour.bmp": 445494, "colour-qz.bmp": 572982}
        for name, size in sizes.items():
            expect(os.path.getsize(files[name]) == size, f"{name} is {size} bytes")

        mono_tif = Image.open(files["mono.tif"])
        expect(mono_tif.size == (510, 372) and mono_tif.mode == "L", "grey TIFF 510 x 372, L")
        for col in (0, 1, 2, 3, 100, 509):
            expect(mono_tif.getpixel((col, 0)) == sample(0, col), f"grey TIFF row 0 col {col}")
            expect(mono_tif.getpixel((col, 371)) == sample(289, col),
                   f"grey TIFF row 371 col {col}")

        mono_bmp = Image.open(files["mono.bmp"])
        expect(mono_bmp.size == (512, 290) and mono_bmp.mode in ("P", "L"), "mono BMP 512 x 290")
        grey = mono_bmp.convert("L")
        for row, col in ((0, 1), (0, 3), (144, 201), (200, 300)):
            expect(grey.getpixel((col, row)) == sample(row, col), f"mono BMP at {row},{col}")
        expect(grey.getpixel((510, 5)) == 0 and grey.getpixel((511, 5)) == 0,
               "mono BMP columns 510-511 blank")
        expect(Image.open(files["mono-qz.bmp"]).size == (512, 373), "QZ BMP 512 x 373")

        colour_bmp = Image.open(files["colour.bmp"]).convert("RGB")
        colour_tif = Image.open(files["colour.tif"])
        expect(colour_bmp.size == (512, 290), "colour BMP 512 x 290")
        expect(colour_tif.size == (510, 372) and colour_tif.mode == "RGB", "colour TIFF RGB")
        for col in (0, 10, 255, 509):
            expect(colour_tif.getpixel((col, 0)) == colour_bmp.getpixel((col, 0)),
                   f"colour TIFF row 0 is the display's top row (col {col})")
            expect(colour_tif.getpixel((col, 371)) == colour_bmp.getpixel((col, 289)),
                   f"colour TIFF row 371 is the display's bottom row (col {col})")
        expect(Image.open(files["colour-qz.bmp"]).size == (512, 373), "colour QZ BMP")

        for name in ("mono.tif", "colour.tif"):
            info = subprocess.run([args.tiffinfo, files[name]], capture_output=True, text=True)
            report = info.stdout + info.stderr
            expect(info.returncode == 0, f"tiffinfo {name}")
            expect("Warning" not in report and "Error" not in report and info.stderr == "",
                   f"tiffinfo reports no problem with {name}:\n{report}")
            expect("Image Width: 510 Image Length: 372" in report, f"tiffinfo size of {name}")
    print("exports OK")


if __name__ == "__main__":
    main()
