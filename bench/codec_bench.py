#!/usr/bin/env python3
"""Compressed glyphs: flash, decode time and conversion time.

Run through bench/run.sh --codec (which installs the ARM toolchain and lv_font_conv),
or directly once those are in place. For the 6763 common hanzi in Droid Sans Fallback
at 16 px and 4 bpp, sorted, LVGL 8:

  flash   .text + .rodata + .data of the font compiled with
          arm-none-eabi-gcc -mcpu=cortex-m4 -mthumb -Os: plain, compressed, and
          lv_font_conv's compressed font (plus LVGL's decompressor: measured from
          --lvgl-src when given, else the 880 bytes it takes in LVGL 8.3)
  decode  ns per glyph for the descriptor and the bitmap of every glyph, on this
          machine with gcc -O2, the fastest of several rounds of CPU time; with
          --lvgl-src DIR (an LVGL 8.3 source tree) also LVGL's own lookup and
          decompression of lv_font_conv's compressed font; and the floor of a
          per-pixel rANS decoder (bench/codec/rans_floor.c: no context, one lookup a
          pixel)
  convert quillmark-cli's wall and CPU time for the 20902 set, plain and compressed
          (median of --runs)
  table   (--table) flash of the whole range against lv_font_conv, each with and
          without compression: the 6763 set at 1, 2, 4 and 8 bpp, the 20902 set at
          4 bpp, and WenQuanYi Micro Hei at 24 px (lv_font_conv is given the first
          face of the .ttc as a .ttf, since it reads no collections); 15 to 25 minutes

Prints a Markdown table and writes it to bench/out/codec.md. Python 3 standard
library only.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

BENCH = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(BENCH)
DROID = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"
WQY = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"
STAND_IN = os.path.join(ROOT, "tests", "lvgl", "v8.3")
ARM_FLAGS = ["-mcpu=cortex-m4", "-mthumb", "-Os", "-std=c99"]
LVGL_DECOMPRESSOR_BYTES = 880


def log(message):
    print(message, file=sys.stderr, flush=True)


def run(argv, **kw):
    res = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.PIPE, **kw)
    if res.returncode != 0:
        raise RuntimeError("%s failed: %s" % (" ".join(argv[:3]), res.stderr.decode("utf-8", "replace")[-800:]))
    return res


def timed(argv, env):
    """Wall and CPU (children's user + system) seconds of one run."""
    before = os.times()
    start = time.monotonic()
    run(argv, env=env)
    wall = time.monotonic() - start
    after = os.times()
    return wall, (after.children_user - before.children_user) + (after.children_system - before.children_system)


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def convert(args, set_flag, out, compress, env, font=None, size=16, bpp=4):
    argv = [os.path.join(args.build, "quillmark-cli"), "--lvgl", "8", set_flag, "--no-ascii", "--font",
            font or args.font, "--pixel-size", str(size), "--bpp", str(bpp), "--name", "bench_font",
            "--include", '#include "lvgl.h"', "-o", out, "--quiet"]
    if compress:
        argv.append("--compress")
    return timed(argv, env)


def section_bytes(obj):
    """.text + .rodata + .data of an ARM object, from arm-none-eabi-size -A."""
    out = run(["arm-none-eabi-size", "-A", obj]).stdout.decode()
    total = 0
    for line in out.splitlines():
        parts = line.split()
        if len(parts) >= 2 and re.match(r"^\.(text|rodata|data)(\.|$)", parts[0]):
            total += int(parts[1])
    return total


def arm_flash(source, work, includes, defines=()):
    obj = os.path.join(work, os.path.basename(source) + ".o")
    argv = ["arm-none-eabi-gcc"] + ARM_FLAGS + ["-I" + i for i in includes] + list(defines) + ["-c", source, "-o", obj]
    run(argv)
    return section_bytes(obj)


def letters_header(font_c, work):
    text = open(font_c, encoding="utf-8").read()
    start = text.index("unicode_list_1[] = {")
    codes = re.findall(r"0x([0-9a-f]{4}),\t", text[start:text.index("};", start)])
    path = os.path.join(work, "letters.h")
    with open(path, "w") as f:
        f.write(",".join("0x" + c for c in codes) + "\n")
    return len(codes)


def decode_ns(font_c, work, name, rounds):
    exe = os.path.join(work, "decode_" + name)
    run(["gcc", "-O2", "-std=c99", "-I" + STAND_IN, "-I" + work, "-o", exe,
         os.path.join(BENCH, "codec", "decode_driver.c"), font_c])
    out = run([exe, str(rounds)]).stdout.decode()
    m = re.search(r"ns_per_glyph ([0-9.]+) checksum (\d+)", out)
    return float(m.group(1)), m.group(2)


def floor_ns(plain_c, work, rounds):
    """The fastest any per-pixel rANS decoder could fetch the set: order 0, one table
    lookup a pixel, one state and two interleaved (rans_floor.c)."""
    exe = os.path.join(work, "rans_floor")
    run(["gcc", "-O2", "-std=c99", "-I" + STAND_IN, "-I" + work, "-o", exe,
         os.path.join(BENCH, "codec", "rans_floor.c"), plain_c])
    out = run([exe, str(rounds)]).stdout.decode()
    return [(int(m.group(1)), float(m.group(2)), float(m.group(3)))
            for m in re.finditer(r"floor (\d) ns_per_glyph ([0-9.]+) bits_per_pixel ([0-9.]+)", out)]


def write_lv_conf(work):
    with open(os.path.join(work, "lv_conf.h"), "w") as f:
        f.write("#define LV_CONF_H 1\n#define LV_MEM_CUSTOM 1\n"
                "#ifndef LV_USE_FONT_COMPRESSED\n#define LV_USE_FONT_COMPRESSED 1\n#endif\n"
                "#define LV_USE_LOG 0\n#define LV_USE_ASSERT_NULL 0\n#define LV_USE_ASSERT_MALLOC 0\n"
                "#define LV_FONT_FMT_TXT_LARGE 0\n")


def lvgl_decode_ns(args, peer_c, work, rounds):
    """LVGL 8.3's own lookup and decompression of lv_font_conv's compressed font, built
    from the source tree the user gave, with the memory functions it needs."""
    src = args.lvgl_src
    write_lv_conf(work)
    files = [os.path.join(src, "src", "font", "lv_font_fmt_txt.c"), os.path.join(src, "src", "font", "lv_font.c"),
             os.path.join(src, "src", "misc", "lv_utils.c"), os.path.join(src, "src", "misc", "lv_mem.c"),
             os.path.join(src, "src", "misc", "lv_gc.c")]
    driver = os.path.join(work, "lvgl_driver.c")
    with open(os.path.join(BENCH, "codec", "decode_driver.c")) as f:
        text = f.read()
    text = text.replace('#include "lvgl.h"', '#include "lvgl.h"\n#define bench_font peer_font')
    text = text.replace("bench_font.get_glyph_dsc(&bench_font, &d, letters[i], 0)",
                        "lv_font_get_glyph_dsc(&bench_font, &d, letters[i], 0)")
    text = text.replace("bench_font.get_glyph_bitmap(&bench_font, letters[i])",
                        "lv_font_get_glyph_bitmap(&bench_font, letters[i])")
    with open(driver, "w") as f:
        f.write(text)
    peer = os.path.join(work, "peer_font.c")
    with open(peer_c, encoding="utf-8") as f:
        body = f.read()
    body = re.sub(r"\blv_font_t\s+\w+\s*=", "lv_font_t peer_font =", body)
    with open(peer, "w", encoding="utf-8") as f:
        f.write(body)
    exe = os.path.join(work, "decode_lvgl")
    run(["gcc", "-O2", "-std=gnu99", "-DLV_CONF_INCLUDE_SIMPLE", "-DLV_LVGL_H_INCLUDE_SIMPLE", "-I" + work,
         "-I" + src, "-I" + os.path.join(src, "src"), "-o", exe, driver, peer] + files)
    out = run([exe, str(rounds)]).stdout.decode()
    return float(re.search(r"ns_per_glyph ([0-9.]+)", out).group(1))


def lvgl_decompressor_bytes(args, work):
    conf = os.path.join(work, "lv_conf.h")
    if not os.path.exists(conf):
        return None
    obj_plain = arm_flash_lvgl(args, work, "0")
    obj_comp = arm_flash_lvgl(args, work, "1")
    return obj_comp - obj_plain


def arm_flash_lvgl(args, work, compressed):
    src = os.path.join(args.lvgl_src, "src", "font", "lv_font_fmt_txt.c")
    obj = os.path.join(work, "fmt_txt_%s.o" % compressed)
    run(["arm-none-eabi-gcc"] + ARM_FLAGS[:-1] + ["-std=gnu99", "-DLV_CONF_INCLUDE_SIMPLE",
        "-DLV_USE_FONT_COMPRESSED=%s" % compressed, "-I" + work, "-I" + args.lvgl_src, "-c", src, "-o", obj])
    return section_bytes(obj)


def first_face(ttc, work):
    """The first face of a TrueType collection as a file of its own: the tables copied
    behind a new directory (their checksums stay right; the font's own adjustment is
    not recomputed, which no reader here checks)."""
    import struct
    data = open(ttc, "rb").read()
    if data[:4] != b"ttcf":
        return ttc
    start = struct.unpack(">I", data[12:16])[0]
    version, count = struct.unpack(">IH", data[start:start + 6])
    records = [struct.unpack(">4sIII", data[start + 12 + 16 * i:start + 28 + 16 * i]) for i in range(count)]
    head = bytearray(data[start:start + 12])
    body = bytearray()
    directory = bytearray()
    at = 12 + 16 * count
    for tag, checksum, offset, length in records:
        directory += struct.pack(">4sIII", tag, checksum, at + len(body), length)
        body += data[offset:offset + length]
        body += b"\0" * (-len(body) % 4)
    path = os.path.join(work, os.path.splitext(os.path.basename(ttc))[0] + ".ttf")
    with open(path, "wb") as f:
        f.write(bytes(head) + bytes(directory) + bytes(body))
    return path


def peer_source(peer, work, font, size, bpp, symbols, compress):
    """lv_font_conv's font for LVGL 8."""
    node, script = peer
    out = os.path.join(work, "peer_%d_%d_%s.c" % (size, bpp, "c" if compress else "p"))
    argv = [node, script, "--font", font, "--bpp", str(bpp), "--size", str(size), "--format", "lvgl", "-o", out]
    argv += symbols
    if not compress:
        argv.append("--no-compress")
    run(argv)
    return out


def peer_flash(work, source, defines=()):
    """lv_font_conv's font compiled for the Cortex-M4 (its lv_font_t has the 4 bytes of
    user_data the stand-in lacks)."""
    shim = os.path.join(work, "peer_include")
    os.makedirs(shim, exist_ok=True)
    with open(os.path.join(shim, "lvgl.h"), "w") as f:
        # What lv_font_conv's text needs beyond the stand-in types; the font's own data
        # decide its size, not these declarations.
        f.write('#include "%s/lvgl.h"\n#define LV_VERSION_CHECK(a, b, c) 1\n#define LV_ATTRIBUTE_LARGE_CONST\n'
                "bool lv_font_get_glyph_dsc_fmt_txt(const lv_font_t *, lv_font_glyph_dsc_t *, uint32_t, uint32_t);\n"
                "const uint8_t *lv_font_get_bitmap_fmt_txt(const lv_font_t *, uint32_t);\n"
                "#define LV_FONT_SUBPX_NONE 0\n" % STAND_IN)
    if shutil.which("arm-none-eabi-gcc") is None:
        return None
    stripped = source[:-2] + "_stripped.c"
    with open(source, encoding="utf-8") as f, open(stripped, "w", encoding="utf-8") as g:
        g.write(f.read().replace("    .user_data = NULL,\n", ""))
    return arm_flash(stripped, work, [shim], ["-DLV_LVGL_H_INCLUDE_SIMPLE"] + list(defines)) + 4


def largest_bitmap_index(path):
    with open(path, encoding="utf-8") as f:
        found = re.findall(r"\.bitmap_index = (\d+)", f.read())
    return max((int(n) for n in found), default=0)


def whole_table(args, peer, work, env, decompressor):
    """Flash of ours and lv_font_conv's, plain and compressed, over sets, depths and fonts."""
    with open(os.path.join(ROOT, "src", "res", "common_hanzi.txt"), encoding="utf-8") as f:
        common = "".join(f.read().split())
    wqy = first_face(WQY, work)
    cases = [("6763 common", "--common-hanzi", ["--symbols", common], args.font, "Droid Sans Fallback", 16, bpp)
             for bpp in (1, 2, 4, 8)]
    cases.append(("20902 all", "--all-hanzi", ["--range", "0x4E00-0x9FA5"], args.font, "Droid Sans Fallback", 16, 4))
    cases.append(("6763 common", "--common-hanzi", ["--symbols", common], WQY, "WenQuanYi Micro Hei", 24, 4))
    lines = ["#### Flash against lv_font_conv (sorted, LVGL 8, Cortex-M4 -Os, .text+.rodata+.data, bytes)", "",
             "Rows marked (large) are compiled with LV_FONT_FMT_TXT_LARGE 1: their bitmaps pass 20 bits of offset.", "",
             "lv_font_conv's compressed fonts count LVGL's decompressor (%d bytes) too." % decompressor, "",
             "| set | font | px | bpp | quillmark plain | quillmark compressed | lv_font_conv plain | "
             "lv_font_conv compressed | compressed: ours / theirs |",
             "|---|---|---:|---:|---:|---:|---:|---:|---:|"]
    for label, flag, symbols, font, font_name, size, bpp in cases:
        log("table: %s, %s %d px, %d bpp" % (label, font_name, size, bpp))
        sources = {}
        for compress in (False, True):
            out = os.path.join(work, "ours_%d_%d_%s.c" % (size, bpp, "c" if compress else "p"))
            convert(args, flag, out, compress, env, font=font, size=size, bpp=bpp)
            sources[("ours", compress)] = out
            sources[("theirs", compress)] = peer_source(peer, work, wqy if font == WQY else font, size, bpp,
                                                        symbols, compress)
        # Bitmaps past 20 bits of offset need LVGL's large descriptors; the whole row is
        # then compiled with them, so that its four fonts pay alike.
        large = any(largest_bitmap_index(path) > 0xFFFFF for path in sources.values())
        defines = ["-DLV_FONT_FMT_TXT_LARGE=1"] if large else []
        ours = {c: arm_flash(sources[("ours", c)], work, [STAND_IN], defines) for c in (False, True)}
        theirs = {c: peer_flash(work, sources[("theirs", c)], defines) for c in (False, True)}
        theirs[True] += decompressor
        lines.append("| %s | %s | %d | %d%s | %s | %s | %s | %s | %.2f |" % (
            label, font_name, size, bpp, " (large)" if large else "", format(ours[False], ","),
            format(ours[True], ","), format(theirs[False], ","), format(theirs[True], ","),
            ours[True] / theirs[True]))
    return "\n".join(lines) + "\n"


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder with quillmark-cli")
    ap.add_argument("--out", default=os.path.join(BENCH, "out"), help="folder for results")
    ap.add_argument("--peer-dir", default=os.path.join(BENCH, ".peer"), help="npm prefix of lv_font_conv")
    ap.add_argument("--font", default=DROID, help="font file")
    ap.add_argument("--lvgl-src", default=None, help="an LVGL 8.3 source tree, for LVGL's own decode time")
    ap.add_argument("--runs", type=int, default=3, help="conversion runs per figure (median)")
    ap.add_argument("--rounds", type=int, default=7, help="decode rounds (the fastest counts)")
    ap.add_argument("--no-convert", action="store_true", help="skip the 20902-set conversion times")
    ap.add_argument("--table", action="store_true", help="also the flash table against lv_font_conv (slow)")
    ap.add_argument("--only-table", action="store_true", help="the flash table alone")
    args = ap.parse_args(argv)

    os.makedirs(args.out, exist_ok=True)
    work = tempfile.mkdtemp(prefix="qm-codec-")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_FONT_DPI="96")
    script = os.path.join(args.peer_dir, "node_modules", "lv_font_conv", "lv_font_conv.js")
    node = shutil.which("node") or shutil.which("nodejs")
    if args.only_table:
        if not (node and os.path.isfile(script) and shutil.which("arm-none-eabi-gcc")):
            log("the table needs lv_font_conv and arm-none-eabi-gcc: run it through bench/run.sh --codec")
            return 1
        decompressor = LVGL_DECOMPRESSOR_BYTES
        if args.lvgl_src:
            write_lv_conf(work)
            decompressor = lvgl_decompressor_bytes(args, work) or decompressor
        table = whole_table(args, (node, script), work, env, decompressor)
        print(table)
        with open(os.path.join(args.out, "codec-table.md"), "w", encoding="utf-8") as f:
            f.write(table)
        shutil.rmtree(work, ignore_errors=True)
        return 0

    plain_c = os.path.join(work, "plain.c")
    packed_c = os.path.join(work, "compressed.c")
    convert(args, "--common-hanzi", plain_c, False, env)
    convert(args, "--common-hanzi", packed_c, True, env)
    count = letters_header(plain_c, work)
    log("6763 set converted; %d glyphs" % count)

    have_arm = shutil.which("arm-none-eabi-gcc") is not None
    flash = {}
    if have_arm:
        flash["plain"] = arm_flash(plain_c, work, [STAND_IN])
        flash["compressed"] = arm_flash(packed_c, work, [STAND_IN])
    else:
        log("arm-none-eabi-gcc is missing (bench/run.sh --codec installs it); no flash figures")

    peer_c = os.path.join(work, "peer.c")
    have_peer = False
    if node and os.path.isfile(script):
        with open(os.path.join(ROOT, "src", "res", "common_hanzi.txt"), encoding="utf-8") as f:
            common = "".join(f.read().split())
        log("lv_font_conv, compressed (about a minute)")
        have_peer = True
        peer_c = peer_source((node, script), work, args.font, 16, 4, ["--symbols", common], True)
        peer_bytes = peer_flash(work, peer_c)
        if peer_bytes is not None:
            flash["lv_font_conv"] = peer_bytes

    decode = {"plain": decode_ns(plain_c, work, "plain", args.rounds),
              "compressed": decode_ns(packed_c, work, "compressed", args.rounds)}
    if decode["plain"][1] != decode["compressed"][1]:
        log("warning: the compressed font's pixels differ from the plain font's")
    floor = floor_ns(plain_c, work, args.rounds)
    lvgl_ns = None
    decompressor = LVGL_DECOMPRESSOR_BYTES
    if args.lvgl_src and have_peer:
        try:
            lvgl_ns = lvgl_decode_ns(args, peer_c, work, args.rounds)
            if have_arm:
                decompressor = lvgl_decompressor_bytes(args, work) or decompressor
        except (RuntimeError, AttributeError) as e:
            log("LVGL's decoder could not be built from %s: %s" % (args.lvgl_src, e))

    conversion = {}
    if not args.no_convert:
        for compress in (False, True):
            walls, cpus = [], []
            for _ in range(args.runs):
                w, c = convert(args, "--all-hanzi", os.path.join(work, "all.c"), compress, env)
                walls.append(w)
                cpus.append(c)
            conversion[compress] = (median(walls), median(cpus))

    lines = ["#### Compressed glyphs (6763 common hanzi, Droid Sans Fallback, 16 px, 4 bpp, sorted, LVGL 8)", ""]
    lines.append("| figure | plain | compressed | goal |")
    lines.append("|---|---:|---:|---|")
    if flash:
        goal = "≤ 500,000"
        if "lv_font_conv" in flash:
            peer_total = flash["lv_font_conv"] + decompressor
            goal += " and ≤ 0.75 × %s (lv_font_conv %s + LVGL's decompressor %d) = %s" % (
                format(peer_total, ","), format(flash["lv_font_conv"], ","), decompressor,
                format(int(0.75 * peer_total), ","))
        lines.append("| flash, Cortex-M4 -Os (.text+.rodata+.data, bytes) | %s | %s | %s |"
                     % (format(flash["plain"], ","), format(flash["compressed"], ","), goal))
    goal = "≤ 0.3 × LVGL 8.3 on lv_font_conv's compressed font"
    if lvgl_ns:
        goal += " (%.0f ns here: ≤ %.0f)" % (lvgl_ns, 0.3 * lvgl_ns)
    lines.append("| lookup + bitmap, x86 gcc -O2 (ns per glyph) | %.0f | %.0f | %s |"
                 % (decode["plain"][0], decode["compressed"][0], goal))
    for states, ns, bits in floor:
        lines.append("| bitmap alone, order-0 rANS without context, %s (ns per glyph; %.2f bits a pixel) | | %.0f | %s |"
                     % ("one state" if states == 1 else "%d interleaved states" % states, bits, ns,
                        "the floor of a decoder with one chain a row, as a context of the left pixel gives"
                        if states == 1 else "needs pixels that do not depend on each other"))
    if conversion:
        pw, pc = conversion[False]
        cw, cc = conversion[True]
        lines.append("| 20902 set conversion, wall / CPU (s) | %.2f / %.2f | %.2f / %.2f (+%.0f%% / +%.0f%%) | ≤ +30%% |"
                     % (pw, pc, cw, cc, 100 * (cw / pw - 1), 100 * (cc / pc - 1)))
    table = "\n".join(lines) + "\n"
    if args.table and have_peer and have_arm:
        table += "\n" + whole_table(args, (node, script), work, env, decompressor)
    print(table)
    with open(os.path.join(args.out, "codec.md"), "w", encoding="utf-8") as f:
        f.write(table)
    shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
