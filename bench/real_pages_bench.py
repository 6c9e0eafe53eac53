#!/usr/bin/python3
"""Recognition of real pages: marrowfen-scan against the tesseract command line and ocrmypdf.

  nice -n 10 bench/real_pages_bench.py [pages-per-source] [--no-ocrmypdf]
  nice -n 10 bench/real_pages_bench.py [pages-per-source] --cost   (one page: CPU, peak, errors)

Pages: scanned forms and receipts from $MARROWFEN_OCR_DEV (default /work/shared/data/ocr-dev; their
.txt beside each image is the truth) and pages rendered here from seeded random text (English, and
European text with accents). From each page the benchmark makes, into a temporary folder, the kinds
of copies people hand in: turned 90/180/270, skewed 4/8/12/20 degrees, half resolution, strong JPEG,
photo-like (perspective, uneven light, blur). Nothing is written into the repository.

Per kind of page and per program it prints the character error rate (case-blind, whitespace
collapsed), the same with word order ignored (the words of both sorted: no program is charged for
reading a form's columns in another order), word recall, and CPU seconds per page (user + sys of
the process and its children, /usr/bin/time). Then the goals: each kind against the same pages
upright. Needs Debian's python3-pil, python3-numpy, ocrmypdf, unpaper and a release build.
"""
import glob
import json
import os
import random
import re
import subprocess
import sys
import tempfile

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("MARROWFEN_BUILD_DIR", os.path.join(ROOT, "build", "release"))
SCAN = os.path.join(BUILD, "scan", "marrowfen-scan")
DATA = os.environ.get("MARROWFEN_OCR_DEV", "/work/shared/data/ocr-dev")
args = [a for a in sys.argv[1:] if not a.startswith("--")]
PER_SOURCE = int(args[0]) if args and args[0].isdigit() else 4  # also when imported
WITH_OCRMYPDF = "--no-ocrmypdf" not in sys.argv
FONTS = ["/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
         "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"]

WORDS = ("the of and to in is for on that by with this from at are be as your will date name "
         "number total amount account payment invoice address city street phone office report "
         "please signed received copy page section tax paid customer service order reference "
         "certificate birth issued valid until holder registration insurance policy").split()
ACCENTED = ("über Straße Größe Müller Köln schön prüfen Gebühr café élève garçon déjà "
            "préférée façade naïve Noël niño señor mañana año corazón São João ação "
            "informação coração łódź źródło zażółć gęślą jaźń København Ærø Smørrebrød "
            "Åland håndbok göra även Mädchen Bücher français español").split()


def clean_text(text):
    return " ".join(text.lower().split())


def edit_distance(a, b):
    """Levenshtein distance, one numpy row at a time."""
    if not a:
        return len(b)
    if not b:
        return len(a)
    bs = np.frombuffer(b.encode("utf-32-le"), dtype=np.uint32)
    idx = np.arange(len(b) + 1)
    row = idx.copy()
    avals = np.frombuffer(a.encode("utf-32-le"), dtype=np.uint32)
    for k, ch in enumerate(avals, start=1):
        cost = (bs != ch).astype(np.int64)
        new = np.empty_like(row)
        new[0] = k
        new[1:] = np.minimum(row[1:] + 1, row[:-1] + cost)
        # insertions along the row: new[j] = min over i<=j of new[i] + (j - i)
        new = np.minimum.accumulate(new - idx) + idx
        row = new
    return int(row[-1])


def scores(truth, text):
    t, o = clean_text(truth), clean_text(text)
    cer = edit_distance(t, o) / max(1, len(t))
    ts, os_ = " ".join(sorted(t.split())), " ".join(sorted(o.split()))
    cer_free = edit_distance(ts, os_) / max(1, len(ts))
    want = t.split()
    have = {}
    for w in o.split():
        have[w] = have.get(w, 0) + 1
    found = 0
    for w in want:
        if have.get(w, 0) > 0:
            have[w] -= 1
            found += 1
    return cer, cer_free, found / max(1, len(want))


def timed(cmd, env=None):
    """Runs cmd; returns (cpu seconds, peak MB, stdout)."""
    with tempfile.NamedTemporaryFile("r") as report:
        result = subprocess.run(["/usr/bin/time", "-f", "%U %S %M", "-o", report.name] + cmd,
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        user, system, peak = report.read().split()[-3:]
    return float(user) + float(system), int(peak) / 1024, result.stdout


def run_ours(path, work):
    cpu, peak, out = timed([SCAN, path])
    try:
        text = json.loads(out).get("rawText", "")
    except ValueError:
        text = ""
    return cpu, peak, text


def run_tesseract(path, work):
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    cpu, peak, out = timed(["tesseract", path, "-"], env)
    return cpu, peak, out.decode("utf-8", "replace")


def run_ocrmypdf(path, work):
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    sidecar = os.path.join(work, "sidecar.txt")
    pdf = os.path.join(work, "out.pdf")
    if os.path.exists(sidecar):
        os.remove(sidecar)
    cpu, peak, _ = timed(["ocrmypdf", "-q", "--jobs", "1", "--rotate-pages", "--deskew", "--clean",
                          "--image-dpi", "300", "--output-type", "pdf", "--sidecar", sidecar,
                          path, pdf], env)
    text = open(sidecar, encoding="utf-8").read() if os.path.exists(sidecar) else ""
    return cpu, peak, text


def rendered_page(seed, accents):
    rng = random.Random(seed)
    width, height = 1700, 2200
    img = Image.new("L", (width, height), 255)
    draw = ImageDraw.Draw(img)
    font = ImageFont.truetype(FONTS[seed % 2], rng.choice([28, 32, 36]))
    lines, y = [], 120
    while y < height - 180:
        words, line = [], ""
        while True:
            pool = ACCENTED if accents and rng.random() < 0.35 else WORDS
            w = rng.choice(pool)
            if rng.random() < 0.1:
                w = str(rng.randint(1, 99999))
            trial = (line + " " + w).strip()
            if draw.textlength(trial, font=font) > width - 240:
                break
            line = trial
        draw.text((120, y), line, font=font, fill=0)
        lines.append(line)
        y += int(font.size * 1.6)
    return img, "\n".join(lines)


# The copies keep the page's colour, as a skewed scan or a photo of a colour page would: a grey
# copy would lose what the upright page's colour tells (a stamp across the print).
def grey_or_colour(img):
    return img.convert("RGB") if img.mode in ("RGB", "RGBA", "P") else img.convert("L")


def skewed(img, degrees):
    img = grey_or_colour(img)
    white = 255 if img.mode == "L" else (255, 255, 255)
    return img.rotate(degrees, resample=Image.BICUBIC, expand=True, fillcolor=white)


def photo_like(img, seed, blur=1.1):
    rng = random.Random(seed)
    img = grey_or_colour(img).convert("RGB")
    w, h = img.size
    pad = int(0.06 * max(w, h))
    canvas = Image.new("RGB", (w + 2 * pad, h + 2 * pad), (200, 200, 200))
    canvas.paste(img, (pad, pad))
    W, H = canvas.size
    d = [rng.uniform(0.0, 0.05) * v for v in (W, H, W, H, W, H, W, H)]
    # Corners of the source quad for each target corner: a mild perspective.
    quad = (d[0], d[1], d[2], H - d[3], W - d[4], H - d[5], W - d[6], d[7])
    canvas = canvas.transform((W, H), Image.QUAD, quad, Image.BICUBIC, fillcolor=(180, 180, 180))
    a = np.asarray(canvas, dtype=np.float32)
    yy, xx = np.mgrid[0:H, 0:W]
    light = 0.55 + 0.45 * (xx / W * rng.uniform(0.3, 1) + yy / H * rng.uniform(0.3, 1)) / 2
    a = np.clip(a * light[..., None] + rng.uniform(-8, 8), 0, 255).astype(np.uint8)
    photo = Image.fromarray(a)
    return photo.filter(ImageFilter.GaussianBlur(blur)) if blur > 0 else photo


def cost():
    """One page image, side by side in one run: ours with no language named against
    `tesseract IMG - -l Latin` and against `tesseract IMG -`, and ours with `--languages en`
    against `tesseract IMG -` (all OMP_THREAD_LIMIT=1): median CPU and peak of 3 runs, the error rate
    (word order ignored) of each, and whether ours with eng gives the command line's text.
    Pages: receipts (colour JPEG), forms (8-bit grey), rendered English pages as 1-bit PNG and
    rendered pages with accented European words."""
    work = tempfile.mkdtemp(prefix="engine-cost-")
    pages = []
    for folder in ("receipts", "forms"):
        files = sorted(glob.glob(os.path.join(DATA, folder, "*.png")) +
                       glob.glob(os.path.join(DATA, folder, "*.jpg")))
        step = max(1, len(files) // PER_SOURCE)
        for f in files[::step][:PER_SOURCE]:
            truth = open(os.path.splitext(f)[0] + ".txt", encoding="utf-8").read()
            pages.append((folder, f, truth))
    for k in range(PER_SOURCE):
        img, truth = rendered_page(500 + k, False)
        path = os.path.join(work, f"bilevel-{k}.png")
        img.point(lambda v: 255 if v > 128 else 0).convert("1").save(path)
        pages.append(("rendered 1-bit", path, truth))
    for k in range(max(1, PER_SOURCE // 2)):
        img, truth = rendered_page(600 + k, True)
        path = os.path.join(work, f"accents-{k}.png")
        img.save(path)
        pages.append(("accents", path, truth))
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    runs = [("ours", [SCAN, "PAGE"], None),
            ("cli Latin", ["tesseract", "PAGE", "-", "-l", "Latin"], env),
            ("ours en", [SCAN, "--languages", "en", "PAGE"], None),
            ("cli eng", ["tesseract", "PAGE", "-"], env)]
    print(f"{'page':28} " + " ".join(f"{n + ' s':>11} {n + ' MB':>10} {n + ' cer':>11}" for n, _, _ in runs)
          + " same")
    rows = {}
    for kind, path, truth in pages:
        measured = []
        for name, cmd, run_env in runs:
            taken = []
            for _ in range(3):
                cpu, peak, out = timed([path if a == "PAGE" else a for a in cmd], run_env)
                text = (json.loads(out).get("rawText", "") if cmd[0] == SCAN
                        else out.decode("utf-8", "replace"))
                taken.append((cpu, peak, text))
            cpus = sorted(t[0] for t in taken)
            peaks = sorted(t[1] for t in taken)
            measured.append((cpus[1], peaks[1], scores(truth, taken[0][2])[1], taken[0][2]))
        same = clean_text(measured[2][3]) == clean_text(measured[3][3])
        rows.setdefault(kind, []).append((measured, same))
        print(f"{os.path.basename(path)[:28]:28} " +
              " ".join(f"{m[0]:11.2f} {m[1]:10.0f} {m[2]:11.3f}" for m in measured) +
              f" {'yes' if same else 'no'}", flush=True)
    def median(values):
        values = sorted(values)
        return values[len(values) // 2]
    print("\nper kind: median CPU ratio, largest peak ratio, mean error rate (word order ignored)")
    for kind, entries in rows.items():
        ms = [e[0] for e in entries]
        for ours, cli, label in ((0, 1, "default vs -l Latin"), (0, 3, "default vs eng"),
                                 (2, 3, "--languages en vs eng")):
            cpu = median(m[ours][0] / m[cli][0] for m in ms)
            peak = max(m[ours][1] / m[cli][1] for m in ms)
            cer_o = sum(m[ours][2] for m in ms) / len(ms)
            cer_c = sum(m[cli][2] for m in ms) / len(ms)
            print(f"  {kind:15} {label:22} CPU {cpu:5.2f}  peak {peak:5.2f}  error {cer_o:.3f} vs {cer_c:.3f}")
        print(f"  {kind:15} --languages en gives eng's text on {sum(e[1] for e in entries)} of {len(entries)}")


def main():
    if "--cost" in sys.argv:
        cost()
        return
    work = tempfile.mkdtemp(prefix="real-pages-")
    sources = []
    for folder in ("forms", "receipts"):
        files = sorted(glob.glob(os.path.join(DATA, folder, "*.png")) +
                       glob.glob(os.path.join(DATA, folder, "*.jpg")))
        step = max(1, len(files) // PER_SOURCE)
        for f in files[::step][:PER_SOURCE]:
            truth = open(os.path.splitext(f)[0] + ".txt", encoding="utf-8").read()
            sources.append((folder, Image.open(f), truth))
    for k in range(max(2, PER_SOURCE // 2)):
        img, truth = rendered_page(100 + k, False)
        sources.append(("rendered", img, truth))
    accents = [rendered_page(200 + k, True) for k in range(2)]

    kinds = {}
    def add(kind, img, truth, base, ext="png", **save):
        path = os.path.join(work, f"{kind}-{len(kinds.get(kind, []))}.{ext}")
        img.save(path, **save)
        kinds.setdefault(kind, []).append((path, truth, base))

    for n, (origin, img, truth) in enumerate(sources):
        base = f"{origin}-{n}"
        add("clean " + origin, img, truth, base)
        add("upright (all)", img, truth, base)
        for turn in (90, 180, 270):
            add(f"turned {turn}", img.rotate(turn, expand=True), truth, base)
        for deg in (4, 8, 12, 20):
            add(f"skewed {deg}", skewed(img, deg if n % 2 else -deg), truth, base)
        half = img.resize((img.width // 2, img.height // 2), Image.LANCZOS)
        add("half resolution", half, truth, base)
        add("jpeg q30", img.convert("RGB"), truth, base, "jpg", quality=30)
        add("photo-like", photo_like(img, n), truth, base, "jpg", quality=88)
    for img, truth in accents:
        add("accents, no language", img, truth, "accents")

    tools = [("ours", run_ours), ("tesseract", run_tesseract)]
    if WITH_OCRMYPDF:
        tools.append(("ocrmypdf", run_ocrmypdf))
    results = {}  # (kind, tool) -> list of (cer, cer_free, recall, cpu, peak, base)
    for kind, pages in kinds.items():
        if kind == "upright (all)":
            continue
        for path, truth, base in pages:
            for name, run in tools:
                cpu, peak, text = run(path, work)
                cer, free, recall = scores(truth, text)
                results.setdefault((kind, name), []).append((cer, free, recall, cpu, peak, base))
        print(f"# done: {kind} ({len(pages)} pages)", file=sys.stderr, flush=True)
    # The upright reference is the union of the clean kinds.
    for name, _ in tools:
        results[("upright (all)", name)] = [r for k in ("clean forms", "clean receipts", "clean rendered")
                                            for r in results.get((k, name), [])]

    def mean(rows, i):
        return sum(r[i] for r in rows) / max(1, len(rows))

    print(f"pages per source: {PER_SOURCE}; error rates case-blind; cpu = user+sys seconds per page")
    header = f"{'kind':24} {'n':>3} " + " ".join(
        f"{n + ' cer':>14} {n + ' free':>14} {n + ' recall':>14} {n + ' cpu':>10} {n + ' MB':>9}"
        for n, _ in tools)
    print(header)
    for kind in kinds:
        rows = [results.get((kind, n), []) for n, _ in tools]
        line = f"{kind:24} {len(rows[0]):>3} "
        line += " ".join(f"{mean(r, 0):14.3f} {mean(r, 1):14.3f} {mean(r, 2):14.3f} {mean(r, 3):10.2f}"
                         f" {max([x[4] for x in r] or [0]):9.0f}" for r in rows)
        print(line)

    print("\ngoals (word-order-free error rate of ours, against the same pages upright):")
    upright = {r[5]: r[1] for r in results[("upright (all)", "ours")]}
    def relative(kind):
        rows = results.get((kind, "ours"), [])
        ours = mean(rows, 1)
        ref = sum(upright[r[5]] for r in rows) / max(1, len(rows))
        return ours, ref
    for kind, rule in [("turned 90", "within 0.01"), ("turned 180", "within 0.01"),
                       ("turned 270", "within 0.01"), ("skewed 4", "within 0.02"),
                       ("skewed 8", "within 0.02"), ("skewed 12", "(beyond 10: no goal)"),
                       ("skewed 20", "(beyond 10: no goal)"),
                       ("half resolution", "at most 2x"), ("photo-like", "at most 1.5x"),
                       ("jpeg q30", "(no goal)")]:
        ours, ref = relative(kind)
        print(f"  {kind:18} {ours:.3f} vs upright {ref:.3f}  goal {rule}")
    for kind in ("clean forms", "clean receipts", "clean rendered"):
        o = mean(results.get((kind, "ours"), []), 1)
        t = mean(results.get((kind, "tesseract"), []), 1)
        print(f"  {kind:18} ours {o:.3f} vs bare engine {t:.3f}: {100 * (1 - o / t) if t else 0:.0f}% fewer errors")
    print(f"(copies in {work})")


if __name__ == "__main__":
    main()
