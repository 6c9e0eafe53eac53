#!/usr/bin/env python3
"""Hostile and broken inputs, made here, through both programs: CPU time, peak memory, exit status,
bytes on standard error and the answer's first characters, one line per input.

  bench/hostile_inputs.py [--entities-sizes MB,MB,...] [--scan-only | --entities-only]
                                                                          (needs a release build)

Goal for every line: one JSON line, status 0 or 1, nothing on standard error, under 1 GB and 30 s.
The entity rows measure texts of 10 MB on one line, 10 MB lines of nothing but names, streets,
dates or capitals without a sentence's end (thousands of names in each piece of a long line), of
colons or brackets alone (no words, no sentence's end), and one hyphenated word of 10 MB, one
million short lines, and the sizes given (default 10 and 100 MB), also under a 3 GB address-space
limit. The pages of nested forms and of
a million operators are stopped by the page's time (kPageTimeBudget, 20 s of processor time) in
each mode; the turned page of blocks is stopped by the recognition time (kRecognitionTimeBudget,
20 s of processor time outside reading words) and ends the run. As page 1 of a PDF it is drawn on
the PDF canvas (half the pixels) and read within the limit; a PDF's page that does run out of time
becomes that page's warning and the other pages keep their text. The JPEG 2000 rows are refused by
their declared size before OpenJPEG runs.
"""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.environ.get("MARROWFEN_BUILD_DIR", os.path.join(ROOT, "build", "release"))
SCAN = os.path.join(BUILD, "scan", "marrowfen-scan")
ENTITIES = os.path.join(BUILD, "entities", "marrowfen-entities")


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def huge_png(w, h):
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(b"\0" * 64)) + png_chunk(b"IEND", b""))


def colour_text_png(w, h):
    """A colour page of w x h pixels in lines of letter-sized blocks: text the preparation finds,
    on a page at the pixel budget, in a PNG that compresses to a few hundred kilobytes."""
    paper, ink = b"\xfa\xf0\xdc", b"\x14\x1e\x5a"
    blank = b"\0" + paper * w
    word = (ink * 18 + paper * 6) * 5 + paper * 30
    text = b"\0" + (paper * 60 + word * (3 * w // len(word) + 1))[: 3 * w]
    rows = b"".join((text if 20 <= y % 60 < 50 else blank) for y in range(h))
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + png_chunk(b"IDAT", zlib.compress(rows, 6)) + png_chunk(b"IEND", b""))


def turned_png(path, degrees):
    """The page at `path` turned by `degrees` on a canvas of its own size: once levelled again, its
    thousands of identical blocks line up into one table that the engine's layout analysis grinds
    through for many minutes, unless the page's time stops it."""
    from PIL import Image
    import io
    page = Image.open(path).convert("RGB")
    out = io.BytesIO()
    page.rotate(degrees, resample=Image.BILINEAR, fillcolor=(250, 240, 220)).save(out, "PNG")
    return out.getvalue()


def scanned_then_text_pdf(png_path, text):
    """Page 1 the picture at `png_path` filling the page at 144 dpi (no text layer, so it is
    recognised), page 2 a line of text in the text layer."""
    from PIL import Image
    page = Image.open(png_path).convert("RGB")
    w, h = page.size
    picture = stream(b"/Type /XObject /Subtype /Image /Width %d /Height %d /BitsPerComponent 8 "
                     b"/ColorSpace /DeviceRGB /Filter /FlateDecode" % (w, h),
                     zlib.compress(page.tobytes(), 6))
    box = b"/MediaBox [0 0 %.2f %.2f]" % (w / 2, h / 2)
    return pdf([b"<< /Type /Catalog /Pages 2 0 R >>",
                b"<< /Type /Pages /Kids [3 0 R 6 0 R] /Count 2 >>",
                b"<< /Type /Page /Parent 2 0 R " + box + b" /Resources << /XObject << /Im1 4 0 R"
                b" >> >> /Contents 5 0 R >>",
                picture, stream(b"", b"q %.2f 0 0 %.2f 0 0 cm /Im1 Do Q" % (w / 2, h / 2)),
                b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << "
                b"/F1 7 0 R >> >> /Contents 8 0 R >>",
                b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", stream(b"", text)])


def gif(sw, sh, left, top, w, h):
    return (b"GIF89a" + struct.pack("<HH", sw, sh) + b"\x80\0\0" + b"\0\0\0\xff\0\0" + b","
            + struct.pack("<HHHH", left, top, w, h) + b"\0" + b"\x02\x02\x4c\x01\x00" + b";")


def huge_bmp(w, h):
    return (b"BM" + struct.pack("<IIII", 54, 0, 54, 40) + struct.pack("<iiHH", w, h, 1, 24)
            + b"\0" * 24 + b"\0" * 48)


def rle_bmp(w, h):
    """An 8-bit run-length BMP whose data is only "end of bitmap": w x h pixels in 64 bytes."""
    palette, data = b"\xff\xff\xff\0\0\0\0\0", b"\0\1"
    offset = 14 + 40 + len(palette)
    return (b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
            + struct.pack("<IiiHHIIiiII", 40, w, h, 1, 8, 1, len(data), 0, 0, 2, 0)
            + palette + data)


def huge_tiff(w, h):
    entries = [(256, 4, w), (257, 4, h), (258, 3, 8), (259, 3, 1), (262, 3, 1), (273, 4, 122),
               (277, 3, 1), (278, 4, h), (279, 4, 4)]
    out = b"II*\0" + struct.pack("<I", 8) + struct.pack("<H", len(entries))
    for tag, kind, value in entries:
        out += struct.pack("<HHII", tag, kind, 1, value)
    return out + b"\0\0\0\0" + b"\x80" * 4


def pdf(objects):
    out = b"%PDF-1.7\n"
    offsets = []
    for i, body in enumerate(objects):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
    out += b"".join(b"%010d 00000 n \n" % o for o in offsets)
    return out + b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)


def stream(dictionary, data):
    return b"<< " + dictionary + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"


def page_pdf(entries, contents, resources=b"/Font << /F1 4 0 R >>", more=()):
    return pdf([b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                b"<< /Type /Page /Parent 2 0 R " + entries + b" /Resources << " + resources
                + b" >> /Contents 5 0 R >>",
                b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", stream(b"", contents)]
               + list(more))


def jbig2(w, h):
    page = struct.pack(">IBBBI", 0, 48, 0, 1, 19) + struct.pack(">IIII", w, h, 0, 0) + b"\0\0\0"
    data = b"\x55" * 16
    region = (struct.pack(">IBBBI", 1, 38, 0, 1, 17 + 1 + 8 + len(data))
              + struct.pack(">IIII", w, h, 0, 0) + b"\0\0" + b"\x03\xff\xfd\xff\x02\xfe\xfe\xfe" + data)
    return page + region


def jpx(w, h, tile_w, tile_h, components=1):
    """A JPEG 2000 codestream declaring w x h in tiles of tile_w x tile_h, every packet empty."""
    siz = struct.pack(">HIIIIIIIIH", 0, w, h, 0, 0, tile_w, tile_h, 0, 0, components)
    siz += b"\x07\x01\x01" * components
    return (b"\xff\x4f\xff\x51" + struct.pack(">H", 2 + len(siz)) + siz
            + b"\xff\x52\x00\x0c\x00\x00\x00\x01\x00\x00\x04\x04\x00\x01"
            + b"\xff\x5c\x00\x04\x40\x40"
            + b"\xff\x90\x00\x0a\x00\x00\x00\x00\x00\x0f\x00\x01\xff\x93\x00\xff\xd9")


def nested_forms_pdf(depth, text):
    """Forms nested depth deep, each drawing the next ten times: 10^depth strokes."""
    objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
               b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >>"
               b" /XObject << /X 6 0 R >> >> /Contents 5 0 R >>",
               b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", stream(b"", text + b" /X Do")]
    for level in range(depth):
        if level + 1 < depth:
            body = b"".join(b"q 1 0 0 1 %d 0 cm /X Do Q\n" % i for i in range(10))
            resources = b" /Resources << /XObject << /X %d 0 R >> >>" % (7 + level)
        else:
            body, resources = b"0 0 m 100 100 l S\n", b""
        objects.append(stream(b"/Type /XObject /Subtype /Form /BBox [0 0 612 792]" + resources, body))
    return pdf(objects)


def jpeg_sized(w, h):
    """A JPEG made by pdftoppm (poppler-utils) from a one-page PDF, its SOF0 size changed."""
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "p.pdf")
        with open(source, "wb") as f:
            f.write(page_pdf(b"/MediaBox [0 0 72 72]", b"BT /F1 24 Tf 5 30 Td (Ab) Tj ET"))
        subprocess.run(["pdftoppm", "-jpeg", "-r", "72", "-singlefile", source,
                        os.path.join(work, "p")], check=True)
        data = bytearray(open(os.path.join(work, "p.jpg"), "rb").read())
    whole = bytes(data)
    if w:
        sof = data.find(b"\xff\xc0")
        data[sof + 5:sof + 9] = struct.pack(">HH", h, w)
    return bytes(data), whole


def run(label, cmd, stdin=None, limit=None):
    with tempfile.NamedTemporaryFile("r") as report:
        prefix = ["prlimit", "--as=%d" % limit] if limit else []
        result = subprocess.run(["/usr/bin/time", "-v", "-o", report.name] + prefix + cmd,
                                input=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        text = report.read()
    user = float(re.search(r"User time \(seconds\): (.*)", text).group(1))
    system = float(re.search(r"System time \(seconds\): (.*)", text).group(1))
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (.*)", text).group(1)) / 1024
    lines = result.stdout.count(b"\n")
    print("%-58s %7.1fs %7.0fMB status %3d stderr %5dB lines %d %s" % (
        label, user + system, peak, result.returncode, len(result.stderr), lines,
        result.stdout[:60].decode("utf-8", "replace").strip()), flush=True)


def main():
    sizes = [10, 100]
    if "--entities-sizes" in sys.argv:
        sizes = [int(s) for s in sys.argv[sys.argv.index("--entities-sizes") + 1].split(",")]
    if "--entities-only" in sys.argv:
        entity_rows(sizes)
        return
    work = tempfile.mkdtemp()
    out = os.path.join(work, "out")
    files = {}

    def put(name, data):
        path = os.path.join(work, name)
        with open(path, "wb") as f:
            f.write(data)
        files[name] = path
        return path

    put("screen-65535x4096.gif", gif(65535, 4096, 30000, 2000, 1, 1))
    put("16000.png", huge_png(16000, 16000))
    put("16000.tif", huge_tiff(16000, 16000))
    put("16000.bmp", huge_bmp(16000, 16000))
    put("rle-5707x11260.bmp", rle_bmp(5707, 11260))  # just under the pixel budget, and valid
    put("colour-text-5707x11260.png", colour_text_png(5707, 11260))  # the same, in colour, with text
    put("colour-text-turned-5.png", turned_png(files["colour-text-5707x11260.png"], 5))
    big_jpeg, whole_jpeg = jpeg_sized(16000, 16000)
    put("16000.jpg", big_jpeg)
    put("truncated.jpg", whole_jpeg[: len(whole_jpeg) * 2 // 3])
    text = b"BT /F1 24 Tf 72 700 Td (Certificate of birth, Anna Keller) Tj ET"
    put("jbig2-65535.pdf", page_pdf(
        b"/MediaBox [0 0 612 792]", text + b" q 200 0 0 200 100 100 cm /Im1 Do Q",
        b"/Font << /F1 4 0 R >> /XObject << /Im1 6 0 R >>",
        [stream(b"/Type /XObject /Subtype /Image /Width 100 /Height 100 /BitsPerComponent 1 "
                b"/ColorSpace /DeviceGray /Filter /JBIG2Decode", jbig2(65535, 65535))]))
    put("no-mediabox.pdf", page_pdf(b"", text))
    put("turned-blocks-then-text.pdf",
        scanned_then_text_pdf(files["colour-text-turned-5.png"], text))
    picture = b"/Font << /F1 4 0 R >> /XObject << /Im1 6 0 R >>"
    draw = text + b" q 200 0 0 200 100 100 cm /Im1 Do Q"
    jpx_dictionary = b"/Type /XObject /Subtype /Image /Width 64 /Height 64 /Filter /JPXDecode"
    put("jpx-65535.pdf", page_pdf(b"/MediaBox [0 0 612 792]", draw, picture,
                                  [stream(jpx_dictionary, jpx(65535, 65535, 65535, 65535))]))
    put("jpx-65535-tiles.pdf", page_pdf(b"/MediaBox [0 0 612 792]", draw, picture,
                                        [stream(jpx_dictionary, jpx(255, 257, 1, 1))]))
    put("jpx-65535.jp2", jpx(65535, 65535, 65535, 65535))
    put("forms-10^8.pdf", nested_forms_pdf(8, text))
    put("million-lines.pdf", pdf([
        b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 4 0 R >> >>"
        b" /Contents [6 0 R 5 0 R] >>",
        b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>", stream(b"", text),
        stream(b"/Filter /FlateDecode", zlib.compress(b"0 0 m 612 792 l S\n" * 3000000, 9))]))
    for name, path in files.items():
        run("scan %s" % name, [SCAN, path])
        run("scan --render-pages %s" % name, [SCAN, "--render-pages", path, out])
    run("scan --source auto no-mediabox.pdf", [SCAN, "--source", "auto", files["no-mediabox.pdf"]])
    # Both pages recognised: in two workers instead of the program itself.
    run("scan --source ocr turned-blocks-then-text.pdf",
        [SCAN, "--source", "ocr", files["turned-blocks-then-text.pdf"]])

    if "--scan-only" not in sys.argv:
        entity_rows(sizes)
    subprocess.run(["rm", "-rf", work])


def entity_rows(sizes):
    line = b"Anna Keller lives at 12 Baker Street, London; call +44 20 7946 0958 on 3 March 2021. "
    one_line = line * (10 * 1024 * 1024 // len(line))
    run("entities 10 MB on one line", [ENTITIES], b'{"text":"' + one_line + b'"}')
    for kind, words in (("names", b"Anna Weber "), ("streets", b"12 Main Street "),
                        ("dates", b"Anna 5 June 2020 "), ("capitals", b"ACME TRADING SDN BHD "),
                        ("colons", b":"), ("brackets", b"("), ("hyphenated words", b"Jean-Marie-")):
        run("entities 10 MB of %s on one line" % kind, [ENTITIES],
            b'{"text":"' + words * (10 * 1024 * 1024 // len(words)) + b'"}')
    short = b"Anna Keller\\n" * (1000 * 1000)
    run("entities 1,000,000 short lines (12 MB)", [ENTITIES], b'{"text":"' + short + b'"}')
    for mb in sizes:
        many = (line + b"\\n") * (mb * 1024 * 1024 // (len(line) + 2))
        run("entities %d MB" % mb, [ENTITIES], b'{"text":"' + many + b'"}')
        run("entities %d MB under a 3 GB address-space limit" % mb, [ENTITIES],
            b'{"text":"' + many + b'"}', limit=3 << 30)


if __name__ == "__main__":
    main()
