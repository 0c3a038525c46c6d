#!/usr/bin/env python3
"""Prints what the player's build costs, as a table: the pixel blends against pixman, idle CPU at
the title and at a message waiting for a click in each frame-rate mode (with a do-nothing SDL
window at the same rate as the yardstick), resident memory and threads at the title, and the
time from start to the first presented frame of the title.

Usage: python3 bench/table.py [--seconds N] [CHECKOUT ...]

Each CHECKOUT (default: this one) is configured and built in its own build/ folder exactly as
scripts/run configures it (plus the pixel benchmark), and its zb is run on the sample game under
a private Xvfb, one column per checkout, all in the same run. Needs Xvfb, xdotool and a C
compiler with SDL2's headers (scripts/setup installs them).
"""

import argparse
import ctypes
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
MODES = ["15FPS", "30FPS", "FULL", "NOSYNC"]
# The do-nothing window's rate for each mode: full speed is paced by the display's refresh.
YARDSTICK_RATE = {"15FPS": 15, "30FPS": 30, "FULL": 60, "NOSYNC": 60}
START_BUTTON = (202, 170)
# The message window's gold frame, in window pixels: top edge, both sides, bottom edge.
MESSAGE_FRAME = [(320, 334), (48, 406), (596, 406), (320, 468)]
MESSAGE_GOLD = 0xFFD66E
HZ = os.sysconf("SC_CLK_TCK")


def log(text):
    print(text, file=sys.stderr, flush=True)


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


# ---- building

def build(checkout, jobs):
    folder = os.path.join(checkout, "build")
    log(f"== building {checkout}")
    run(["cmake", "-S", checkout, "-B", folder, "-G", "Ninja", "-DZB_BENCH=ON"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", folder, "-j", str(jobs), "--target", "zb", "mksample", "bench_pixels"],
        stdout=subprocess.DEVNULL)
    # What the pixel row kernels are compiled with: the last -O option wins.
    with open(os.path.join(folder, "compile_commands.json")) as f:
        commands = [c["command"] for c in json.load(f) if c["file"].endswith("Vergbrow.cpp")]
    levels = re.findall(r"(?<!\S)-O\w*", commands[0]) if commands else []
    return folder, levels[-1] if levels else "no -O"



def make_game(checkout, folder, scratch, index):
    game = os.path.join(scratch, f"game{index}")
    run([os.path.join(folder, "mksample"), game, os.path.join(checkout, "sample")], stdout=subprocess.DEVNULL)
    shutil.copy(os.path.join(folder, "zb"), os.path.join(game, "zb"))
    return game


def yardstick_program(scratch):
    program = os.path.join(scratch, "idle_window")
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "sdl2"], check=True, capture_output=True,
                           text=True).stdout.split()
    run(["cc", "-O2", "-o", program, os.path.join(HERE, "idle_window.c")] + flags)
    return program


# ---- blends

def blends(folder):
    """Milliseconds per 640x480 frame: (mask ours, mask pixman, half ours, half pixman)."""
    names = {"BM_DrawAlphaMask/32": 0, "BM_PixmanOverA8Mask": 1, "BM_AlphaBlend64InPlace/32": 2,
             "BM_PixmanOverHalfMask": 3}
    out = subprocess.run([os.path.join(folder, "bench_pixels"),
                          "--benchmark_filter=^(" + "|".join(names) + ")$",
                          "--benchmark_repetitions=5", "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    result = [None] * 4
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") != "median" or b["run_name"] not in names:
            continue
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0}[b["time_unit"]]
        result[names[b["run_name"]]] = b["real_time"] * scale
    return result


# ---- the X server and the processes on it

class XServer:
    def __init__(self):
        read, write = os.pipe()
        self.process = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                                         "-nolisten", "tcp"], pass_fds=[write], stderr=subprocess.DEVNULL)
        os.close(write)
        number = b""
        while not number.endswith(b"\n"):
            chunk = os.read(read, 16)
            if not chunk:
                raise RuntimeError("Xvfb did not start")
            number += chunk
        os.close(read)
        self.display = ":" + number.decode().strip()
        self.x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XGetImage.restype = ctypes.c_void_p
        self.x11.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                       ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        self.x11.XGetPixel.restype = ctypes.c_ulong
        self.x11.XGetPixel.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
        self.connection = self.x11.XOpenDisplay(self.display.encode())

    def pixel(self, window, x, y):
        image = self.x11.XGetImage(self.connection, window, x, y, 1, 1, 0xFFFFFFFF, 2)  # ZPixmap
        return self.x11.XGetPixel(image, 0, 0) & 0xFFFFFF if image else None

    def find_window(self, name):
        out = subprocess.run(["xdotool", "search", "--name", name], capture_output=True, text=True,
                             env=dict(os.environ, DISPLAY=self.display)).stdout.split()
        return int(out[-1]) if out else None

    def click(self, window, x, y):
        env = dict(os.environ, DISPLAY=self.display)
        run(["xdotool", "mousemove", "--window", str(window), str(x), str(y)], env=env)
        time.sleep(0.3)
        run(["xdotool", "click", "1"], env=env)

    def stop(self):
        self.process.terminate()
        self.process.wait()


def cpu_ticks(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return int(fields[11]) + int(fields[12])  # utime, stime (fields 14 and 15)


def thread_run_times(pid):
    """Nanoseconds each thread has run, by thread id; None where the kernel keeps no schedstat."""
    times = {}
    try:
        for tid in os.listdir(f"/proc/{pid}/task"):
            try:
                with open(f"/proc/{pid}/task/{tid}/schedstat") as f:
                    times[tid] = int(f.read().split()[0])
            except (OSError, ValueError, IndexError):
                pass
    except OSError:
        return None
    return times or None


def cpu_percent(pid, seconds):
    # The scheduler's run time is exact; clock ticks only sample which thread runs at each tick,
    # which for a program that wakes briefly many times a second is off by whole ticks.
    runs, ticks, start = thread_run_times(pid), cpu_ticks(pid), time.monotonic()
    time.sleep(seconds)
    runs_after, ticks_after, end = thread_run_times(pid), cpu_ticks(pid), time.monotonic()
    if runs is not None and runs_after is not None:
        ran = sum(t - runs.get(tid, 0) for tid, t in runs_after.items())
        return ran / 1e9 / (end - start) * 100.0
    return (ticks_after - ticks) / HZ / (end - start) * 100.0


def memory(pid):
    """(resident MB, threads) of the process."""
    rss = threads = 0
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                rss = int(line.split()[1]) / 1024.0
            elif line.startswith("Threads:"):
                threads = int(line.split()[1])
    return rss, threads


def stop_process(process):
    if process.poll() is None:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def set_mode(game, mode):
    path = os.path.join(game, "ZB.INI")
    with open(path, encoding="latin-1") as f:
        text = f.read()
    text = re.sub(r"(?im)^FPSMode=.*$", f"FPSMode={mode}", text)
    with open(path, "w", encoding="latin-1") as f:
        f.write(text)


def run_game(server, game, mode, seconds, scratch):
    """Figures of one run of the game in one mode (a dict), or an 'error' entry."""
    set_mode(game, mode)
    runtime = tempfile.mkdtemp(dir=scratch)
    env = dict(os.environ, DISPLAY=server.display, SDL_VIDEODRIVER="x11", SDL_AUDIODRIVER="dummy",
               XDG_RUNTIME_DIR=runtime, ZB_TRACE_STARTUP="1")
    trace_path = os.path.join(scratch, f"trace-{mode}.txt")
    trace = open(trace_path, "w")
    started = time.monotonic()
    process = subprocess.Popen(["./zb", "-WINDOW"], cwd=game, env=env, stderr=trace)
    figures = {}
    try:
        # The first presented frame of the title, from the program's own trace.
        deadline = started + 30
        title_ms = None
        while title_ms is None and time.monotonic() < deadline and process.poll() is None:
            time.sleep(0.05)
            with open(trace_path) as f:
                for line in f:
                    m = re.match(r"startup\s+([\d.]+) ms\s+first frame presented after: title$", line.rstrip())
                    if m:
                        title_ms = float(m.group(1))
        if title_ms is None:
            figures["error"] = "no title frame traced"
            time.sleep(max(0.0, started + 8 - time.monotonic()))  # a checkout without the trace
        figures["startup_ms"] = title_ms
        time.sleep(4)  # the title's fade and music start
        figures["title_cpu"] = cpu_percent(process.pid, seconds)
        figures["rss"], figures["threads"] = memory(process.pid)

        window = server.find_window("^ZB$")
        if window is None:
            figures["error"] = "no game window"
            return figures
        server.click(window, *START_BUTTON)
        for _ in range(60):
            time.sleep(0.25)
            if all(server.pixel(window, x, y) == MESSAGE_GOLD for x, y in MESSAGE_FRAME):
                break
        else:
            figures["error"] = "the first message did not show"
            return figures
        time.sleep(3)  # the text has been written out and waits for a click
        figures["message_cpu"] = cpu_percent(process.pid, seconds)
    finally:
        stop_process(process)
        trace.close()
    with open(trace_path) as f:
        figures["trace"] = f.read()
    return figures


def run_yardstick(server, program, rate, seconds):
    env = dict(os.environ, DISPLAY=server.display, SDL_VIDEODRIVER="x11")
    process = subprocess.Popen([program, str(rate)], env=env, stderr=subprocess.PIPE, text=True)
    try:
        time.sleep(1.5)
        cpu = cpu_percent(process.pid, seconds)
        rss, threads = memory(process.pid)
    finally:
        process.kill()
        _, err = process.communicate()
    return {"cpu": cpu, "rss": rss, "threads": threads, "renderer": err.strip()}


# ---- the table

def fmt(value, pattern="{:.2f}"):
    return "-" if value is None else pattern.format(value)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("checkouts", nargs="*", default=[os.path.dirname(HERE)])
    parser.add_argument("--seconds", type=float, default=10, help="length of each CPU measurement")
    parser.add_argument("--jobs", type=int, default=4, help="parallel compile jobs")
    args = parser.parse_args()
    for tool in ["Xvfb", "xdotool", "cmake", "ninja", "cc", "pkg-config"]:
        if shutil.which(tool) is None:
            sys.exit(f"{tool} is not installed (bash scripts/setup)")

    scratch = tempfile.mkdtemp(prefix="zb-table-")
    columns = []
    server = XServer()
    try:
        for index, checkout in enumerate(os.path.abspath(c) for c in args.checkouts):
            folder, build_type = build(checkout, args.jobs)
            game = make_game(checkout, folder, scratch, index)
            log(f"== blends, {checkout}")
            column = {"name": os.path.basename(checkout.rstrip("/")) or checkout, "path": checkout,
                      "build_type": build_type, "blends": blends(folder), "modes": {}}
            for mode in MODES:
                log(f"== game, {mode}, {checkout}")
                column["modes"][mode] = run_game(server, game, mode, args.seconds, scratch)
            columns.append(column)
        log("== yardstick")
        program = yardstick_program(scratch)
        yardstick = {rate: run_yardstick(server, program, rate, args.seconds)
                     for rate in sorted(set(YARDSTICK_RATE.values()))}
    finally:
        server.stop()

    header = ["figure"] + [f"{c['name']} (kernels at {c['build_type']})" for c in columns] + \
             ["do-nothing SDL window"]
    rows = []

    def blend_row(label, ours, theirs):
        rows.append([label] + [f"{fmt(c['blends'][ours])} ms (pixman {fmt(c['blends'][theirs])} ms)"
                               for c in columns] + ["-"])

    blend_row("32-bit mask blend, 640x480", 0, 1)
    blend_row("50% blend, 640x480", 2, 3)
    for key, label in [("title_cpu", "CPU at the title"), ("message_cpu", "CPU at a waiting message")]:
        for mode in MODES:
            rows.append([f"{label}, {mode} (% of a core)"] +
                        [fmt(c["modes"][mode].get(key), "{:.1f}%") for c in columns] +
                        [f"{yardstick[YARDSTICK_RATE[mode]]['cpu']:.1f}% at {YARDSTICK_RATE[mode]}/s"])
    first = [c["modes"][MODES[0]] for c in columns]
    rows.append(["resident memory at the title (FULL)"] +
                [f"{c['modes']['FULL'].get('rss', 0):.1f} MB, {c['modes']['FULL'].get('threads', 0)} threads"
                 for c in columns] +
                [f"{yardstick[60]['rss']:.1f} MB, {yardstick[60]['threads']} threads"])
    starts = []
    for c in columns:
        values = sorted(v for v in (m.get("startup_ms") for m in c["modes"].values()) if v is not None)
        starts.append(f"{values[len(values) // 2]:.0f} ms (range {values[0]:.0f}-{values[-1]:.0f})"
                      if values else "-")
    rows.append(["start to the first presented title frame"] + starts + ["-"])

    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    line = lambda r: "| " + " | ".join(str(v).ljust(w) for v, w in zip(r, widths)) + " |"
    print(line(header))
    print("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    for r in rows:
        print(line(r))
    print()
    print(f"yardstick renderer: {yardstick[60]['renderer'] or '?'}")
    for c, f in zip(columns, first):
        for mode, m in c["modes"].items():
            if "error" in m:
                print(f"{c['path']} {mode}: {m['error']}")
        print(f"\nstart-up trace of {c['path']} ({MODES[0]}):")
        print(f.get("trace", "").rstrip() or "(none)")
    shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
