#!/usr/bin/python3
"""Whole scanned documents, page rendering and the entity tool's growth, side by side in one run.

  bench/pages_bench.py [runs] [page-image-dir]
      runs            paired runs of every command (default 5); medians are reported
      page-image-dir  scanned page images with a NAME.txt transcript beside each NAME.png/.jpg
                      (default /work/shared/data/ocr-dev/forms); the first ten are used and
                      are never copied anywhere but a temporary directory

Needs a release build and the benchmark packages (scripts/packages/bench.txt: mutool, ocrmypdf,
Python's PIL and img2pdf, which this script runs under Debian's /usr/bin/python3).

1. A 10-page scanned PDF made from the page images: marrowfen-scan with one process
   (MARROWFEN_OCR_WORKERS=1), marrowfen-scan on every core, `ocrmypdf --jobs 2 --force-ocr
   --sidecar`: wall time, CPU (user + sys of the program and its children), peak resident set
   of the largest process, word recall against the transcripts; and the CPU each recognition
   worker used (sampled from /proc), to show that both cores had work.
2. `--render-pages` against `mutool draw` on PDFs holding a 9000 x 9000 picture (JPEG colour,
   Flate colour, CCITT 1-bit) on a Letter page, the same picture on a 30-inch page (300 dpi),
   and the 20-page report of scan_fixtures: CPU, peak, page faults, bytes written. mutool
   draws at the pixel height of our page (-h 1600 for Letter pages).
3. marrowfen-entities on 1 MB and 10 MB of document-like text: the ratio of their times.
"""
import collections
import glob
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("MARROWFEN_BUILD_DIR", os.path.join(ROOT, "build", "release"))
SCAN = os.path.join(BUILD, "scan", "marrowfen-scan")
ENTITIES = os.path.join(BUILD, "entities", "marrowfen-entities")
FIXTURES = os.path.join(BUILD, "scan", "scan_fixtures")
RUNS = int(sys.argv[1]) if len(sys.argv) > 1 else 5
PAGE_DIR = sys.argv[2] if len(sys.argv) > 2 else "/work/shared/data/ocr-dev/forms"
TICK = os.sysconf("SC_CLK_TCK")


def load():
    return " ".join(open("/proc/loadavg").read().split()[:3])


def proc_children(pid):
    out = []
    try:
        for task in os.listdir(f"/proc/{pid}/task"):
            with open(f"/proc/{pid}/task/{task}/children") as f:
                out += [int(x) for x in f.read().split()]
    except OSError:
        pass
    return out


def proc_cpu(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / TICK
    except (OSError, IndexError):
        return None


def measure(cmd, env=None, stdin=None, watch=False):
    """Runs cmd under /usr/bin/time -v. Returns a dict: wall, cpu (user+sys including reaped
    children), peak MB, minor faults, stdout; with watch, the CPU seconds of each process below
    the program, sampled every 20 ms from /proc (the last sample before each one ended)."""
    # Standard output goes to a file: a pipe nobody reads while the processes are watched
    # would stop the program once the pipe is full.
    with tempfile.NamedTemporaryFile("r") as report, tempfile.TemporaryFile() as stdout:
        start = time.perf_counter()
        child = subprocess.Popen(["/usr/bin/time", "-v", "-o", report.name] + cmd, env=env,
                                 stdin=stdin, stdout=stdout, stderr=subprocess.DEVNULL)
        seen = {}
        if watch:
            while child.poll() is None:
                stack = proc_children(child.pid)
                while stack:
                    pid = stack.pop()
                    cpu = proc_cpu(pid)
                    if cpu is not None:
                        seen[pid] = max(seen.get(pid, 0.0), cpu)
                    stack += proc_children(pid)
                time.sleep(0.02)
        child.wait()
        wall = time.perf_counter() - start
        stdout.seek(0)
        out = stdout.read()
        if child.returncode != 0:
            raise RuntimeError(f"{cmd} failed with status {child.returncode}")
        text = report.read()
    get = lambda key: re.search(key + r": (.*)", text).group(1)
    return {
        "wall": wall,
        "cpu": float(get(r"User time \(seconds\)")) + float(get(r"System time \(seconds\)")),
        "peak": int(get(r"Maximum resident set size \(kbytes\)")) / 1024,
        "faults": int(get(r"Minor \(reclaiming a frame\) page faults")),
        "out": out,
        "processes": seen,
    }


def paired(commands, runs=RUNS):
    """Runs every command once per round, in turn, `runs` rounds; the list of results of each."""
    results = [[] for _ in commands]
    for _ in range(runs):
        for k, (cmd, kwargs) in enumerate(commands):
            results[k].append(measure(cmd, **kwargs))
    return results


def med(results, key):
    return statistics.median(r[key] for r in results)


def words(text):
    return collections.Counter(re.findall(r"[0-9a-z]+", text.lower()))


def recall(truth, seen):
    t, s = words(truth), words(seen)
    return sum(min(n, s[w]) for w, n in t.items()) / max(1, sum(t.values()))


def section(title):
    print(f"\n== {title} (load average {load()})", flush=True)


def scanned_document(work):
    import img2pdf
    images = sorted(glob.glob(os.path.join(PAGE_DIR, "*.png")) +
                    glob.glob(os.path.join(PAGE_DIR, "*.jpg")))[:10]
    if len(images) < 10:
        raise SystemExit(f"need ten page images with transcripts in {PAGE_DIR}")
    pdf = os.path.join(work, "scanned-10.pdf")
    with open(pdf, "wb") as f:
        f.write(img2pdf.convert(images))
    truth = "\n".join(open(os.path.splitext(i)[0] + ".txt").read() for i in images)
    return pdf, truth


def bench_scanned(work):
    pdf, truth = scanned_document(work)
    sidecar = os.path.join(work, "sidecar.txt")
    env1 = dict(os.environ, MARROWFEN_OCR_WORKERS="1")
    envn = {k: v for k, v in os.environ.items() if k != "MARROWFEN_OCR_WORKERS"}
    section(f"10-page scanned PDF ({os.path.basename(PAGE_DIR)}), {RUNS} paired runs")
    seq, par, ocrmypdf = paired([
        ([SCAN, pdf], {"env": env1}),
        ([SCAN, pdf], {"env": envn, "watch": True}),
        (["ocrmypdf", "--jobs", "2", "--force-ocr", "--sidecar", sidecar, "-q", pdf,
          os.path.join(work, "ocrmypdf-out.pdf")], {}),
    ])
    if seq[0]["out"] != par[0]["out"]:
        print("!! the parallel answer differs from the sequential one")
    else:
        print("parallel answer byte-identical to the sequential one: yes")
    r_ours = recall(truth, json.loads(seq[0]["out"])["rawText"])
    r_theirs = recall(truth, open(sidecar).read())
    print(f"{'':34}{'wall s':>8}{'cpu s':>8}{'peak MB':>9}{'word recall':>13}")
    for name, res, rec in [("marrowfen-scan, one process", seq, r_ours),
                           ("marrowfen-scan, every core", par, r_ours),
                           ("ocrmypdf --jobs 2", ocrmypdf, r_theirs)]:
        print(f"{name:<34}{med(res, 'wall'):>8.2f}{med(res, 'cpu'):>8.2f}"
              f"{max(r['peak'] for r in res):>9.0f}{rec:>13.3f}")
    print(f"wall: every core / one process {med(par, 'wall') / med(seq, 'wall'):.2f}, "
          f"every core / ocrmypdf {med(par, 'wall') / med(ocrmypdf, 'wall'):.2f}; "
          f"cpu: ours / ocrmypdf {med(par, 'cpu') / med(ocrmypdf, 'cpu'):.2f}")
    print("wall of each paired round (one process, every core, ocrmypdf): " +
          "; ".join(f"{a['wall']:.1f} {b['wall']:.1f} {c['wall']:.1f}"
                    for a, b, c in zip(seq, par, ocrmypdf)))
    splits = []
    for r in par:
        cpus = sorted(r["processes"].values(), reverse=True)
        splits.append(" + ".join(f"{c:.2f}" for c in cpus))
    print("CPU seconds of each worker (and the program's own share), per parallel run: " +
          "; ".join(splits))


def render_pdfs(work):
    import contextlib
    import io
    with contextlib.redirect_stdout(io.StringIO()):  # img2pdf talks about PIL's TIFF settings
        return make_render_pdfs(work)


def make_render_pdfs(work):
    import img2pdf
    from PIL import Image
    source = sorted(glob.glob(os.path.join(PAGE_DIR, "*.png")) +
                    glob.glob(os.path.join(PAGE_DIR, "*.jpg")))[0]
    big = Image.open(source).convert("RGB").resize((9000, 9000), Image.BICUBIC)
    paths = {}
    big.save(os.path.join(work, "big.jpg"), quality=85)
    big.save(os.path.join(work, "big.png"), compress_level=1)
    big.convert("L").point(lambda v: 255 if v > 160 else 0).convert("1").save(
        os.path.join(work, "big.tif"), compression="group4")
    letter = img2pdf.get_layout_fun((img2pdf.in_to_pt(8.5), img2pdf.in_to_pt(11)))
    for name, image in [("jpeg", "big.jpg"), ("flate", "big.png"), ("ccitt", "big.tif")]:
        path = os.path.join(work, f"letter-9000-{name}.pdf")
        with open(path, "wb") as f:
            f.write(img2pdf.convert(os.path.join(work, image), layout_fun=letter))
        paths[f"Letter page, 9000 px {name}"] = (path, 1600)
    path = os.path.join(work, "poster-9000-jpeg.pdf")
    with open(path, "wb") as f:
        f.write(img2pdf.convert(os.path.join(work, "big.jpg"),
                                layout_fun=img2pdf.get_fixed_dpi_layout_fun((300, 300))))
    paths["30-inch page, 9000 px jpeg"] = (path, 4320)
    paths["20-page report (scan_fixtures)"] = (os.path.join(work, "document-20.pdf"), 1600)
    return paths


def bytes_in(directory, pattern):
    return sum(os.path.getsize(p) for p in glob.glob(os.path.join(directory, pattern)))


def bench_render(work):
    section(f"--render-pages against mutool draw, {RUNS} paired runs")
    print(f"{'':34}{'cpu ours':>9}{'mutool':>8}{'ratio':>7}{'peak ours':>10}{'mutool':>8}"
          f"{'ratio':>7}{'faults ours':>12}{'mutool':>8}{'MB ours':>8}{'mutool':>8}")
    for name, (pdf, height) in render_pdfs(work).items():
        ours_dir = os.path.join(work, "ours-" + os.path.basename(pdf))
        mu_dir = os.path.join(work, "mutool-" + os.path.basename(pdf))
        os.makedirs(mu_dir, exist_ok=True)
        commands = [([SCAN, "--render-pages", pdf, ours_dir], {}),
                    (["mutool", "draw", "-q", "-h", str(height), "-o",
                      os.path.join(mu_dir, "page-%d.png"), pdf], {})]
        if height != 1600:
            commands.append((["mutool", "draw", "-q", "-h", "1600", "-o",
                              os.path.join(mu_dir, "small-%d.png"), pdf], {}))
        results = paired(commands)
        ours, mu = results[0], results[1]
        print(f"{name:<34}{med(ours, 'cpu'):>9.2f}{med(mu, 'cpu'):>8.2f}"
              f"{med(ours, 'cpu') / med(mu, 'cpu'):>7.2f}{max(r['peak'] for r in ours):>10.0f}"
              f"{max(r['peak'] for r in mu):>8.0f}"
              f"{max(r['peak'] for r in ours) / max(r['peak'] for r in mu):>7.2f}"
              f"{med(ours, 'faults'):>12.0f}{med(mu, 'faults'):>8.0f}"
              f"{bytes_in(ours_dir, '*.png') / 1e6:>8.2f}{bytes_in(mu_dir, 'page-*.png') / 1e6:>8.2f}")
        if height != 1600:
            small = results[2]
            print(f"{'  (our canvas is ' + str(height) + ' px high; mutool -h 1600:':<34}"
                  f"{'':>9}{med(small, 'cpu'):>8.2f}{med(ours, 'cpu') / med(small, 'cpu'):>7.2f}"
                  f"{'':>10}{max(r['peak'] for r in small):>8.0f}"
                  f"{max(r['peak'] for r in ours) / max(r['peak'] for r in small):>7.2f})")


def bench_entities(work):
    section(f"marrowfen-entities, 1 MB and 10 MB of text, {RUNS} paired runs")
    inputs = []
    for size in (1 << 20, 10 << 20):
        path = os.path.join(work, f"entities-{size}.json")
        with open(path, "wb") as f:
            f.write(subprocess.run(["node", os.path.join(ROOT, "bench", "entities_text.mjs"),
                                    str(size)], check=True, stdout=subprocess.PIPE).stdout)
        inputs.append(path)
    results = [[], []]
    for _ in range(RUNS):
        for k, path in enumerate(inputs):
            with open(path, "rb") as stdin:
                results[k].append(measure([ENTITIES], stdin=stdin))
    for label, res in zip(("1 MB", "10 MB"), results):
        print(f"{label:<8} wall {med(res, 'wall'):.2f} s, cpu {med(res, 'cpu'):.2f} s, "
              f"peak {max(r['peak'] for r in res):.0f} MB")
    print(f"10 MB / 1 MB: cpu {med(results[1], 'cpu') / med(results[0], 'cpu'):.1f}x, "
          f"wall {med(results[1], 'wall') / med(results[0], 'wall'):.1f}x")


def main():
    work = tempfile.mkdtemp(prefix="mf-pages-bench-")
    try:
        run_all(work)
    finally:
        # The work directory holds PDFs made from the page images: nothing of them stays behind.
        shutil.rmtree(work, ignore_errors=True)


def run_all(work):
    subprocess.run([FIXTURES, work], check=True)
    only = os.environ.get("BENCH_ONLY", "scanned,render,entities").split(",")
    print(f"{os.cpu_count()} cores; load average {load()}")
    if "scanned" in only:
        bench_scanned(work)
    if "render" in only:
        bench_render(work)
    if "entities" in only:
        bench_entities(work)
    print(f"\nload average at the end {load()}")


if __name__ == "__main__":
    main()
