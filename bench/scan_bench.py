#!/usr/bin/env python3
"""marrowfen-scan against the tools a user would otherwise use, on the same files in one run.

  bench/scan_bench.py [runs]     (default 5; needs a release build: cmake --build --preset release)

1. Rendering: every page of a 20-page PDF to PNG, ours (--render-pages) against
   `pdftoppm -png -scale-to 1600` (the same long side as our default render).
2. Recognition: page pictures in four fonts and sizes, clean and degraded (noise, blur and a slight
   skew, made here), ours against the `tesseract` command line on the very same image files:
   character error rate and time per page.
3. Text layer: a 50-page born-digital PDF, ours with --source auto against `pdftotext`.
Times are medians of the runs; peak memory is the largest resident set seen (/usr/bin/time -v).
"""
import math
import os
import random
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("MARROWFEN_BUILD_DIR", os.path.join(ROOT, "build", "release"))
SCAN = os.path.join(BUILD, "scan", "marrowfen-scan")
FIXTURES = os.path.join(BUILD, "scan", "scan_fixtures")
RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 5


def timed(cmd, env=None):
    """Runs cmd under /usr/bin/time -v; returns (seconds, peak MB, stdout)."""
    with tempfile.NamedTemporaryFile("r") as report:
        result = subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + cmd, env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True)
        text = report.read()
    wall = re.search(r"Elapsed \(wall clock\) time .*: (.*)", text).group(1)
    seconds = 0.0
    for part in wall.split(":"):
        seconds = seconds * 60 + float(part)
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1)) / 1024
    return seconds, peak, result.stdout


def median_run(cmd, env=None):
    times, peaks, out = [], [], b""
    for _ in range(RUNS):
        t, p, out = timed(cmd, env)
        times.append(t)
        peaks.append(p)
    return statistics.median(times), max(peaks), out


def alternating(cmds, runs):
    """Runs the commands in turn, `runs` times each; the median seconds of each."""
    times = [[] for _ in cmds]
    for _ in range(runs):
        for k, cmd in enumerate(cmds):
            start = time.perf_counter()
            child = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            _, status = os.waitpid(child.pid, 0)
            times[k].append(time.perf_counter() - start)
            child.returncode = os.waitstatus_to_exitcode(status)
            if child.returncode != 0:
                raise RuntimeError(f"{cmd[0]} failed with status {child.returncode}")
    return [statistics.median(t) for t in times]


def edit_distance(a, b):
    previous = list(range(len(b) + 1))
    for i, ca in enumerate(a, 1):
        current = [i]
        for j, cb in enumerate(b, 1):
            current.append(min(previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (ca != cb)))
        previous = current
    return previous[-1]


def normalise(text):
    return " ".join(text.split())


def cer(truth, seen):
    truth, seen = normalise(truth), normalise(seen)
    return edit_distance(truth, seen) / max(1, len(truth))


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, width, height, maxval, rest = re.match(rb"(P5)\s+(\d+)\s+(\d+)\s+(\d+)\s(.*)", data, re.S).groups()
    return int(width), int(height), bytearray(rest)


def write_pgm(path, width, height, pixels):
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height))
        f.write(bytes(pixels))


def degrade(width, height, pixels, seed):
    """A scan-like copy: rotated by 0.8 degrees, a 3x3 box blur, grain and a grey paper."""
    rng = random.Random(seed)
    angle = math.radians(0.8)
    c, s = math.cos(angle), math.sin(angle)
    cx, cy = width / 2, height / 2
    rotated = bytearray(width * height)
    for y in range(height):
        for x in range(width):
            sx = int(c * (x - cx) + s * (y - cy) + cx)
            sy = int(-s * (x - cx) + c * (y - cy) + cy)
            rotated[y * width + x] = pixels[sy * width + sx] if 0 <= sx < width and 0 <= sy < height else 255
    out = bytearray(width * height)
    for y in range(height):
        for x in range(width):
            total, count = 0, 0
            for dy in (-1, 0, 1):
                yy = y + dy
                if 0 <= yy < height:
                    row = yy * width
                    for dx in (-1, 0, 1):
                        xx = x + dx
                        if 0 <= xx < width:
                            total += rotated[row + xx]
                            count += 1
            value = total / count * 0.88 + 12 + rng.gauss(0, 14)
            out[y * width + x] = max(0, min(255, int(value)))
    return out


def section(title):
    print(f"\n== {title}")


def main():
    work = tempfile.mkdtemp(prefix="mf-bench-")
    subprocess.run([FIXTURES, work], check=True)
    env = dict(os.environ)

    section(f"rendering: 20-page PDF to PNG, long side 1600 ({RUNS} runs)")
    pdf = os.path.join(work, "document-20.pdf")
    ours = median_run([SCAN, "--render-pages", pdf, os.path.join(work, "ours")])
    theirs = median_run(["pdftoppm", "-png", "-scale-to", "1600", pdf, os.path.join(work, "pdftoppm")])
    print(f"marrowfen-scan {ours[0]:.2f} s, peak {ours[1]:.0f} MB")
    print(f"pdftoppm       {theirs[0]:.2f} s, peak {theirs[1]:.0f} MB")
    print(f"ratio ours/pdftoppm {ours[0] / theirs[0]:.2f}")

    section(f"recognition: page pictures, clean and degraded ({RUNS} runs each)")
    ocr_dir = os.path.join(work, "ocr")
    images = []
    for name in sorted(n[:-4] for n in os.listdir(ocr_dir) if n.endswith(".pgm")):
        truth = open(os.path.join(ocr_dir, name + ".txt")).read()
        clean = os.path.join(ocr_dir, name + ".pgm")
        width, height, pixels = read_pgm(clean)
        noisy = os.path.join(ocr_dir, name + "-scan.pgm")
        write_pgm(noisy, width, height, degrade(width, height, pixels, name))
        images += [(name, clean, truth), (name + "-scan", noisy, truth)]
    print(f"{'image':<16}{'ours CER':>10}{'cli CER':>10}{'ours s':>9}{'cli s':>9}{'ratio':>7}")
    totals = [0.0, 0.0, 0.0, 0.0]
    peak_ours = peak_cli = 0.0
    for name, path, truth in images:
        t_ours, p_ours, out = median_run([SCAN, path], env)
        import json
        text_ours = json.loads(out)["rawText"]
        t_cli, p_cli, out_cli = median_run(["tesseract", path, "-"], env)
        e_ours, e_cli = cer(truth, text_ours), cer(truth, out_cli.decode())
        totals = [totals[0] + e_ours, totals[1] + e_cli, totals[2] + t_ours, totals[3] + t_cli]
        peak_ours, peak_cli = max(peak_ours, p_ours), max(peak_cli, p_cli)
        print(f"{name:<16}{e_ours:>10.4f}{e_cli:>10.4f}{t_ours:>9.2f}{t_cli:>9.2f}{t_ours / t_cli:>7.2f}")
    n = len(images)
    print(f"{'mean':<16}{totals[0] / n:>10.4f}{totals[1] / n:>10.4f}{totals[2] / n:>9.2f}{totals[3] / n:>9.2f}"
          f"{totals[2] / totals[3]:>7.2f}")
    print(f"peak memory: ours {peak_ours:.0f} MB, tesseract {peak_cli:.0f} MB")

    # A text-layer run takes tens of milliseconds, below what /usr/bin/time resolves, so the two
    # programs are timed here directly, alternating, over many runs.
    runs = max(RUNS * 8, 40)
    section(f"text layer: 50-page born-digital PDF ({runs} alternating runs)")
    text50 = os.path.join(work, "text-50.pdf")
    ours, theirs = alternating([[SCAN, "--source", "auto", text50],
                                ["pdftotext", text50, os.path.join(work, "text-50.txt")]], runs)
    # Peak memory from /usr/bin/time: a child's own figure from wait4 would include the Python
    # process it was forked from.
    ours_peak = timed([SCAN, "--source", "auto", text50])[1]
    theirs_peak = timed(["pdftotext", text50, os.path.join(work, "text-50.txt")])[1]
    print(f"marrowfen-scan --source auto {ours * 1000:.1f} ms, peak {ours_peak:.0f} MB")
    print(f"pdftotext                    {theirs * 1000:.1f} ms, peak {theirs_peak:.0f} MB")
    print(f"ratio ours/pdftotext {ours / theirs:.2f}")

if __name__ == "__main__":
    main()
