#!/usr/bin/env python3
"""Conversion benchmark: quillmark-cli against lv_font_conv, and the window.

Run through bench/run.sh, which builds the programs and installs the peer first.
Prints a Markdown table and writes it to bench/out/latest.md (raw figures in
bench/out/latest.json, output hashes in bench/out/hashes.txt).

Python 3 standard library only.
"""

import argparse
import datetime
import hashlib
import json
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BENCH = os.path.join(ROOT, "bench")

DROID = "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf"
DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"

SETS = ["ascii", "common", "cjk"]
SET_TITLES = {"ascii": "printable ASCII", "common": "common hanzi", "cjk": "CJK U+4E00..U+9FA5"}

# Output kinds and the quillmark-cli options that select them.
KINDS = ["sorted", "unsorted", "legacy", "xbf-array", "xbf-bin"]
KIND_TITLES = {
    "sorted": "sorted internal",
    "unsorted": "unsorted internal",
    "legacy": "legacy (5.3)",
    "xbf-array": "XBF array",
    "xbf-bin": "XBF bin",
}
KIND_ARGS = {
    "sorted": ["--lvgl", "6", "--type", "internal", "--sort"],
    "unsorted": ["--lvgl", "6", "--type", "internal", "--no-sort"],
    "legacy": ["--lvgl", "5.3"],
    "xbf-array": ["--lvgl", "6", "--type", "xbf-array", "--sort"],
    "xbf-bin": ["--lvgl", "6", "--type", "xbf-bin", "--sort"],
}

# Figures the conversion should reach. lv_font_conv / quillmark-cli: every kind at every
# depth for the 20902 set, the sorted font at 4 bpp for the 6763 set.
TARGET_PEER_RATIO = {"cjk": 50.0, "common": 30.0}
# Every kind's time against the sorted font's, same set and depth, in the same run.
TARGET_KIND_RATIO = 1.3
TARGET_RSS_MB = 100.0
TARGET_SCALING = 3.5
TARGET_WINDOW_VISIBLE_S = 4.0
TARGET_X11_VISIBLE_S = 2.0
TARGET_X11_STALL_S = 0.1
TARGET_CANCEL_S = 0.2
TARGET_PAINT_GAP_S = 0.1

PEER_PACKAGE = "lv_font_conv@1.5.3"


def log(message):
    print(message, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------
# Running one child and measuring it

class RunResult:
    def __init__(self, rc, seconds, maxrss_kib, stdout, stderr, timed_out=False, cpu_seconds=0.0):
        self.rc = rc
        self.cpu_seconds = cpu_seconds
        self.seconds = seconds
        self.maxrss_kib = maxrss_kib
        self.stdout = stdout
        self.stderr = stderr
        self.timed_out = timed_out


def run_measured(argv, env=None, cwd=None, timeout=900.0):
    """Runs argv to its end; wall time, and the child's own peak resident set from wait4."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                env=env, cwd=cwd)
        deadline = start + timeout
        timed_out = False
        while True:
            pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
            if pid == proc.pid:
                break
            if time.perf_counter() > deadline:
                proc.kill()
                timed_out = True
                pid, status, usage = os.wait4(proc.pid, 0)
                break
            time.sleep(0.002)
        seconds = time.perf_counter() - start
        proc.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        return RunResult(proc.returncode, seconds, usage.ru_maxrss, out.read(), err.read(), timed_out,
                         usage.ru_utime + usage.ru_stime)


def sha256_file(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def median(values):
    return statistics.median(values) if values else None


# ---------------------------------------------------------------------------
# Inputs

def write_sets(out_dir):
    """Writes each character set to a UTF-8 file; returns {set: (path, text)}."""
    sets_dir = os.path.join(out_dir, "sets")
    os.makedirs(sets_dir, exist_ok=True)
    with open(os.path.join(ROOT, "src", "res", "common_hanzi.txt"), encoding="utf-8") as f:
        common = "".join(f.read().split())
    texts = {
        "ascii": "".join(chr(c) for c in range(0x20, 0x7F)),
        "common": common,
        "cjk": "".join(chr(c) for c in range(0x4E00, 0x9FA6)),
    }
    result = {}
    for name, text in texts.items():
        path = os.path.join(sets_dir, name + ".txt")
        with open(path, "w", encoding="utf-8", newline="") as f:
            f.write(text)
        result[name] = (path, text)
    return result


def machine_description():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    ram_gib = None
    try:
        with open("/proc/meminfo") as f:
            for line in f:
                if line.startswith("MemTotal:"):
                    ram_gib = int(line.split()[1]) / (1024 * 1024)
                    break
    except OSError:
        pass
    osname = platform.system()
    try:
        with open("/etc/os-release") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    osname = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    ram = "%.1f GiB RAM" % ram_gib if ram_gib else "unknown RAM"
    return "%s, %d cores (nproc), %s, %s" % (model, os.cpu_count() or 0, ram, osname)


def git_revision():
    try:
        rev = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                             capture_output=True, text=True, check=True).stdout.strip()
        dirty = subprocess.run(["git", "-C", ROOT, "status", "--porcelain", "--untracked-files=no"],
                               capture_output=True, text=True).stdout.strip()
        return rev + ("+local changes" if dirty else "")
    except (OSError, subprocess.CalledProcessError):
        return "unknown"


# ---------------------------------------------------------------------------
# quillmark-cli

def child_env():
    env = dict(os.environ)
    env["QT_QPA_PLATFORM"] = "offscreen"
    env["QT_FONT_DPI"] = "96"
    env.setdefault("XDG_RUNTIME_DIR", tempfile.gettempdir())
    return env


def classify_failure(res):
    text = res.stderr.decode("utf-8", "replace").strip()
    if res.timed_out:
        return "timeout", text
    if "not available yet" in text:
        return "refused", text
    return "failed (exit %d)" % res.rc, text


def bench_cli(args, sets, font_for):
    """Every (set, bpp, kind) the options ask for; returns a list of row dicts.

    The runs go round-robin over the configurations, so that a change in the
    machine's load during the benchmark spreads over all of them alike."""
    rows = []
    work = os.path.join(args.out, "cli")
    env = child_env()
    for set_name in args.sets:
        path, text = sets[set_name]
        for bpp in args.bpp:
            for kind in args.kinds:
                rows.append({"set": set_name, "chars": len(text), "bpp": bpp, "kind": kind,
                             "status": "ok", "times": [], "cpu": [], "rss_kib": [], "hashes": {}})
    for i in range(args.runs):
        for row in rows:
            if row["status"] != "ok":
                continue
            set_name, bpp, kind = row["set"], row["bpp"], row["kind"]
            out_dir = os.path.join(work, "%s-%d-%s" % (set_name, bpp, kind))
            shutil.rmtree(out_dir, ignore_errors=True)
            os.makedirs(out_dir)
            argv = [args.cli, "--quiet", "--no-ascii", "--text-file", sets[set_name][0],
                    "--font", font_for[set_name], "--pixel-size", "16",
                    "--bpp", str(bpp), "--name", "bench_font"] + KIND_ARGS[kind]
            if kind == "xbf-bin":
                argv += ["--output-dir", out_dir]
            else:
                argv += ["-o", os.path.join(out_dir, "bench_font.c")]
            res = run_measured(argv, env=env, timeout=args.timeout)
            if res.rc != 0:
                row["status"], row["detail"] = classify_failure(res)
            else:
                files = sorted(f for f in os.listdir(out_dir) if os.path.isfile(os.path.join(out_dir, f)))
                hashes = {f: sha256_file(os.path.join(out_dir, f)) for f in files}
                if not files:
                    row["status"] = "failed (no output)"
                elif i == 0:
                    row["hashes"] = hashes
                    row["files"] = {f: os.path.getsize(os.path.join(out_dir, f)) for f in files}
                elif hashes != row["hashes"]:
                    row["nondeterministic"] = True
                if row["status"] == "ok":
                    row["times"].append(res.seconds)
                    row["cpu"].append(res.cpu_seconds)
                    row["rss_kib"].append(res.maxrss_kib)
            if i == args.runs - 1 or row["status"] != "ok":
                log("  cli %-7s bpp %d %-10s %s" % (set_name, bpp, kind, describe_row(row)))
    return rows


def describe_row(row):
    if row["status"] != "ok":
        return row["status"]
    if not row["times"]:
        return "no runs"
    return "%.3f s  %.1f MB" % (median(row["times"]), max(row["rss_kib"]) / 1024)


# ---------------------------------------------------------------------------
# The peer: lv_font_conv from npm

def peer_script(args):
    return os.path.join(args.peer_dir, "node_modules", "lv_font_conv", "lv_font_conv.js")


def bench_peer(args, sets, font_for):
    """lv_font_conv on every set the options ask for, at each depth; one row per (set, bpp)."""
    rows = []
    script = peer_script(args)
    node = shutil.which("node") or shutil.which("nodejs")
    if not node or not os.path.isfile(script):
        log("  lv_font_conv is not installed in %s (bench/run.sh installs it); skipped" % args.peer_dir)
        return rows
    work = os.path.join(args.out, "peer")
    os.makedirs(work, exist_ok=True)
    for set_name in args.peer_sets:
        path, text = sets[set_name]
        for bpp in args.bpp:
            row = {"set": set_name, "chars": len(text), "bpp": bpp, "status": "ok", "times": [], "rss_kib": []}
            out = os.path.join(work, "%s-%d.c" % (set_name, bpp))
            for _ in range(args.peer_runs):
                if os.path.exists(out):
                    os.remove(out)
                argv = [node, script, "--font", font_for[set_name], "--bpp", str(bpp), "--size", "16",
                        "--format", "lvgl", "--no-compress", "--symbols", text, "-o", out]
                res = run_measured(argv, timeout=args.timeout)
                if res.rc != 0 or not os.path.isfile(out):
                    row["status"] = "timeout" if res.timed_out else "failed (exit %d)" % res.rc
                    row["detail"] = res.stderr.decode("utf-8", "replace").strip()[-500:]
                    break
                row["times"].append(res.seconds)
                row["rss_kib"].append(res.maxrss_kib)
                row["size"] = os.path.getsize(out)
            log("  lv_font_conv %-7s bpp %d %s" % (set_name, bpp, describe_row(row)))
            rows.append(row)
    return rows


# ---------------------------------------------------------------------------
# The window

def bench_window(args, sets, font_for):
    if not os.path.isfile(args.window_bench):
        log("  %s is missing; window skipped" % args.window_bench)
        return None
    set_name = args.window_set
    path, text = sets[set_name]
    env = child_env()
    work = os.path.join(args.out, "window")
    os.makedirs(work, exist_ok=True)
    base = [args.window_bench, "--chars", path, "--font-file", font_for[set_name],
            "--pixel-size", "16", "--bpp", "4", "--name", "bench_font"]
    result = {"set": set_name, "chars": len(text), "runs": {}}

    def run(mode, extra, prefix=(), run_env=env, key=None):
        records = []
        for _ in range(args.window_runs):
            res = run_measured(list(prefix) + base + ["--mode", mode] + extra, env=run_env, cwd=work,
                               timeout=args.timeout)
            try:
                rec = json.loads(res.stdout.decode("utf-8").strip().splitlines()[-1])
            except (ValueError, IndexError):
                rec = {"ok": False, "error": "no result (exit %d): %s"
                       % (res.rc, res.stderr.decode("utf-8", "replace").strip()[-300:])}
            if not prefix:  # under the X server wrapper the child's own figure counts
                rec["peak_rss_kib"] = res.maxrss_kib
            records.append(rec)
            if not rec.get("ok"):
                break
        result["runs"][key or mode] = records
        last = records[-1]
        if last.get("ok"):
            status = "ok"
        elif any("not available yet" in m for m in last.get("messages", [])):
            status = "refused"
        else:
            status = "failed: " + (last.get("error") or "; ".join(last.get("messages", [])) or "?")
            status = status[:200]
        log("  window %-6s %s" % (key or mode, status))
        return status, records

    result["pane_status"], pane = run("pane", [])
    result["file_status"], _ = run("file", ["--out", os.path.join(work, "window_out.c")])
    # Cancel in the middle of the glyph loop, which runs while the progress dialog is open.
    delay = 400
    if result["pane_status"] == "ok":
        shown = median([r["dialog_shown_ms"] for r in pane if r.get("dialog_shown_ms", -1) >= 0])
        closed = median([r["dialog_closed_ms"] for r in pane if r.get("dialog_closed_ms", -1) >= 0])
        if shown is not None and closed is not None and closed > shown:
            delay = max(20, int(shown + 0.4 * (closed - shown)))
    for _ in range(3):
        result["cancel_after_ms"] = delay
        result["cancel_status"], records = run("cancel", ["--cancel-after-ms", str(delay)])
        if "ended before the cancel" not in (records[-1].get("error") or ""):
            break
        delay = max(10, delay // 2)

    # The same run on a real X server with a window manager, where painting costs what
    # it costs on a desktop, followed by what a user does next with the large text.
    if args.no_x11:
        result["x11_status"] = "skipped"
    elif not (shutil.which("Xvfb") and shutil.which("openbox")):
        result["x11_status"] = "skipped: Xvfb or openbox missing"
        log("  window x11    " + result["x11_status"])
    else:
        x_env = dict(env)
        x_env.pop("QT_FONT_DPI", None)
        result["x11_status"], _ = run("interact", [], prefix=[os.path.join(BENCH, "with_xvfb.sh"), "--dpi", "96"],
                                      run_env=x_env, key="x11")
        # A new user's first clicks in a fresh window, at 100% and at 150% (a laptop's
        # usual setting), where nothing is cached yet.
        for dpi in FIRST_USE_DPIS:
            dpi_env = dict(x_env)
            dpi_env["QT_FONT_DPI"] = str(dpi)
            result["first%d_status" % dpi], _ = run(
                "first", [], prefix=[os.path.join(BENCH, "with_xvfb.sh"), "--dpi", str(dpi)],
                run_env=dpi_env, key="first%d" % dpi)
    return result


def window_figure(result, mode, field, step=None):
    if not result or mode not in result["runs"]:
        return None
    records = [r for r in result["runs"][mode] if r.get("ok")]
    if step:
        records = [r.get("steps", {}).get(step, {}) for r in records]
    values = [r[field] for r in records if isinstance(r.get(field), (int, float)) and r[field] >= 0]
    return median(values)


FIRST_USE_DPIS = (96, 144)
FIRST_USE_STEPS = [
    ("add_common_hanzi", "加入常用汉字 (6763 characters into an empty pane)"),
    ("clear_input", "清空文字"),
    ("add_all_hanzi", "加入所有汉字 (one 20902-character paragraph)"),
    ("convert", "开始转换 of those 20902, from the click to the text painted"),
]

X11_STEPS = [
    ("drag_to_end", "dragging the scroll bar thumb to the end (40 moves, 16 ms apart)"),
    ("keys_home_end_pages", "Ctrl+Home, Ctrl+End, 10 × Page Up"),
    ("select_all", "select all (Ctrl+A)"),
    ("copy", "copy (Ctrl+C)"),
    ("clear_input", "清空文字"),
    ("add_all_hanzi", "加入所有汉字 (the input pane lays out one 20902-character paragraph)"),
    ("convert_again", "开始转换 again, from the click to the new text painted"),
]


# ---------------------------------------------------------------------------
# Hashes

def collect_hashes(rows):
    hashes = {}
    for row in rows:
        if row["status"] != "ok":
            continue
        for name, digest in row["hashes"].items():
            ext = os.path.splitext(name)[1]
            hashes["%s/%dbpp/%s%s" % (row["set"], row["bpp"], row["kind"], ext)] = digest
    return hashes


def write_hashes(path, hashes):
    with open(path, "w") as f:
        for key in sorted(hashes):
            f.write("%s  %s\n" % (hashes[key], key))


def read_hashes(path):
    hashes = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 2:
                hashes[parts[1]] = parts[0]
    return hashes


def compare_hashes(saved, current):
    same, changed, missing = [], [], []
    for key in sorted(saved):
        if key not in current:
            missing.append(key)
        elif saved[key] == current[key]:
            same.append(key)
        else:
            changed.append(key)
    return same, changed, missing


# ---------------------------------------------------------------------------
# The table

def fmt_s(seconds):
    if seconds is None:
        return "—"
    return "%.3f" % seconds if seconds < 10 else "%.1f" % seconds


def fmt_mb(kib):
    return "—" if kib is None else "%.0f" % (kib / 1024)


def fmt_size(n):
    if n is None:
        return "—"
    if n >= 1 << 20:
        return "%.2f MB" % (n / (1 << 20))
    if n >= 1 << 10:
        return "%.1f kB" % (n / (1 << 10))
    return "%d B" % n


def verdict(ok):
    if ok is None:
        return "n/a"
    return "holds" if ok else "**fails**"


def build_report(args, rows, peer_rows, window, hash_check):
    lines = []
    by_key = {(r["set"], r["bpp"], r["kind"]): r for r in rows}
    present = sorted({r["kind"] for r in rows if r["status"] == "ok"}, key=KINDS.index)
    refused = sorted({r["kind"] for r in rows if r["status"] == "refused"}, key=KINDS.index)

    lines.append("Measured %s on %s; quillmark %s." % (
        datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), machine_description(), git_revision()))
    lines.append("Load average (1 min) %.2f at the start, %.2f at the end; CPU is the child's user + "
                 "system time." % (args.load_start, args.load_end))
    lines.append("Pixel size 16; medians of %d runs (lv_font_conv: %d, window: %d); peak RSS is the "
                 "largest of the runs. Fonts: %s for the CJK sets, %s for ASCII (lv_font_conv reads "
                 "neither .ttc collections nor fonts without the glyphs asked for)."
                 % (args.runs, args.peer_runs, args.window_runs, os.path.basename(args.font_cjk),
                    os.path.basename(args.font_ascii)))
    lines.append("Output kinds measured: %s%s." % (
        ", ".join(KIND_TITLES[k] for k in present) or "none",
        "; refused (not available yet): " + ", ".join(KIND_TITLES[k] for k in refused) if refused else ""))
    lines.append("")

    lines.append("#### quillmark-cli")
    lines.append("")
    lines.append("| set | chars | bpp | kind | time (s) | CPU (s) | peak RSS (MB) | output | × 6763 set | sha256 |")
    lines.append("|---|---:|---:|---|---:|---:|---:|---:|---:|---|")
    for r in rows:
        status = r["status"]
        scaling = ""
        if status == "ok":
            t = median(r["times"])
            rss = max(r["rss_kib"])
            size = sum(r["files"].values())
            size_text = fmt_size(size)
            if len(r["files"]) > 1:
                size_text += " (" + " + ".join("%s %s" % (os.path.splitext(f)[1], fmt_size(s))
                                               for f, s in sorted(r["files"].items())) + ")"
            digest = ", ".join(d[:12] for _, d in sorted(r["hashes"].items()))
            if r.get("nondeterministic"):
                digest += " (differs between runs!)"
            base = by_key.get(("common", r["bpp"], r["kind"]))
            if r["set"] == "cjk" and base and base["status"] == "ok":
                scaling = "%.2f" % (t / median(base["times"]))
            lines.append("| %s | %d | %d | %s | %s | %s | %s | %s | %s | %s |" % (
                r["set"], r["chars"], r["bpp"], KIND_TITLES[r["kind"]], fmt_s(t), fmt_s(median(r["cpu"])),
                fmt_mb(rss), size_text, scaling, digest))
        else:
            lines.append("| %s | %d | %d | %s | %s | | | | | |" % (
                r["set"], r["chars"], r["bpp"], KIND_TITLES[r["kind"]], status))
    lines.append("")

    if peer_rows:
        lines.append("#### lv_font_conv (%s, --bpp N --size 16 --format lvgl --no-compress) against "
                     "quillmark-cli (sorted internal, and the slowest kind, at the same depth)"
                     % PEER_PACKAGE.split("@")[1])
        lines.append("")
        lines.append("| set | chars | bpp | lv_font_conv (s) | its peak RSS (MB) | its output | quillmark-cli "
                     "sorted (s) | ratio | slowest kind | its time (s) | ratio |")
        lines.append("|---|---:|---:|---:|---:|---:|---:|---:|---|---:|---:|")
        for p in peer_rows:
            q = by_key.get((p["set"], p["bpp"], "sorted"))
            qt = median(q["times"]) if q and q["status"] == "ok" else None
            timed = [r for r in rows if r["set"] == p["set"] and r["bpp"] == p["bpp"] and r["status"] == "ok"]
            slow = max(timed, key=lambda r: median(r["times"])) if timed else None
            st = median(slow["times"]) if slow else None
            if p["status"] != "ok":
                lines.append("| %s | %d | %d | %s | | | %s | | | | |" % (
                    p["set"], p["chars"], p["bpp"], p["status"], fmt_s(qt)))
                continue
            pt = median(p["times"])
            lines.append("| %s | %d | %d | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                p["set"], p["chars"], p["bpp"], fmt_s(pt), fmt_mb(max(p["rss_kib"])), fmt_size(p.get("size")),
                fmt_s(qt), "%.1f" % (pt / qt) if qt else "—", KIND_TITLES[slow["kind"]] if slow else "—",
                fmt_s(st), "%.1f" % (pt / st) if st else "—"))
        lines.append("")

    if window:
        lines.append("#### The window (in-process, offscreen platform, %d characters, 4 bpp, "
                     "sorted internal)" % window["chars"])
        lines.append("")
        lines.append("| measure | median |")
        lines.append("|---|---:|")

        def add(title, mode, field, scale=1000.0, unit="s"):
            status = window.get(mode + "_status")
            if status != "ok":
                lines.append("| %s | %s |" % (title, status if status == "refused" else "failed"))
                return
            v = window_figure(window, mode, field)
            if v is None:
                text = "—"
            elif unit == "s":
                text = "%.3f s" % (v / scale)
            else:
                text = "%d" % round(v / scale)
            lines.append("| %s | %s |" % (title, text))
        add("click → complete text painted in the pane (direct-to-file off)", "pane", "click_to_visible_ms")
        add("click → handler returned, text in the pane", "pane", "click_to_return_ms")
        add("click → file written (direct-to-file on)", "file", "click_to_file_ms")
        add("progress dialog: paints during the run", "pane", "dialog_paints", scale=1.0, unit="")
        add("progress dialog: longest gap between paints", "pane", "dialog_max_paint_gap_ms")
        add("longest event-loop stall from click to text (incl. after the dialog)", "pane", "max_stall_ms")
        add("cancel pressed after", "cancel", "cancel_pressed_ms")
        add("cancel → glyph loop left (progress dialog deleted)", "cancel", "cancel_to_dialog_closed_ms")
        add("cancel → generator returned, partial text set in the pane", "cancel", "cancel_to_generator_return_ms")
        add("cancel → click handler returned (partial text in pane)", "cancel", "cancel_to_return_ms")
        add("peak RSS of the window process (MB)", "pane", "peak_rss_kib", scale=1024.0, unit="")
        notes = []
        for mode in ("pane", "file", "cancel"):
            status = window.get(mode + "_status")
            if status not in ("ok", "refused"):
                notes.append("%s run %s" % (mode, status))
        # The window's own message after a complete run (a cancelled one says the same
        # about fewer glyphs).
        for rec in window["runs"].get("pane", [])[:1]:
            for m in rec.get("messages", []):
                notes.append("the window said after the run: %s" % m.split("|", 1)[-1].split("/")[-1].strip())
        pane_hash = {r.get("text_sha256") for r in window["runs"].get("pane", []) if r.get("ok")}
        file_hash = {r.get("text_sha256") for r in window["runs"].get("file", []) if r.get("ok")}
        cli_row = by_key.get((window["set"], 4, "sorted"))
        cli_hash = {cli_row["hashes"].get("bench_font.c")} if cli_row and cli_row["status"] == "ok" else set()
        if pane_hash and file_hash:
            same = pane_hash == file_hash and len(pane_hash) == 1
            note = "pane text %s the file written" % ("equals" if same else "**differs from**")
            if cli_hash:
                note += "; %s quillmark-cli's output" % (
                    "equals" if pane_hash == cli_hash else "**differs from**")
            lines.append("")
            lines.append("Window output check: " + note + ".")
        x_status = window.get("x11_status")
        if x_status:
            lines.append("")
            lines.append("#### The window under a real X server (Xvfb at 96 dpi with openbox, same run)")
            lines.append("")
            if x_status != "ok":
                lines.append("Not measured: %s." % x_status)
            else:
                lines.append("| measure | median |")
                lines.append("|---|---:|")

                def add_x(title, field, step=None):
                    v = window_figure(window, "x11", field, step)
                    lines.append("| %s | %s |" % (title, "—" if v is None else "%.3f s" % (v / 1000.0)))
                add_x("click → complete text painted in the pane (direct-to-file off)", "click_to_visible_ms")
                add_x("progress dialog: longest gap between paints", "dialog_max_paint_gap_ms")
                add_x("longest event-loop stall from click to text (incl. after the dialog)", "max_stall_ms")
                for step, title in X11_STEPS:
                    add_x("then, longest event-loop stall: " + title, "max_stall_ms", step)
                add_x("converting again: click → progress dialog shown", "dialog_shown_ms", "convert_again")
                add_x("converting again: progress dialog's longest gap between paints",
                      "dialog_max_paint_gap_ms", "convert_again")
                add_x("converting again: click → new text painted", "click_to_visible_ms", "convert_again")
                v = window_figure(window, "x11", "peak_rss_kib")
                lines.append("| peak RSS of the window process (MB) | %s |" % ("—" if v is None else "%d" % round(v / 1024)))
        if any(window.get("first%d_status" % d) for d in FIRST_USE_DPIS):
            lines.append("")
            lines.append("#### A new user's first clicks (a fresh window under Xvfb with openbox)")
            lines.append("")
            lines.append("| longest event-loop stall | " + " | ".join("%d dpi" % d for d in FIRST_USE_DPIS) + " |")
            lines.append("|---|" + "---:|" * len(FIRST_USE_DPIS))
            for step, title in FIRST_USE_STEPS:
                cells = []
                for d in FIRST_USE_DPIS:
                    v = window_figure(window, "first%d" % d, "max_stall_ms", step)
                    cells.append("—" if v is None else "%.3f s" % (v / 1000.0))
                lines.append("| %s | %s |" % (title, " | ".join(cells)))
        for n in notes:
            lines.append("")
            lines.append("Note: " + n)
        lines.append("")

    # The figures asked for.
    lines.append("#### Figures")
    lines.append("")
    lines.append("| figure | target | measured | |")
    lines.append("|---|---:|---:|---|")
    peer_by_key = {(p["set"], p["bpp"]): p for p in peer_rows}

    def peer_ratio(set_name, bpp, kind):
        p, q = peer_by_key.get((set_name, bpp)), by_key.get((set_name, bpp, kind))
        if p and p["status"] == "ok" and q and q["status"] == "ok":
            return median(p["times"]) / median(q["times"])
        return None

    # The command-line figures, when the command line was measured.
    cli_sets = {r["set"] for r in rows}
    if "cjk" in cli_sets:
        for bpp in args.bpp:
            for kind in args.kinds:
                ratio = peer_ratio("cjk", bpp, kind)
                lines.append("| 20902 set, %s, %d bpp: lv_font_conv / quillmark-cli | ≥ %.0f | %s | %s |" % (
                    KIND_TITLES[kind], bpp, TARGET_PEER_RATIO["cjk"], "—" if ratio is None else "%.1f" % ratio,
                    verdict(None if ratio is None else ratio >= TARGET_PEER_RATIO["cjk"])))
    if "common" in cli_sets and 4 in args.bpp:
        ratio = peer_ratio("common", 4, "sorted")
        lines.append("| 6763 set, sorted, 4 bpp: lv_font_conv / quillmark-cli | ≥ %.0f | %s | %s |" % (
            TARGET_PEER_RATIO["common"], "—" if ratio is None else "%.1f" % ratio,
            verdict(None if ratio is None else ratio >= TARGET_PEER_RATIO["common"])))
    if "cjk" in cli_sets and "sorted" in args.kinds:
        for bpp in args.bpp:
            base = by_key.get(("cjk", bpp, "sorted"))
            for kind in [k for k in args.kinds if k != "sorted"]:
                r = by_key.get(("cjk", bpp, kind))
                ratio = None
                if base and r and base["status"] == "ok" and r["status"] == "ok":
                    ratio = median(r["times"]) / median(base["times"])
                lines.append("| 20902 set, %d bpp: %s time / sorted internal time | ≤ %.1f | %s | %s |" % (
                    bpp, KIND_TITLES[kind], TARGET_KIND_RATIO, "—" if ratio is None else "%.2f" % ratio,
                    verdict(None if ratio is None else ratio <= TARGET_KIND_RATIO)))
    for kind in (args.kinds if "cjk" in cli_sets else []):
        peaks = [max(r["rss_kib"]) for r in rows
                 if r["set"] == "cjk" and r["kind"] == kind and r["status"] == "ok"]
        peak = max(peaks) if peaks else None
        lines.append("| 20902 set, %s: peak RSS | ≤ %.0f MB | %s | %s |" % (
            KIND_TITLES[kind], TARGET_RSS_MB, "—" if peak is None else "%.0f MB" % (peak / 1024),
            verdict(None if peak is None else peak / 1024 <= TARGET_RSS_MB)))
    for kind in (args.kinds if "cjk" in cli_sets and "common" in cli_sets else []):
        for bpp in args.bpp:
            a, b = by_key.get(("cjk", bpp, kind)), by_key.get(("common", bpp, kind))
            s = None
            if a and b and a["status"] == "ok" and b["status"] == "ok":
                s = median(a["times"]) / median(b["times"])
            lines.append("| %s, %d bpp: time 20902 / time 6763 | ≤ %.1f | %s | %s |" % (
                KIND_TITLES[kind], bpp, TARGET_SCALING, "—" if s is None else "%.2f" % s,
                verdict(None if s is None else s <= TARGET_SCALING)))
    if window:
        v = window_figure(window, "pane", "click_to_visible_ms")
        lines.append("| window, %d chars: click → text visible | ≤ %.0f s | %s | %s |" % (
            window["chars"], TARGET_WINDOW_VISIBLE_S, "—" if v is None else "%.2f s" % (v / 1000),
            verdict(None if v is None else v / 1000 <= TARGET_WINDOW_VISIBLE_S)))
        v = window_figure(window, "pane", "dialog_max_paint_gap_ms")
        lines.append("| window, %d chars: progress dialog repaint gap | ≤ %.1f s | %s | %s |" % (
            window["chars"], TARGET_PAINT_GAP_S, "—" if v is None else "%.3f s" % (v / 1000),
            verdict(None if v is None else v / 1000 <= TARGET_PAINT_GAP_S)))
        if window.get("x11_status") == "ok":
            v = window_figure(window, "x11", "click_to_visible_ms")
            lines.append("| window under X, %d chars: click → text visible | ≤ %.0f s | %s | %s |" % (
                window["chars"], TARGET_X11_VISIBLE_S, "—" if v is None else "%.2f s" % (v / 1000),
                verdict(None if v is None else v / 1000 <= TARGET_X11_VISIBLE_S)))
            # Adding all hanzi is the input pane laying out one paragraph of 20902
            # characters; it is shown in the table but is not the output pane's figure.
            stalls = [window_figure(window, "x11", "max_stall_ms", step)
                      for step, _ in X11_STEPS if step != "add_all_hanzi"]
            v = None if any(x is None for x in stalls) else max(stalls)
            lines.append("| window under X: longest stall after the text (scroll, keys, select all, copy, "
                         "清空文字, convert again) | ≤ %.1f s | %s | %s |" % (
                             TARGET_X11_STALL_S, "—" if v is None else "%.3f s" % (v / 1000),
                             verdict(None if v is None else v / 1000 <= TARGET_X11_STALL_S)))
            gaps = [window_figure(window, "x11", "dialog_max_paint_gap_ms"),
                    window_figure(window, "x11", "dialog_max_paint_gap_ms", "convert_again")]
            v = None if any(x is None for x in gaps) else max(gaps)
            lines.append("| window under X: progress dialog repaint gap | ≤ %.1f s | %s | %s |" % (
                TARGET_PAINT_GAP_S, "—" if v is None else "%.3f s" % (v / 1000),
                verdict(None if v is None else v / 1000 <= TARGET_PAINT_GAP_S)))
        for d in FIRST_USE_DPIS:
            if window.get("first%d_status" % d) != "ok":
                continue
            stalls = [window_figure(window, "first%d" % d, "max_stall_ms", step) for step, _ in FIRST_USE_STEPS]
            v = None if any(x is None for x in stalls) else max(stalls)
            lines.append("| window under X at %d dpi, first use: longest stall (加入常用汉字, 加入所有汉字, "
                         "first conversion) | ≤ %.1f s | %s | %s |" % (
                             d, TARGET_X11_STALL_S, "—" if v is None else "%.3f s" % (v / 1000),
                             verdict(None if v is None else v / 1000 <= TARGET_X11_STALL_S)))
        v = window_figure(window, "cancel", "cancel_to_generator_return_ms")
        lines.append("| window, %d chars: cancel → generator returned | ≤ %.1f s | %s | %s |" % (
            window["chars"], TARGET_CANCEL_S, "—" if v is None else "%.3f s" % (v / 1000),
            verdict(None if v is None else v / 1000 <= TARGET_CANCEL_S)))
    if hash_check is not None:
        same, changed, missing = hash_check
        ok = not changed and not missing
        lines.append("| outputs unchanged against %s | all equal | %d equal, %d changed, %d missing | %s |" % (
            os.path.basename(args.check_hashes), len(same), len(changed), len(missing), verdict(ok)))
    lines.append("")
    return "\n".join(lines)


# ---------------------------------------------------------------------------

def parse_args(argv):
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--runs", type=int, default=5, help="runs per quillmark-cli measurement (median; default 5)")
    ap.add_argument("--peer-runs", type=int, default=None,
                    help="runs per lv_font_conv set (default: 3, or --runs when smaller)")
    ap.add_argument("--window-runs", type=int, default=None,
                    help="runs per window measurement (default: 3, or --runs when smaller)")
    ap.add_argument("--sets", default=",".join(SETS), help="comma list of: " + ", ".join(SETS))
    ap.add_argument("--kinds", default=",".join(KINDS), help="comma list of: " + ", ".join(KINDS))
    ap.add_argument("--bpp", default="4,1", help="comma list of pixel depths")
    ap.add_argument("--peer-sets", default=None, help="sets for lv_font_conv (default: --sets)")
    ap.add_argument("--window-set", default="cjk", help="set for the window measurement")
    ap.add_argument("--no-peer", action="store_true", help="skip lv_font_conv")
    ap.add_argument("--no-window", action="store_true", help="skip the window")
    ap.add_argument("--no-x11", action="store_true", help="skip the window's run under Xvfb")
    ap.add_argument("--only-window", action="store_true",
                    help="the window only (offscreen and under Xvfb), no quillmark-cli or lv_font_conv runs")
    ap.add_argument("--quick", action="store_true",
                    help="one run each, ASCII and common sets only, window on the common set")
    ap.add_argument("--check-hashes", metavar="FILE",
                    help="compare output hashes with a saved hashes.txt and exit 1 on a difference "
                         "(without it they are compared with bench/reference-hashes.txt, for the table only)")
    ap.add_argument("--update-reference", action="store_true",
                    help="write this run's hashes to bench/reference-hashes.txt")
    ap.add_argument("--timeout", type=float, default=900.0, help="seconds before a child is killed")
    ap.add_argument("--build", default=os.path.join(ROOT, "build"), help="build folder")
    ap.add_argument("--out", default=os.path.join(BENCH, "out"), help="folder for results")
    ap.add_argument("--peer-dir", default=os.path.join(BENCH, ".peer"), help="npm prefix of lv_font_conv")
    ap.add_argument("--font-cjk", default=DROID, help="font file for the CJK sets (both tools)")
    ap.add_argument("--font-ascii", default=DEJAVU, help="font file for the ASCII set (both tools)")
    args = ap.parse_args(argv)

    if args.quick:
        args.runs = 1
        if args.sets == ",".join(SETS):
            args.sets = "ascii,common"
        if args.window_set == "cjk":
            args.window_set = "common"
    args.sets = [s for s in args.sets.split(",") if s]
    args.kinds = [k for k in args.kinds.split(",") if k]
    args.bpp = [int(b) for b in args.bpp.split(",") if b]
    args.peer_sets = [s for s in (args.peer_sets.split(",") if args.peer_sets else args.sets) if s]
    for s in args.sets + args.peer_sets + [args.window_set]:
        if s not in SETS:
            ap.error("unknown set %r" % s)
    for k in args.kinds:
        if k not in KINDS:
            ap.error("unknown kind %r" % k)
    for b in args.bpp:
        if b not in (1, 2, 4, 8):
            ap.error("bpp %d is not one of 1, 2, 4, 8" % b)
    if args.peer_runs is None:
        args.peer_runs = min(3, args.runs)
    if args.window_runs is None:
        args.window_runs = min(3, args.runs)
    if min(args.runs, args.peer_runs, args.window_runs) < 1:
        ap.error("runs must be at least 1")
    args.cli = os.path.join(args.build, "quillmark-cli")
    args.window_bench = os.path.join(args.build, "bench", "quillmark-window-bench")
    args.out = os.path.abspath(args.out)
    return args


def main(argv):
    args = parse_args(argv)
    args.load_start = os.getloadavg()[0]
    if not os.path.isfile(args.cli):
        log("%s is missing; build first (bench/run.sh does)" % args.cli)
        return 2
    for font in (args.font_cjk, args.font_ascii):
        if not os.path.isfile(font):
            log("font file %s is missing (bench/run.sh installs fonts-droid-fallback and "
                "fonts-dejavu-core)" % font)
            return 2
    os.makedirs(args.out, exist_ok=True)
    sets = write_sets(args.out)
    font_for = {"ascii": args.font_ascii, "common": args.font_cjk, "cjk": args.font_cjk}

    rows = []
    if not args.only_window:
        log("quillmark-cli: %d runs per measurement" % args.runs)
        rows = bench_cli(args, sets, font_for)
    peer_rows = []
    if not args.no_peer and not args.only_window:
        log("lv_font_conv: %d runs per set" % args.peer_runs)
        peer_rows = bench_peer(args, sets, font_for)
    window = None
    if not args.no_window:
        log("window: %d runs per measurement, %s set" % (args.window_runs, args.window_set))
        window = bench_window(args, sets, font_for)

    args.load_end = os.getloadavg()[0]
    hashes = collect_hashes(rows)
    hash_check = None
    reference = os.path.join(BENCH, "reference-hashes.txt")
    strict = bool(args.check_hashes)
    if not args.check_hashes and os.path.isfile(reference):
        args.check_hashes = reference
    if args.check_hashes:
        saved = read_hashes(args.check_hashes)
        if not strict:
            # Only what this run produced: a short run says nothing about the rest.
            saved = {k: v for k, v in saved.items() if k in hashes}
        hash_check = compare_hashes(saved, hashes)
    write_hashes(os.path.join(args.out, "hashes.txt"), hashes)
    if args.update_reference:
        write_hashes(reference, hashes)
        log("wrote %s" % reference)

    report = build_report(args, rows, peer_rows, window, hash_check)
    with open(os.path.join(args.out, "latest.md"), "w") as f:
        f.write(report)
    with open(os.path.join(args.out, "latest.json"), "w") as f:
        json.dump({"cli": rows, "peer": peer_rows, "window": window}, f, indent=1)
    print(report)
    if hash_check is not None:
        same, changed, missing = hash_check
        for key in changed:
            log("output changed: %s" % key)
        for key in missing:
            log("output not produced this time: %s" % key)
        if changed and strict:
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
