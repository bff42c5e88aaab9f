#!/usr/bin/env python3
"""Fits the 12-view ring of the synthetic views with our fit and with two peers, and prints
each tool's wall time and its per-camera error against camera truth.

  (a) ours:   smra_fit new + smra_fit fit --around-360 (accuracy measured by bench_fit_accuracy,
              which maps the truth's sample pixels through the engine's own lens model);
  (b) Hugin:  pto_gen, cpfind --multirow, cpclean, autooptimiser -a -m -l -s (sample pixels
              mapped through Hugin's own model with pano_trafo);
  (c) OpenCV: the stitcher's detail pipeline up to its camera estimates (features, best-of-2
              matching, homography-based estimate, ray bundle adjustment, wave correction).

Per-camera error: the directions that each view's truth sample pixels see are rotated by the
one rotation of the whole set that fits all samples best; the camera's error is then the angle
of the rotation that best carries its own samples onto the truth. Focal error: the tool's focal
against the truth's, in per cent.

Needs the optimised build (build/, with -DSMRA_BENCH=ON for bench_fit_accuracy). Installs
hugin-tools, python3-opencv and python3-numpy with apt-get when they are missing (benchmark
only; nothing in the program or its tests uses them). Timings vary with the machine's load:
run it on a quiet machine and compare tools within one run.
"""
import argparse
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RING = ["rhein3_v%02d.jpg" % i for i in range(12)]
HUGIN_TOOLS = ["pto_gen", "cpfind", "cpclean", "autooptimiser", "pano_trafo"]


SYSTEM_PYTHON = "/usr/bin/python3"


def use_system_python():
    """The Debian packages install their modules for the system's interpreter: run there."""
    if os.path.realpath(sys.executable) != os.path.realpath(SYSTEM_PYTHON) and os.path.exists(SYSTEM_PYTHON):
        os.execv(SYSTEM_PYTHON, [SYSTEM_PYTHON] + sys.argv)


def ensure_packages(allow_install, tools):
    use_system_python()
    missing = []
    if "hugin" in tools and not all(shutil.which(t) for t in HUGIN_TOOLS):
        missing.append("hugin-tools")
    try:
        import numpy  # noqa: F401
    except ImportError:
        missing.append("python3-numpy")
    if "opencv" in tools:
        try:
            import cv2  # noqa: F401
        except ImportError:
            missing.append("python3-opencv")
    if not missing:
        return
    if not allow_install:
        sys.exit("missing: %s (run without --no-install to install them)" % " ".join(missing))
    prefix = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    print("installing %s ..." % " ".join(missing), flush=True)
    subprocess.run(prefix + ["apt-get", "update", "-q"], check=True, env=env, stdout=subprocess.DEVNULL)
    subprocess.run(prefix + ["apt-get", "install", "-y", "-q", "--no-install-recommends"] + missing,
                   check=True, env=env, stdout=subprocess.DEVNULL)


def run(cmd, cwd=None):
    """Runs a command, returning (wall seconds, stdout); stops the bench when it fails."""
    start = time.perf_counter()
    p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    if p.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s" % (" ".join(cmd[:2]), p.returncode, p.stderr[-2000:]))
    return wall, p.stdout


# ---- truth and errors -------------------------------------------------------------------------

def direction(lon_deg, lat_deg):
    """Unit vector of the truth's convention: x east, y down, z at (lon 0, lat 0)."""
    lon, lat = math.radians(lon_deg), math.radians(lat_deg)
    return [math.cos(lat) * math.sin(lon), -math.sin(lat), math.cos(lat) * math.cos(lon)]


def best_rotation(est, tru):
    """The rotation R (3x3, det +1) that minimises sum |R est_i - tru_i|^2 (Kabsch)."""
    import numpy as np
    a = np.asarray(est, dtype=float)
    b = np.asarray(tru, dtype=float)
    h = a.T @ b
    u, _, vt = np.linalg.svd(h)
    d = np.sign(np.linalg.det(vt.T @ u.T))
    return vt.T @ np.diag([1.0, 1.0, d]) @ u.T


def rotation_angle_deg(r):
    c = max(-1.0, min(1.0, (float(r[0][0] + r[1][1] + r[2][2]) - 1.0) / 2.0))
    return math.degrees(math.acos(c))


def camera_errors(estimated, truth):
    """estimated: view file -> list of unit vectors, one per truth sample (None when the tool
    left the view out). The per-camera errors in degrees after the best global rotation of all
    the views, and again after the best rotation of the views that are not far off (a view
    misplaced by tens of degrees drags the rotation of the whole set with it and makes every
    other view look wrong by degrees)."""
    plain = camera_errors_against(estimated, truth, set())
    if not plain:
        return plain, plain, []
    ordered = sorted(plain.values())
    median = ordered[len(ordered) // 2]
    outliers = {v for v, e in plain.items() if e > max(1.0, 10.0 * median)}
    if not outliers or len(outliers) * 2 >= len(plain):
        return plain, plain, []
    return plain, camera_errors_against(estimated, truth, outliers), sorted(outliers)


def camera_errors_against(estimated, truth, left_out):
    import numpy as np
    est, tru = [], []
    for view in truth["views"]:
        dirs = estimated.get(view["file"])
        if dirs is None or view["file"] in left_out:
            continue
        est += dirs
        tru += [direction(s[2], s[3]) for s in view["samples_u_v_lon_lat"]]
    if not est:
        return {}
    g = best_rotation(est, tru)
    errors = {}
    for view in truth["views"]:
        dirs = estimated.get(view["file"])
        if dirs is None:
            continue
        rotated = [list(g @ np.asarray(d)) for d in dirs]
        t = [direction(s[2], s[3]) for s in view["samples_u_v_lon_lat"]]
        errors[view["file"]] = rotation_angle_deg(best_rotation(rotated, t))
    return errors


# ---- (a) ours ---------------------------------------------------------------------------------

def fit_ours(views, work, smra_fit, accuracy, truth_path):
    paths = [os.path.join(views, f) for f in RING]
    t_new, _ = run([smra_fit, "new", os.path.join(work, "ring.in.fit")] + paths)
    t_fit, out = run([smra_fit, "fit", os.path.join(work, "ring.in.fit"), os.path.join(work, "ring.fit"),
                      "--around-360"])
    fitted = sum(1 for line in out.splitlines() if re.match(r"\S+\.jpg\s+3\s", line))
    _, report = run([accuracy, os.path.join(work, "ring.fit"), truth_path])
    errors = {}
    focal_error = None
    for line in report.splitlines():
        m = re.match(r"(rhein3_v\d\d\.jpg)\s+([0-9.]+)\s+[0-9.]+$", line.strip())
        if m:
            errors[m.group(1)] = float(m.group(2))
        m = re.search(r"error ([+-]?[0-9.]+) %", line)
        if m:
            focal_error = float(m.group(1))
    ordered = sorted(errors.values())
    far = ordered and ordered[-1] > max(1.0, 10.0 * ordered[len(ordered) // 2])
    return {"time": t_new + t_fit, "detail": "new %.2f s + fit %.2f s; %d/12 fitted" % (t_new, t_fit, fitted),
            "errors": (errors, {} if far else errors, []), "focal_error": focal_error}


# ---- (b) Hugin --------------------------------------------------------------------------------

def parse_pto_images(path):
    """The i lines of a Hugin project as dicts of their single-letter fields (numbers)."""
    images = []
    with open(path) as f:
        for line in f:
            if not line.startswith("i "):
                continue
            fields = {}
            for tok in line.split()[1:]:
                m = re.match(r"([a-zA-Z]+)(-?[0-9.eE+-]+)$", tok)
                if m:
                    fields[m.group(1)] = float(m.group(2))
                m = re.match(r'n"(.*)"$', tok)
                if m:
                    fields["name"] = os.path.basename(m.group(1))
            images.append(fields)
    return images


def fit_hugin(views, work, truth):
    paths = [os.path.join(views, f) for f in RING]
    steps = [
        ("pto_gen", ["pto_gen", "-o", "gen.pto"] + paths),
        ("cpfind", ["cpfind", "--multirow", "-o", "cp.pto", "gen.pto"]),
        ("cpclean", ["cpclean", "-o", "clean.pto", "cp.pto"]),
        ("autooptimiser", ["autooptimiser", "-a", "-m", "-l", "-s", "-o", "opt.pto", "clean.pto"]),
    ]
    times = []
    for name, cmd in steps:
        t, _ = run(cmd, cwd=work)
        times.append((name, t))
    images = parse_pto_images(os.path.join(work, "opt.pto"))

    # A copy of the result whose panorama is an equirectangular full sphere, so that pano_trafo
    # turns image pixels into longitudes and latitudes through Hugin's own lens model.
    pw, ph = 360000, 180000
    with open(os.path.join(work, "opt.pto")) as f, open(os.path.join(work, "sphere.pto"), "w") as out:
        for line in f:
            if line.startswith("p "):
                line = re.sub(r"\bf\d+", "f2", line)
                line = re.sub(r"\bw\d+", "w%d" % pw, line)
                line = re.sub(r"\bh\d+", "h%d" % ph, line)
                line = re.sub(r"\bv[0-9.]+", "v360", line)
                line = re.sub(r'\bS[0-9,]+', "", line)
            out.write(line)

    by_name = {v["file"]: v for v in truth["views"]}
    estimated = {}
    for number, image in enumerate(images):
        view = by_name.get(image.get("name"))
        if view is None:
            continue
        samples = view["samples_u_v_lon_lat"]
        coords = "".join("%r %r\n" % (float(s[0]), float(s[1])) for s in samples)
        p = subprocess.run(["pano_trafo", "sphere.pto", str(number)], cwd=work, input=coords,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, check=True)
        dirs = []
        for line in p.stdout.split("\n"):
            nums = line.split()
            if len(nums) < 2:
                continue
            x, y = float(nums[0]), float(nums[1])
            dirs.append(direction((x - pw / 2.0) * 360.0 / pw, (ph / 2.0 - y) * 180.0 / ph))
        if len(dirs) == len(samples):
            estimated[view["file"]] = dirs

    # The optimised lens is shared: its horizontal field of view gives the focal.
    focals = [(im["w"] / 2.0) / math.tan(math.radians(im["v"]) / 2.0) for im in images if "v" in im and "w" in im]
    focal = sorted(focals)[len(focals) // 2] if focals else None
    return {"time": sum(t for _, t in times), "detail": ", ".join("%s %.2f s" % nt for nt in times),
            "errors": camera_errors(estimated, truth),
            "focal_error": None if focal is None else 100.0 * (focal / truth["focal_px"] - 1.0)}


# ---- (c) OpenCV -------------------------------------------------------------------------------

def fit_opencv(views, truth):
    import cv2
    import numpy as np
    start = time.perf_counter()
    imgs = [cv2.imread(os.path.join(views, f)) for f in RING]
    finder = cv2.SIFT_create() if hasattr(cv2, "SIFT_create") else cv2.ORB_create()
    features = [cv2.detail.computeImageFeatures2(finder, img) for img in imgs]
    for i, f in enumerate(features):
        f.img_idx = i
    matcher = cv2.detail_BestOf2NearestMatcher(False, 0.65)
    pairwise = matcher.apply2(features)
    matcher.collectGarbage()
    estimator = cv2.detail_HomographyBasedEstimator()
    ok, cameras = estimator.apply(features, pairwise, None)
    if not ok:
        raise RuntimeError("OpenCV: homography-based estimate failed")
    for cam in cameras:
        cam.R = cam.R.astype(np.float32)
    adjuster = cv2.detail_BundleAdjusterRay()
    adjuster.setConfThresh(1.0)
    adjuster.setRefinementMask(np.ones((3, 3), np.uint8))
    ok, cameras = adjuster.apply(features, pairwise, cameras)
    if not ok:
        raise RuntimeError("OpenCV: bundle adjustment failed")
    rmats = cv2.detail.waveCorrect([np.copy(c.R) for c in cameras], cv2.detail.WAVE_CORRECT_HORIZ)
    wall = time.perf_counter() - start

    # Directions in OpenCV's own convention: R K^-1 (u, v, 1) with the keypoints' pixel
    # coordinates (pixel centres on whole numbers) and its principal point.
    by_name = {v["file"]: v for v in truth["views"]}
    estimated = {}
    for name, cam, r in zip(RING, cameras, rmats):
        k_inv = np.linalg.inv(cam.K().astype(float))
        dirs = []
        for s in by_name[name]["samples_u_v_lon_lat"]:
            d = np.asarray(r, dtype=float) @ (k_inv @ np.array([s[0], s[1], 1.0]))
            d /= np.linalg.norm(d)
            dirs.append(list(d))
        estimated[name] = dirs
    focal = float(np.median([c.focal for c in cameras]))
    return {"time": wall, "detail": "features %s, %d cameras" % (type(finder).__name__, len(cameras)),
            "errors": camera_errors(estimated, truth),
            "focal_error": 100.0 * (focal / truth["focal_px"] - 1.0)}


# ---- report -----------------------------------------------------------------------------------

def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    testdata = os.environ.get("SMRA_TESTDATA_DIR", os.path.join(ROOT, "..", "shared", "testdata"))
    parser.add_argument("--views", default=os.path.join(testdata, "synthetic-views-rhein3"))
    parser.add_argument("--smra-fit", default=os.path.join(ROOT, "build", "tools", "smra_fit"))
    parser.add_argument("--accuracy", default=os.path.join(ROOT, "build", "bench", "bench_fit_accuracy"))
    parser.add_argument("--no-install", action="store_true", help="fail instead of installing missing peers")
    parser.add_argument("--only", choices=["ours", "hugin", "opencv"], action="append",
                        help="run only these tools (repeatable)")
    args = parser.parse_args()

    truth_path = os.path.join(args.views, "truth.json")
    if not os.path.exists(truth_path):
        sys.exit("no truth.json in %s" % args.views)
    for tool in (args.smra_fit, args.accuracy):
        if not os.access(tool, os.X_OK):
            sys.exit("%s not built (configure build/ with -DSMRA_BENCH=ON)" % tool)
    ensure_packages(not args.no_install, args.only or ["ours", "hugin", "opencv"])
    with open(truth_path) as f:
        truth = json.load(f)

    tools = args.only or ["ours", "hugin", "opencv"]
    results = {}
    with tempfile.TemporaryDirectory(prefix="peer_fit_") as work:
        for tool in tools:
            print("fitting with %s ..." % tool, flush=True)
            try:
                if tool == "ours":
                    results[tool] = fit_ours(args.views, work, args.smra_fit, args.accuracy, truth_path)
                elif tool == "hugin":
                    results[tool] = fit_hugin(args.views, work, truth)
                else:
                    results[tool] = fit_opencv(args.views, truth)
            except (RuntimeError, subprocess.CalledProcessError, OSError) as e:
                print("  %s failed: %s" % (tool, e))

    print()
    print("load average %.1f %.1f %.1f (timings are only comparable within one run)" % os.getloadavg())
    print()
    print("%-8s %8s %10s %10s %12s %10s  %s" % ("tool", "time_s", "worst_deg", "mean_deg", "robust_worst", "focal_%",
                                                "detail"))
    for tool in tools:
        r = results.get(tool)
        if not r:
            print("%-8s %8s" % (tool, "failed"))
            continue
        plain, robust, left_out = r["errors"]
        e = list(plain.values())
        worst = "%.4f" % max(e) if e else "-"
        mean = "%.4f" % (sum(e) / len(e)) if e else "-"
        others = [v for k, v in robust.items() if k not in left_out]
        robust_worst = "%.4f" % max(others) if others else "-"
        focal = "%+.3f" % r["focal_error"] if r["focal_error"] is not None else "-"
        detail = r["detail"] + ("; far off: %s" % ", ".join(left_out) if left_out else "")
        print("%-8s %8.2f %10s %10s %12s %10s  %s" % (tool, r["time"], worst, mean, robust_worst, focal, detail))
    print()
    print("per-camera error, degrees: after one rotation of the whole set, and (robust) after the")
    print("rotation of the views that are not far off; '-' left out")
    header = "%-16s" % "view"
    for tool in tools:
        header += "%10s%10s" % (tool, "robust")
    print(header)
    for name in RING:
        row = "%-16s" % name
        for tool in tools:
            r = results.get(tool)
            plain, robust, _ = r["errors"] if r else ({}, {}, [])
            for table in (plain, robust):
                v = table.get(name)
                row += "%10s" % ("%.4f" % v if v is not None else "-")
        print(row)
    if "ours" in results and "hugin" in results and results["hugin"]["time"] > 0:
        print()
        print("ours / Hugin time ratio: %.2f" % (results["ours"]["time"] / results["hugin"]["time"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
