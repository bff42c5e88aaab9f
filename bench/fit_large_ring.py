#!/usr/bin/env python3
"""Fit around 360 of the 12-view ring of the synthetic views enlarged to 6000 x 4500, timed
as whole processes for two builds of smra_fit in turn (A: this build, B: an earlier one), with
the median wall times and the ratio A/B. Checks that both builds place every picture alike
(status, angles, focal, score and points as smra_fit prints them).

  bench/fit_large_ring.py --before OLD/smra_fit [--after NEW/smra_fit] [--runs N] [--size WxH]

The enlarged views are made here (djpeg, netpbm's pamscale with a smooth filter, cjpeg), in a
temporary folder, with the views' camera data scaled to their new size: a nearest-pixel
enlargement leaves blocks the scans cannot match. Without --before only this build is timed.
Needs the optimised build (build/tools/smra_fit), libjpeg-turbo-progs and netpbm. Timings
vary with the machine's load: compare within one run.
"""
import argparse
import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import paired_timing  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTDATA = os.environ.get("SMRA_TESTDATA_DIR", os.path.join(ROOT, "..", "shared", "testdata"))
VIEWS = os.path.join(TESTDATA, "synthetic-views-rhein3")


def exif_segment(focal_mm, plane_px_per_cm):
    """An EXIF APP1 segment (little-endian TIFF) with a camera model, the focal length and the
    focal-plane resolution, from which the fit takes the focal length in pixels."""
    def entry(tag, kind, count, value):
        return struct.pack("<HHI", tag, kind, count) + value

    def rational(v):
        return struct.pack("<II", int(round(v * 10000)), 10000)

    model = b"synthetic\0"
    # Layout: header (8), IFD0 with 2 entries (2 + 24 + 4), the model text, then the Exif IFD
    # with 3 entries (2 + 36 + 4) and its two rationals.
    ifd0 = 8
    model_at = ifd0 + 2 + 2 * 12 + 4
    exif_ifd = model_at + len(model)
    values = exif_ifd + 2 + 3 * 12 + 4
    tiff = b"II*\0" + struct.pack("<I", ifd0)
    tiff += struct.pack("<H", 2) + entry(0x0110, 2, len(model), struct.pack("<I", model_at))
    tiff += entry(0x8769, 4, 1, struct.pack("<I", exif_ifd)) + struct.pack("<I", 0) + model
    tiff += struct.pack("<H", 3) + entry(0x920A, 5, 1, struct.pack("<I", values))
    tiff += entry(0xA20E, 5, 1, struct.pack("<I", values + 8))
    tiff += entry(0xA210, 3, 1, struct.pack("<HH", 3, 0)) + struct.pack("<I", 0)
    tiff += rational(focal_mm) + rational(plane_px_per_cm)
    body = b"Exif\0\0" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def with_exif(path, segment):
    """Puts the EXIF segment right after the start of image of a JPEG file."""
    data = open(path, "rb").read()
    open(path, "wb").write(data[:2] + segment + data[2:])


def enlarge(source, target, size):
    """djpeg | pamscale (smooth) | cjpeg: the view enlarged to size, as a JPEG of quality 92."""
    w, h = size.split("x")
    with open(target, "wb") as out:
        decode = subprocess.Popen(["djpeg", source], stdout=subprocess.PIPE)
        scale = subprocess.Popen(["pamscale", "-xsize", w, "-ysize", h, "-filter", "triangle"], stdin=decode.stdout,
                                 stdout=subprocess.PIPE)
        decode.stdout.close()
        encode = subprocess.Popen(["cjpeg", "-quality", "92"], stdin=scale.stdout, stdout=out)
        scale.stdout.close()
        if encode.wait() != 0 or scale.wait() != 0 or decode.wait() != 0:
            raise SystemExit("cannot enlarge " + source)


def placements(smra_fit, project, out):
    """smra_fit's table of where each picture went, without its timing line."""
    text = subprocess.run([smra_fit, "fit", project, out, "--around-360"], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, text=True).stdout
    return [line for line in text.splitlines() if not line.startswith("common focal")]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--before", help="smra_fit of the earlier build")
    parser.add_argument("--after", default=os.path.join(ROOT, "build", "tools", "smra_fit"))
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size", default="6000x4500")
    args = parser.parse_args()
    if not os.path.isdir(VIEWS):
        raise SystemExit("the synthetic views are missing: %s" % VIEWS)
    for tool in ("djpeg", "cjpeg", "pamscale"):
        if not shutil.which(tool):
            raise SystemExit("needs %s (apt-get install libjpeg-turbo-progs netpbm)" % tool)

    work = tempfile.mkdtemp(prefix="fit_large_ring_")
    try:
        # The views' own camera data: 31.1769 mm on a sensor of 222.222 pixels per cm (692.82
        # pixels of focal over 800); enlarged, the sensor holds that many times more pixels.
        width = int(args.size.split("x")[0])
        segment = exif_segment(31.1769, 222.2222 * width / 800.0)
        photos = []
        for i in range(12):
            photo = os.path.join(work, "view%02d.jpg" % i)
            enlarge(os.path.join(VIEWS, "rhein3_v%02d.jpg" % i), photo, args.size)
            with_exif(photo, segment)
            photos.append(photo)
        project = os.path.join(work, "ring.fit")
        subprocess.run([args.after, "new", project] + photos, check=True, stdout=subprocess.DEVNULL)
        out_a = os.path.join(work, "a.fit")
        out_b = os.path.join(work, "b.fit")
        table = placements(args.after, project, out_a)
        print("\n".join(table))
        after = [args.after, "fit", project, out_a, "--around-360"]
        if not args.before:
            runs = [paired_timing.run_once(after) for _ in range(args.runs)]
            walls = sorted(r[0] for r in runs)
            print("this build: median wall %.2f s over %d runs" % (walls[len(walls) // 2], len(walls)))
            return
        if placements(args.before, project, out_b) != table:
            print("the two builds place the pictures differently")
            return 1
        print("both builds place every picture alike")
        before = [args.before, "fit", project, out_b, "--around-360"]
        pairs = paired_timing.paired(after, before, args.runs, warmup=0, check=False)
        paired_timing.report(pairs, "after", "before")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
