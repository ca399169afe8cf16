#!/usr/bin/env python3
"""Plants one realistic fault at a time in a copy of the source and runs the tests that
should notice it.

The worktree is copied (tracked and changed files alike) to build-plant, built once in
build-plant/build (or, with --in-place, the worktree's own build is used and every file
is put back in a finally, its original kept in build-plant/rescue until then), and the chosen tests are run on the unchanged code first: a test
that fails before any fault would make every fault look caught. Then each fault is a
textual edit of one source file (a sign, a bound, an off-by-one, a missing step), the
tests it concerns are rebuilt and run, and the file is put back whatever happens. The
worktree itself is never edited.

    scripts/plant-faults.py              # every fault
    scripts/plant-faults.py --list       # the faults and the tests each runs
    scripts/plant-faults.py --only cli   # faults whose id or area contains "cli"
    scripts/plant-faults.py --tests-from main   # the same faults against main's tests

A fault is caught when a test fails, crashes or runs past its time limit (a hang is
what ctest's own limit would report). It is a tool for us, not part of the test command.
"""

import argparse
import os
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
# A copy of the tree, or with --in-place the worktree and its own build; the original of
# a file with a fault in it is kept in RESCUE until it is back, so that a run that was
# killed is mended by the next one.
COPY = ROOT / "build-plant"
RESCUE = COPY / "rescue"
TREE = COPY
BUILD = COPY / "build"
TEST_TIMEOUT = 240

# Tests of each area, quickest first: the first failure settles a fault.
FILES = ["tst_atomicfile"]
PREVIEW = ["tst_preview"]
LVGL9 = ["tst_lvgl9"]
CLI = ["tst_cli"]
PANE = ["tst_outputview"]
PIPELINE = ["tst_glyphpipeline", "tst_legacyfont"]
CHARSET = ["tst_charset", "tst_preview"]
CONVERSION = ["tst_xbf", "tst_conversion"]
TEXTFILE = ["tst_textfile", "tst_cli"]
CODEC = ["tst_glyphcodec", "tst_preview"]

# (id, area, file, text as it is, text with the fault, tests)
FAULTS = [
    # The UTF-8 writer and the all-or-nothing file.
    ("utf8-0800-two-bytes", "files", "src/files/utf8pieces.cpp",
     "} else if (u < 0x800) {", "} else if (u <= 0x800) {", FILES),
    ("utf8-0080-one-byte", "files", "src/files/utf8pieces.cpp",
     "if (u < 0x80) {", "if (u <= 0x80) {", FILES),
    ("utf8-block-mask", "files", "src/files/utf8pieces.cpp",
     "_mm_set1_epi16(short(0xFF80))", "_mm_set1_epi16(short(0xFF00))", FILES),
    ("utf8-three-byte-middle", "files", "src/files/utf8pieces.cpp",
     "*out++ = char(0x80 | ((u >> 6) & 0x3F));", "*out++ = char(0x80 | ((u >> 6) & 0x1F));", FILES),
    ("utf8-four-byte-lead", "files", "src/files/utf8pieces.cpp",
     "*out++ = char(0xF0 | (c >> 18));", "*out++ = char(0xF0 | (c >> 16));", FILES),
    ("utf8-pair-split-by-piece", "files", "src/files/utf8pieces.cpp",
     "++length;   // keep a surrogate pair in one piece", ";", FILES),
    ("symlink-replaced", "files", "src/files/atomicfile.cpp",
     "m_renameTo = resolved;", "m_renameTo = m_target;", FILES),
    ("permissions-dropped", "files", "src/files/atomicfile.cpp",
     "::fchmod(m_fd, existing.st_mode & 07777);", "(void)existing;", FILES),
    ("buffer-not-emptied", "files", "src/files/atomicfile.cpp",
     "    m_buffer.resize(0);\n    return ok", "    return ok", FILES),
    ("writeat-before-flush", "files", "src/files/atomicfile.cpp",
     "    if (!flushBuffer())\n        return false;\n    int error = 0;\n    m_touched = true;",
     "    int error = 0;\n    m_touched = true;", FILES),
    ("pair-restore-unlinks", "files", "src/files/atomicfile.cpp",
     "        ::rename(it->kept.constData(), it->target.constData());",
     "        ::unlink(it->target.constData());", FILES),
    ("pair-leaves-old-copies", "files", "src/files/atomicfile.cpp",
     "        if (!entry.kept.isEmpty())\n            ::unlink(entry.kept.constData());\n    }\n    for (AtomicFile *file : files) {",
     "    }\n    for (AtomicFile *file : files) {", FILES),

    # The preview's C reader, font reader, drawing and dialog.
    ("scalar-minus-dropped", "preview", "src/preview/previewcreader.cpp",
     "*value = negative ? -v : v;", "*value = v;", PREVIEW),
    ("array-minus-dropped", "preview", "src/preview/previewcreader.cpp",
     "sink(negative ? -value : value);", "sink(value);", PREVIEW),
    ("octal-read-as-decimal", "preview", "src/preview/previewcreader.cpp",
     "        base = 8;\n        i = 1;", "        base = 10;\n        i = 1;", PREVIEW),
    ("cast-not-skipped", "preview", "src/preview/previewcreader.cpp",
     "                i = j + 1;\n                continue;", "                i = j;\n                continue;", PREVIEW),
    ("positional-after-designator", "preview", "src/preview/previewcreader.cpp",
     "next = order.indexOf(name) + 1;", "next = order.indexOf(name);", PREVIEW),
    ("xbf-ofs-y-unsigned", "preview", "src/preview/previewfont.cpp",
     "glyph->ofsY = int(qint8(byteAt(pos + 4)));", "glyph->ofsY = int(byteAt(pos + 4));", PREVIEW),
    ("xbf-ofs-x-unsigned", "preview", "src/preview/previewfont.cpp",
     "glyph->ofsX = int(qint8(byteAt(pos + 3)));", "glyph->ofsX = int(byteAt(pos + 3));", PREVIEW),
    ("xbf-last-code-lost", "preview", "src/preview/previewfont.cpp",
     "if (letter > m_max || letter < m_min)", "if (letter >= m_max || letter < m_min)", PREVIEW),
    ("xbf-bitmap-offset", "preview", "src/preview/previewfont.cpp",
     "m_unpackedAt.value(pos) : pos + 6;", "m_unpackedAt.value(pos) : pos + 5;", PREVIEW),
    ("fmttxt-last-code-lost", "preview", "src/preview/previewfont.cpp",
     "qint64(letter) > m_rangeLast)", "qint64(letter) >= m_rangeLast)", PREVIEW),
    ("binary-search-bound", "preview", "src/preview/previewfont.cpp",
     "while (low <= high) {", "while (low < high) {", PREVIEW),
    ("cache-id-not-kept", "preview", "src/preview/previewfont.cpp",
     "            m_cacheId = id;\n", "", PREVIEW),
    ("legacy-row-padding", "preview", "src/preview/previewfont.cpp",
     "glyph->rowBits = (qint64(d.width) * m_bpp + 7) / 8 * 8;", "glyph->rowBits = qint64(d.width) * m_bpp;", PREVIEW),
    ("draw-ofs-y-sign", "preview", "src/preview/preview.cpp",
     "d.lineHeight - d.baseLine, kMaxBox) - g.boxH - g.ofsY", "d.lineHeight - d.baseLine, kMaxBox) - g.boxH + g.ofsY", PREVIEW),
    ("placeholder-width", "preview", "src/preview/preview.cpp",
     "op.w = lineHeight / 2 + 1;", "op.w = lineHeight / 2;", PREVIEW),
    ("placeholders-from-lvgl9", "preview", "src/preview/preview.cpp",
     "return lvVer >= 2;", "return lvVer >= 3;", PREVIEW),
    ("crlf-two-lines", "preview", "src/preview/preview.cpp",
     "letters.at(i + 1) == '\\n')\n                ++i;", "letters.at(i + 1) == '\\n')\n                ;", PREVIEW),
    ("dialog-stale-after-pane", "preview", "src/app/previewdlg.cpp",
     "if (sameSource(source, m_source) && (m_font || m_reading)) {", "if (m_font || m_reading) {", PREVIEW),
    ("dialog-stale-after-file", "preview", "src/app/previewdlg.cpp",
     "    if (a.text.isEmpty())\n        return false;\n", "", PREVIEW),

    # Control characters, which every kind and the preview skip.
    ("control-001f", "charset", "src/charset/charset.cpp",
     "(u >= 0x01 && u <= 0x1F) || u == 0x7F", "(u >= 0x01 && u < 0x1F) || u == 0x7F", CHARSET),
    ("control-007f", "charset", "src/charset/charset.cpp",
     "(u >= 0x01 && u <= 0x1F) || u == 0x7F", "(u >= 0x01 && u <= 0x1F)", CHARSET),

    # The LVGL 9 text.
    ("lvgl9-guard-lets-10-in", "lvgl9", "src/output/lvgl9text.cpp",
     "LVGL_VERSION_MAJOR != 9\"", "LVGL_VERSION_MAJOR < 9\"", LVGL9),
    ("lvgl9-stride-from-9.4", "lvgl9", "src/output/lvgl9text.cpp",
     "\"#if LVGL_VERSION_MINOR >= 3\",\n        \"    dsc_out->stride = 0;\",",
     "\"#if LVGL_VERSION_MINOR > 3\",\n        \"    dsc_out->stride = 0;\",", LVGL9),
    ("lvgl9-shift", "lvgl9", "src/output/lvgl9text.cpp",
     "(8 - bpp - bit % 8)", "(8 - bit % 8)", LVGL9),
    ("lvgl9-row-step", "lvgl9", "src/output/lvgl9text.cpp",
     "dst += draw_buf->header.stride;", "dst += box_w;", LVGL9),
    ("lvgl9-no-buffer", "lvgl9", "src/output/lvgl9text.cpp",
     "\"static const void * __user_font_get_bitmap(lv_font_glyph_dsc_t * dsc, lv_draw_buf_t * draw_buf) {\",\n"
     "        \"    if( draw_buf == NULL ) return NULL;\",",
     "\"static const void * __user_font_get_bitmap(lv_font_glyph_dsc_t * dsc, lv_draw_buf_t * draw_buf) {\",",
     LVGL9),
    ("lvgl9-static-bitmap", "lvgl9", "src/output/lvgl9text.cpp",
     "\"    .static_bitmap = 0,\"", "\"    .static_bitmap = 1,\"", LVGL9),
    ("lvgl9-placeholder-left", "lvgl9", "src/output/lvgl9text.cpp",
     "        \"    dsc_out->is_placeholder = 0;\",\n", "", LVGL9),
    ("lvgl9-level-scale", "lvgl9", "src/output/lvgl9text.cpp",
     "(uint8_t)(level * 255 / mask)", "(uint8_t)(level * 256 / mask)", LVGL9),

    # The two-thread pipelines.
    ("capture-rows-of-text-line", "pipelines", "src/render/preparedconversion.cpp",
     "prepared.tallestLine = qMax(text ? prepared.lineHeight : 0, icon ? prepared.iconLineHeight : 0);",
     "prepared.tallestLine = prepared.lineHeight;", PIPELINE),
    ("capture-rows-not-emptied", "pipelines", "src/output/capturepipeline.cpp",
     "    g.rows.resize(0);   // empties, keeping the storage\n", "", PIPELINE),
    ("raw-block-not-emptied", "pipelines", "src/output/rawpipeline.cpp",
     "    g.block.resize(0);\n", "", PIPELINE),
    ("ring-too-small", "pipelines", "src/output/glyphpipeline.h",
     "static constexpr int kSlots = kLookahead + 2;", "static constexpr int kSlots = kLookahead;", PIPELINE),
    ("ready-flag-kept", "pipelines", "src/output/glyphpipeline.cpp",
     "    if (index > 0)\n        m_ready[slotOf(index - 1)].store(false);\n", "", PIPELINE),
    ("adopt-missing", "pipelines", "src/output/glyphpipeline.h",
     "            m_maker->adopt(*m_held);\n", "", PIPELINE),

    # The command line's sets and ranges, and its font.
    ("range-ends-at-d800", "cli", "src/cli/options.cpp",
     "first <= 0xDFFF && last >= 0xD800", "first <= 0xDFFF && last > 0xD800", CLI),
    ("range-starts-at-dfff", "cli", "src/cli/options.cpp",
     "first <= 0xDFFF && last >= 0xD800", "first < 0xDFFF && last >= 0xD800", CLI),
    ("range-past-ffff", "cli", "src/cli/options.cpp",
     "if (v < 1 || v > 0xFFFF) {", "if (v < 1 || v > 0x10000) {", CLI),
    ("range-of-zero", "cli", "src/cli/options.cpp",
     "if (v < 1 || v > 0xFFFF) {", "if (v > 0xFFFF) {", CLI),
    ("range-last-left-out", "cli", "src/cli/options.cpp",
     "for (uint code = first; code <= last; ++code)", "for (uint code = first; code < last; ++code)", CLI),
    ("font-family-foundry", "cli", "src/cli/buildrequest.cpp",
     "!familyIsInstalled(database.families(), family)",
     "!database.families().contains(family, Qt::CaseInsensitive)", CLI),

    # The output pane.
    ("pane-last-line", "pane", "src/app/outputview.cpp",
     "const int last = qMin(lineCount() - 1,", "const int last = qMin(lineCount() - 2,", PANE),
    ("pane-line-end", "pane", "src/app/outputview.cpp",
     "return m_lineStart.at(line + 1) - 1;", "return m_lineStart.at(line + 1);", PANE),
    ("pane-last-line-width", "pane", "src/app/outputview.cpp",
     "    if (m_indexed == m_text.size()) {\n        m_maxColumns = qMax(m_maxColumns, columns);\n",
     "    if (m_indexed == m_text.size()) {\n", PANE),
    ("pane-select-all", "pane", "src/app/outputview.cpp",
     "m_cursor = m_text.size();\n    viewport", "m_cursor = m_text.size() - 1;\n    viewport", PANE),
    ("pane-low-surrogate-cells", "pane", "src/app/outputview.cpp",
     "if (u >= 0xDC00 && u <= 0xDFFF)\n        return 0;", "if (u >= 0xDC00 && u <= 0xDFFF)\n        return 1;", PANE),

    # The request resolved once, the limits and the XBF record loop, the shared reader.
    ("prepared-keeps-nulls", "conversion", "src/render/preparedconversion.cpp",
     "prepared.removedNulls = removeNullChars(prepared.request.chars);", "prepared.removedNulls = 0;", CONVERSION),
    ("xbf-line-limit-array-only", "conversion", "src/conversion/requestlimits.cpp",
     "if (kind == GeneratorKind::XbfArray || kind == GeneratorKind::XbfBin) {",
     "if (kind == GeneratorKind::XbfArray) {", CONVERSION),
    ("xbf-record-not-counted", "conversion", "src/output/xbftable.cpp",
     "        ++result.written;\n    }\n", "    }\n", CONVERSION),
    ("xbf-record-error-ignored", "conversion", "src/output/xbftable.cpp",
     "        if (error.isEmpty())\n            error = take(captured, record);", "        error = take(captured, record);",
     CONVERSION),
    ("xbf-record-placed-before-check", "conversion", "src/output/xbftable.cpp",
     "        if (!error.isEmpty())\n            return error;\n        table.addRecord",
     "        table.addRecord(glyph.ch, 0);\n        if (!error.isEmpty())\n            return error;\n        table.addRecord",
     CONVERSION),
    ("icon-render-antialiased", "conversion", "src/render/fonts.cpp",
     "iconRender(conversionFont(iconFontSizedLike(iconFont, font), bpp)),",
     "iconRender(conversionFont(iconFontSizedLike(iconFont, font))),", ["tst_xbf", "tst_rawrender", "tst_glyphcapture"]),
    ("limits-line-ratio-off-by-size", "conversion", "src/conversion/requestlimits.cpp",
     "if (asked <= 0 || line <= 255 || line <= kMaxLinePerSize * asked)",
     "if (asked <= 0 || line <= 255 || line <= kMaxLinePerSize * asked * 4)", ["tst_conversion"]),
    ("cli-preview-stdout-not-checked", "cli", "src/cli/buildrequest.cpp",
     "isStandardOutputName(options.previewFile) ? QStringLiteral(\"/dev/stdout\") : options.previewFile;",
     "options.previewFile;", CLI),
    ("textfile-folder-read", "files", "src/files/textfile.cpp",
     "        if (QFileInfo(path).isDir()) {", "        if (false) {", TEXTFILE),
    # Compressed glyphs: the known stream end, the reciprocal, the rows read back on the
    # drawing thread, the emitted end of a stream.
    # (Starting a known-end stream at 0 instead of 1 is no fault: 0 is a state too.)
    ("codec-open-end-starts-small", "codec", "src/output/glyphcodec.cpp",
     "uint32_t state = end == StreamEnd::Known ? 1 : GlyphCodecModel::kStateLow;",
     "uint32_t state = end == StreamEnd::Open ? 1 : GlyphCodecModel::kStateLow;", CODEC),
    ("codec-refill-past-end", "codec", "src/output/glyphcodec.cpp",
     "        if (state < GlyphCodecModel::kStateLow && p < end)\n            state = state << 8 | next();\n        return s;",
     "        if (state < GlyphCodecModel::kStateLow)\n            state = state << 8 | next();\n        return s;", CODEC),
    ("codec-flush-one-byte", "codec", "src/output/glyphcodec.cpp",
     "    } while (state != 0);", "    } while (state > 255);", CODEC),
    ("codec-reciprocal-floor", "codec", "src/output/glyphcodec.cpp",
     "r[f] = ((uint64_t(1) << 32) + f - 1) / f;", "r[f] = (uint64_t(1) << 32) / f;", CODEC),
    ("codec-c-refill-past-end", "codec", "src/output/glyphcodectext.cpp",
     "need = (uint32_t)(state < 256u) & (uint32_t)(p < end);", "need = (uint32_t)(state < 256u);", CODEC),
    ("codec-c-stream-end-next-plus-one", "codec", "src/output/fmttxtfont.cpp",
     "&& gdsc[1].bitmap_index < end ) end = gdsc[1].bitmap_index;",
     "&& gdsc[1].bitmap_index < end ) end = gdsc[1].bitmap_index + 1u;", ["tst_lvgl9", "tst_compilematrix"]),
    ("codec-preview-open-end", "codec", "src/preview/previewfont.cpp",
     "const qint64 end = i + 1 < m_glyphs.size() ? m_glyphs[i + 1].bitmapIndex : -1;",
     "const qint64 end = -1;", CODEC),
    ("codec-rows-fast-path-shift", "codec", "src/output/compressedglyphs.cpp",
     "q = p + hexChars + 2;", "q = p + hexChars + 3;", CODEC),
    ("codec-larger-warning-always", "codec", "src/output/compressedglyphs.cpp",
     "    if (compressed <= plain)\n        return;", "    if (compressed <= plain / 2)\n        return;",
     CODEC),
    ("codec-rows-last-pixel", "codec", "src/output/compressedglyphs.cpp",
     "            if (x < w)\n                levels", "            if (x + 1 < w)\n                levels",
     ["tst_preview", "tst_lvgl9"]),
    ("codec-alpha-level-scale", "codec", "src/output/compressedglyphs.cpp",
     "m_levelOfAlpha[a] = uint8_t(alphaLevel(a, mask));", "m_levelOfAlpha[a] = uint8_t(alphaLevel(a, mask >> 1));",
     CODEC),
    ("codec-alpha-picture-box-wide", "codec", "src/output/compressedglyphs.cpp",
     "g.alphaWidth = qBound(0, width, g.w);", "g.alphaWidth = g.w;", CODEC),
    ("codec-alpha-last-row", "codec", "src/output/encoders.cpp",
     "*rows = qMin(image.height(), h);", "*rows = qMin(image.height(), h) - 1;", CODEC),
    ("codec-block-chops-header", "codec", "src/output/compressedglyphs.cpp",
     "if (body.size() > start && body.endsWith", "if (body.endsWith", CODEC),
    ("codec-short-keys-read-as-full", "codec", "src/output/glyphcodec.cpp",
     "plane.keyBits = group.size() == 1 << kShortKeyBits ? kShortKeyBits : keyBitsFor(bpp, p);",
     "plane.keyBits = keyBitsFor(bpp, p);", CODEC),
    ("codec-c-short-key-unmasked", "codec", "src/output/glyphcodectext.cpp",
     "if (model.plane(plane).keyBits == GlyphCodecModel::kShortKeyBits)",
     "if (model.plane(plane).keyBits == GlyphCodecModel::kShortKeyBits && false)", CODEC),
    ("codec-engine-short-key-unmasked", "codec", "src/output/glyphcodec.cpp",
     "const uint32_t mask = (1u << m_planes[plane].keyBits) - 1;", "const uint32_t mask = 0xFFFFu;", CODEC),
    ("codec-short-fold-high-bits", "codec", "src/output/glyphcodec.cpp",
     "folded[(key & shortMask) * uint32_t(symbols)", "folded[(key >> (fullBits - kShortKeyBits)) * uint32_t(symbols)",
     CODEC),
    ("codec-layout-choice-flipped", "codec", "src/output/glyphcodec.cpp",
     "planeBytes(shortPlane, folded) < planeBytes(chosen, full)",
     "planeBytes(shortPlane, folded) > planeBytes(chosen, full)", CODEC),
]


def run(cmd, cwd, timeout=None, env=None):
    try:
        p = subprocess.run(cmd, cwd=cwd, env=env, timeout=timeout, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True, errors="replace")
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired as e:
        out = e.stdout or ""
        return "timeout", out if isinstance(out, str) else out.decode(errors="replace")


def put(dst, data):
    """Writes only what changed, with the time of now: make must see every change, and
    a file that did not change must not make it rebuild."""
    if dst.exists() and dst.read_bytes() == data:
        return
    dst.parent.mkdir(parents=True, exist_ok=True)
    dst.write_bytes(data)


def git(*args):
    return subprocess.run(["git", *args], cwd=ROOT, check=True, stdout=subprocess.PIPE).stdout


def copy_tree(tests_from):
    """The worktree as it is now, committed or not, without build folders; with
    tests_from, the tests/ folder as it was at that revision."""
    files = [f for f in git("ls-files", "-co", "--exclude-standard").decode().split("\n") if f]
    wanted = set()
    for name in files:
        if tests_from and name.startswith("tests/"):
            continue
        if (ROOT / name).is_file():
            put(TREE / name, (ROOT / name).read_bytes())
            wanted.add(name)
    if tests_from:
        for name in git("ls-tree", "-r", "--name-only", tests_from, "tests").decode().split("\n"):
            if name:
                put(TREE / name, git("show", f"{tests_from}:{name}"))
                wanted.add(name)
    # Tests of another revision must not be compiled in (the test list is a glob).
    for path in (TREE / "tests").rglob("*"):
        if path.is_file() and str(path.relative_to(TREE)) not in wanted:
            path.unlink()


def build(targets, jobs):
    env = dict(os.environ, CCACHE_BASEDIR="/work")
    code, out = run(["cmake", "--build", str(BUILD), "-j", str(jobs), "--target", *targets], TREE, env=env)
    return code == 0, out


def run_tests(tests):
    """The first test that fails, with why; None when all pass."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_FONT_DPI="96")
    for test in tests:
        code, out = run([str(BUILD / "tests" / test)], BUILD / "tests", TEST_TIMEOUT, env)
        if code != 0:
            failed = [line for line in out.splitlines() if line.startswith("FAIL!")]
            # Every test function that noticed, then what the first one said.
            names = []
            for line in failed:
                name = line.split("::", 1)[-1].split("(", 1)[0]
                if name not in names:
                    names.append(name)
            said = failed[0].split(")", 1)[-1].strip() if failed else f"exit {code}"
            return test, (", ".join(names) + ": " if names else "") + said[:120]
    return None


def rescue():
    """Puts back any file a killed run left with a fault in it."""
    if not RESCUE.exists():
        return
    for kept in RESCUE.rglob("*"):
        if kept.is_file():
            target = Path(kept.read_bytes().split(b"\0", 1)[0].decode())
            target.write_bytes(kept.read_bytes().split(b"\0", 1)[1])
            print(f"put back {target}, left with a fault by an earlier run")
            kept.unlink()


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--list", action="store_true", help="list the faults and stop")
    parser.add_argument("--only", default="", help="faults whose id contains, or whose area is, one of these (comma-separated)")
    parser.add_argument("-j", "--jobs", type=int, default=2)
    parser.add_argument("--tests-from", metavar="REV", help="run the tests as they were at REV (e.g. main)")
    parser.add_argument("--in-place", action="store_true",
                        help="plant in the worktree and use its build folder (no copy to build)")
    args = parser.parse_args()

    wanted = args.only.split(",")
    faults = [f for f in FAULTS if any(w in f[0] or w == f[1] for w in wanted)]
    if args.list:
        for fid, area, path, _, _, tests in faults:
            print(f"{area:10} {fid:30} {path:34} {' '.join(tests)}")
        print(f"{len(faults)} faults")
        return 0

    global TREE, BUILD
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(3))   # so that the finally runs
    rescue()
    if args.in_place:
        if args.tests_from:
            parser.error("--tests-from needs the copy")
        TREE, BUILD = ROOT, ROOT / "build"
    else:
        copy_tree(args.tests_from)
    code, out = run(["cmake", "-S", str(TREE), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                     "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"], TREE)
    if code != 0:
        print(out)
        return 2
    tests = sorted({t for f in faults for t in f[5]})
    ok, out = build(tests, args.jobs)
    if not ok:
        print(out[-3000:])
        print("the unchanged tree does not build")
        return 2
    failing = run_tests(tests)
    if failing:
        print(f"the unchanged tree fails {failing[0]}: {failing[1]}")
        return 2

    results = []
    started = time.time()
    for fid, area, path, before, after, tests in faults:
        target = TREE / path
        original = target.read_text(encoding="utf-8")
        if original.count(before) != 1:
            print(f"{fid:30} NOT PLANTED: the text occurs {original.count(before)} times in {path}", flush=True)
            results.append((fid, area, "not planted", ""))
            continue
        t0 = time.time()
        kept = RESCUE / fid
        try:
            kept.parent.mkdir(parents=True, exist_ok=True)
            kept.write_bytes(str(target).encode() + b"\0" + original.encode())
            target.write_text(original.replace(before, after), encoding="utf-8")
            ok, out = build(tests, args.jobs)
            if not ok:
                verdict, why = "not built", out.strip().splitlines()[-1][:150] if out.strip() else ""
            else:
                failing = run_tests(tests)
                verdict, why = ("caught", f"{failing[0]}: {failing[1]}") if failing else ("MISSED", "")
        finally:
            target.write_text(original, encoding="utf-8")
            kept.unlink()
        results.append((fid, area, verdict, why))
        print(f"{area:10} {fid:30} {verdict:8} {time.time() - t0:5.0f}s  {why}", flush=True)

    # Rebuild once more, so that nothing built with a fault is left in the build folder.
    build(sorted({t for f in faults for t in f[5]}), args.jobs)

    print()
    areas = []
    for _, area, _, _ in results:
        if area not in areas:
            areas.append(area)
    for area in areas:
        mine = [r for r in results if r[1] == area and r[2] in ("caught", "MISSED")]
        caught = sum(1 for r in mine if r[2] == "caught")
        missed = [r[0] for r in mine if r[2] == "MISSED"]
        print(f"{area:10} {caught}/{len(mine)} caught" + (f"; missed: {', '.join(missed)}" if missed else ""))
    planted = [r for r in results if r[2] in ("caught", "MISSED")]
    caught = sum(1 for r in planted if r[2] == "caught")
    others = len(results) - len(planted)
    print(f"total      {caught}/{len(planted)} caught"
          + (f" ({100.0 * caught / len(planted):.0f}%)" if planted else "")
          + (f"; {others} not planted or not built" if others else "")
          + f"; {time.time() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
