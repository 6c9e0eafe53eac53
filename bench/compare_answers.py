#!/usr/bin/env python3
"""Compares the answers of two installed builds (install prefixes) of both programs, byte for
byte: the check that a change meant to keep behaviour (a refactoring, a speed-up) keeps it.

    bench/compare_answers.py OLD_PREFIX NEW_PREFIX [--data DIR] [--pages N] [--texts N]
                             [--skip-scan] [--scan-args "--languages en"]

Inputs: the PDFs of testdata/, the fuzz seed corpora when build/fuzz/seeds exists (scripts/fuzz
makes them), the first N pages of each folder of DIR/ocr-dev/ and N generated texts made with a
fixed seed from the lines of DIR/receipts-dev/ and the sentences of DIR/ner/ (DIR defaults to
../shared/data beside the checkout). Scan: the OCR answer of every image and PDF, with
`--source auto` for PDFs too, and for PDFs the `--render-pages` answer and the PNG bytes.
Entities: the answer and exit status for every text. Prints each difference and a summary; exits
1 when any answer differs.
"""
import argparse, glob, json, os, random, subprocess, sys, tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(cmd, stdin=None):
    env = dict(os.environ, OMP_THREAD_LIMIT="1")
    p = subprocess.run(cmd, input=stdin, capture_output=True, env=env, timeout=600)
    return p.returncode, p.stdout, p.stderr


def scan_inputs(data, pages):
    files = sorted(glob.glob(os.path.join(ROOT, "testdata", "*.pdf")))
    seeds = os.path.join(ROOT, "build", "fuzz", "seeds")
    for folder in sorted(glob.glob(os.path.join(seeds, "image_*"))) + [os.path.join(seeds, "pdf_fuzz")]:
        files += sorted(glob.glob(os.path.join(folder, "*")))
    for folder in sorted(glob.glob(os.path.join(data, "ocr-dev", "*"))):
        images = sorted(f for f in glob.glob(os.path.join(folder, "*"))
                        if f.lower().endswith((".png", ".jpg", ".jpeg", ".tif", ".tiff")))
        files += images[:pages]
    return [f for f in files if os.path.isfile(f)]


def ner_sentences(path):
    sentence, out = [], []
    for line in open(path, encoding="utf-8", errors="replace"):
        line = line.strip()
        if not line or line.startswith("#") or line.startswith("-DOCSTART-"):
            if sentence:
                out.append(" ".join(sentence))
            sentence = []
            continue
        sentence.append(line.split()[0] if " " in line or "\t" in line else line)
    if sentence:
        out.append(" ".join(sentence))
    return out


def generated_texts(data, count):
    rng = random.Random(20261209)
    receipt_lines, receipts = [], []
    for path in sorted(glob.glob(os.path.join(data, "receipts-dev", "*.txt"))):
        text = open(path, encoding="utf-8", errors="replace").read()
        receipts.append(text)
        receipt_lines += [l for l in text.splitlines() if l.strip()]
    sentences = []
    for path in sorted(glob.glob(os.path.join(data, "ner", "*"))):
        if path.endswith((".conll", ".iob", ".bio", ".tsv")):
            s = ner_sentences(path)
            sentences += rng.sample(s, min(len(s), 300))
    texts = list(receipts)
    for _ in range(count):
        pool = receipt_lines if rng.random() < 0.5 else sentences
        if not pool:
            break
        lines = [rng.choice(pool) for _ in range(rng.randint(1, 25))]
        text = "\n".join(lines)
        if rng.random() < 0.15:
            text = text.upper()
        texts.append(text)
    return texts


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("old")
    ap.add_argument("new")
    ap.add_argument("--data", default=os.path.join(os.path.dirname(ROOT), "shared", "data"))
    ap.add_argument("--pages", type=int, default=8)
    ap.add_argument("--texts", type=int, default=300)
    ap.add_argument("--skip-scan", action="store_true")
    ap.add_argument("--scan-args", default="",
                    help="options for every recognising scan run, e.g. \"--languages en\"")
    args = ap.parse_args()
    old = lambda p: os.path.join(args.old, "bin", p)
    new = lambda p: os.path.join(args.new, "bin", p)
    differences = compared = 0

    def report(what, a, b):
        nonlocal differences, compared
        compared += 1
        if a != b:
            differences += 1
            print(f"DIFFERS: {what}\n  old: {a!r:.300}\n  new: {b!r:.300}")

    if not args.skip_scan:
        for f in scan_inputs(args.data, args.pages):
            rel = os.path.relpath(f, ROOT)
            modes = [args.scan_args.split()]
            if f.endswith(".pdf") or "pdf_fuzz" in f:
                modes.append(["--source", "auto"] + args.scan_args.split())
            for extra in modes:
                a = run([old("marrowfen-scan")] + extra + [f])[:2]
                b = run([new("marrowfen-scan")] + extra + [f])[:2]
                report(f"scan {' '.join(extra)} {rel}", a, b)
            if f.endswith(".pdf") or "pdf_fuzz" in f:
                with tempfile.TemporaryDirectory() as d1, tempfile.TemporaryDirectory() as d2:
                    a = run([old("marrowfen-scan"), "--render-pages", f, d1])
                    b = run([new("marrowfen-scan"), "--render-pages", f, d2])
                    report(f"render {rel}", (a[0], a[1].replace(d1.encode(), b"DIR")),
                           (b[0], b[1].replace(d2.encode(), b"DIR")))
                    names = sorted(os.listdir(d1)), sorted(os.listdir(d2))
                    report(f"render files {rel}", names[0], names[1])
                    for n in set(names[0]) & set(names[1]):
                        report(f"render bytes {rel} {n}", open(os.path.join(d1, n), "rb").read(),
                               open(os.path.join(d2, n), "rb").read())

    inputs = [json.dumps({"text": t}).encode() for t in generated_texts(args.data, args.texts)]
    for folder in glob.glob(os.path.join(ROOT, "build", "fuzz", "seeds", "entities_input_fuzz")):
        inputs += [open(f, "rb").read() for f in sorted(glob.glob(os.path.join(folder, "*")))]
    for k, payload in enumerate(inputs):
        a = run([old("marrowfen-entities")], payload)[:2]
        b = run([new("marrowfen-entities")], payload)[:2]
        report(f"entities input {k} {payload[:60]!r}", a, b)

    print(f"{compared} answers compared, {differences} differ")
    sys.exit(1 if differences else 0)


if __name__ == "__main__":
    main()
