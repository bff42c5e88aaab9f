#!/usr/bin/env python3
"""Converts a 24-megapixel JPEG to BMP with `imgtool convert` and with libjpeg-turbo's
`djpeg -bmp`, in turn, as whole processes, and prints the medians and the ratio imgtool/djpeg.
Checks first that both give the same picture size.

  bench/convert_vs_djpeg.py [--runs N] [--photo FILE.jpg] [--imgtool PATH]

Without --photo the photo is made here: the Rhine panorama of the test data enlarged to
6000 x 4000 by imgtool itself and encoded 4:2:0 at quality 90 by cjpeg. The outputs are written to /dev/shm when it exists (so the disk does not time the
runs). Needs the optimised build (build/tools/imgtool) and libjpeg-turbo-progs. Timings vary
with the machine's load: compare the two within one run.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

sys.dont_write_bytecode = True  # no cache folder in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import paired_timing  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TESTDATA = os.environ.get("SMRA_TESTDATA_DIR", os.path.join(ROOT, "..", "shared", "testdata"))
SOURCE = os.path.join(TESTDATA, "equirect-rhein-rodenkirchen", "rhein3_rodenkirchen.baseline.jpg")


def make_photo(imgtool, work):
    """The 24-megapixel test photo: enlarged by imgtool (nearest pixel), encoded by cjpeg."""
    bmp = os.path.join(work, "big.bmp")
    subprocess.run([imgtool, "convert", SOURCE, bmp, "--size", "6000x4000"], check=True)
    jpg = os.path.join(work, "photo_24mp.jpg")
    with open(jpg, "wb") as out:
        subprocess.run(["cjpeg", "-quality", "90", "-sample", "2x2", bmp], stdout=out, check=True)
    os.remove(bmp)
    return jpg


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=15)
    parser.add_argument("--photo")
    parser.add_argument("--imgtool", default=os.path.join(ROOT, "build", "tools", "imgtool"))
    args = parser.parse_args()
    for tool in ("djpeg", "cjpeg"):
        if not shutil.which(tool):
            raise SystemExit("needs %s (apt-get install libjpeg-turbo-progs)" % tool)
    if not os.access(args.imgtool, os.X_OK):
        raise SystemExit("build imgtool first: %s" % args.imgtool)

    work = tempfile.mkdtemp(prefix="convert_vs_djpeg_")
    out_dir = "/dev/shm" if os.path.isdir("/dev/shm") else work
    ours_out = os.path.join(out_dir, "convert_vs_djpeg_%d_ours.bmp" % os.getpid())
    peer_out = os.path.join(out_dir, "convert_vs_djpeg_%d_djpeg.bmp" % os.getpid())
    try:
        photo = args.photo or make_photo(args.imgtool, work)
        ours = [args.imgtool, "convert", photo, ours_out]
        peer = ["djpeg", "-bmp", "-outfile", peer_out, photo]
        subprocess.run(ours, check=True)
        subprocess.run(peer, check=True)
        if open(ours_out, "rb").read(26)[18:26] != open(peer_out, "rb").read(26)[18:26]:
            raise SystemExit("the two BMP files differ in size")
        print("%s: %d bytes" % (photo, os.path.getsize(photo)))
        pairs = paired_timing.paired(ours, peer, args.runs, warmup=2)
        paired_timing.report(pairs, "imgtool", "djpeg")
    finally:
        for f in (ours_out, peer_out):
            if os.path.exists(f):
                os.remove(f)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
