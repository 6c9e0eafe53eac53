#!/usr/bin/python3
"""Photographed and half-size copies of real pages, read by one or two builds of marrowfen-scan.

  nice -n 10 bench/photo_pages_bench.py SCAN [SCAN2] [--forms N] [--receipts N]

SCAN is a marrowfen-scan program (of a build or an install prefix). Pages: every n-th form and
receipt of $MARROWFEN_OCR_DEV (default /work/shared/data/ocr-dev) from the second on, so not the
pages real_pages_bench.py takes (default 12 forms, 10 receipts). Each page is read flat, at half
size, and photographed as real_pages_bench.py photographs (perspective, uneven light, JPEG 88)
with Gaussian blur 0, 0.8, 1.2 and 1.8. Prints the word-order-free character error rate per kind
of copy for forms, receipts and both, and with two programs, every page whose rate differs by
more than 0.005. Copies go to a temporary folder; two pages are read at once.
"""
import glob
import json
import os
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

from PIL import Image

import real_pages_bench as pages

KINDS = ["flat", "half", "b0", "b0.8", "b1.2", "b1.8"]


def option(name, default):
    return int(sys.argv[sys.argv.index(name) + 1]) if name in sys.argv else default


def make_copies(work, forms, receipts):
    """Writes the copies; returns (path, kind, group, truth) for each."""
    copies = []
    n = 0
    for folder, count in (("forms", forms), ("receipts", receipts)):
        files = sorted(glob.glob(os.path.join(pages.DATA, folder, "*.png")) +
                       glob.glob(os.path.join(pages.DATA, folder, "*.jpg")))
        step = max(1, len(files) // max(1, count))
        for f in files[1::step][:count]:
            truth = open(os.path.splitext(f)[0] + ".txt", encoding="utf-8").read()
            img = Image.open(f)
            base = os.path.join(work, f"{folder[0]}{n:02d}")
            img.save(base + "-flat.png")
            img.resize((img.width // 2, img.height // 2), Image.LANCZOS).save(base + "-half.png")
            copies += [(base + "-flat.png", "flat", folder, truth),
                       (base + "-half.png", "half", folder, truth)]
            for blur in (0, 0.8, 1.2, 1.8):
                path = f"{base}-b{blur:g}.jpg"
                pages.photo_like(img, n, blur).save(path, quality=88)
                copies.append((path, f"b{blur:g}", folder, truth))
            n += 1
    return copies


def read(scan, path):
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    out = subprocess.run([scan, path], capture_output=True, env=env).stdout
    try:
        return json.loads(out).get("rawText", "")
    except ValueError:
        return ""


def main():
    scans = [a for a in sys.argv[1:] if not a.startswith("--") and not a.isdigit()]
    if not scans:
        sys.exit(__doc__)
    work = tempfile.mkdtemp(prefix="photo-pages-")
    copies = make_copies(work, option("--forms", 12), option("--receipts", 10))
    rates = []  # per program, the rate of each copy
    for scan in scans:
        with ThreadPoolExecutor(2) as pool:
            texts = list(pool.map(lambda c: read(scan, c[0]), copies))
        rates.append([pages.scores(c[3], t)[1] for c, t in zip(copies, texts)])
    for scan, rate in zip(scans, rates):
        print(scan)
        print("%-10s" % "" + "".join("%8s" % k for k in KINDS))
        for group in ("forms", "receipts", None):
            row = []
            for kind in KINDS:
                r = [x for c, x in zip(copies, rate) if c[1] == kind and group in (None, c[2])]
                row.append(sum(r) / max(1, len(r)))
            print("%-10s" % (group or "all") + "".join("%8.3f" % x for x in row))
    if len(scans) == 2:
        print("pages that differ (first, second):")
        for c, a, b in zip(copies, rates[0], rates[1]):
            if abs(a - b) > 0.005:
                print("  %-16s %-8s %.3f %.3f %+.3f" % (os.path.basename(c[0]), c[2], a, b, b - a))
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
