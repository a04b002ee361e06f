#!/usr/bin/env python3
"""Writes docs/performance.md from the raw outputs tools/bench.sh leaves in build/bench.

    bench_report.py BENCH_DIR OUTPUT

Every table puts a figure next to its baseline from the same run. A benchmark whose output is
missing or unreadable shows up as "not measured" with the name of its log, never as a number.
"""
import json
import re
import sys
from pathlib import Path

bench = Path(sys.argv[1])
output = Path(sys.argv[2])


def log(name):
    path = bench / f"{name}.log"
    return path.read_text(errors="replace") if path.exists() else ""


def failed(name):
    rc = bench / f"{name}.rc"
    return not rc.exists() or rc.read_text().strip() != "0"


def fields(text):
    """key=value pairs of a line."""
    return {k: v for k, v in re.findall(r"(\w+)=(\S+)", text)}


def line(name, pattern):
    """The first match of `pattern` in log `name`, or None."""
    return re.search(pattern, log(name), re.M)


def missing(name):
    why = "failed" if failed(name) else "no figure in its output"
    return f"not measured ({why}: `build/bench/{name}.log`)"


def size(n):
    n = int(n)
    if n >= 1 << 20:
        return f"{n / (1 << 20):.2f} MiB ({n:,} bytes)".replace(",", " ")
    return f"{n / 1024:.1f} KiB ({n:,} bytes)".replace(",", " ")


def ratio(a, b):
    return f"{float(a) / float(b):.1f}×" if float(b) > 0 else "–"


machine = dict(re.findall(r"^(\w+)=(.*)$", log("machine"), re.M))
md = []
w = md.append

w("# Performance")
w("")
w(f"Figures from one run of `tools/bench.sh` on {machine.get('date', '?')}, on one machine; each "
  "stands next to a baseline measured in the same run. The raw outputs are in `build/bench/*.log`; "
  "the programs come from trees of the script's own with `QD_BENCH=ON` (`build/bench-win`, "
  "`build/bench-native`), the test trees are left alone.")
w("")
mem_gib = int(machine.get("memory_kib", "0")) / (1 << 20)
w(f"- Machine: {machine.get('cpu', '?')}, {machine.get('cores', '?')} cores, {mem_gib:.1f} GiB of "
  f"memory, Debian {machine.get('debian', '?')} (Linux {machine.get('kernel', '?')}).")
w(f"- Run-time of the Windows figures: **Wine + Xvfb**, not Windows: {machine.get('wine', '?')}, "
  "Xvfb with openbox, a fresh prefix per session, ALSA's null output for sound. Programs built "
  f"with MinGW-w64 g++ {machine.get('compiler', '?')}, linked statically. The pattern matcher's "
  f"figures are native Linux code (g++ {machine.get('native_compiler', '?')}, -O2, no sanitizers).")
w(f"- The two cores were shared with other developers' builds and tests during the run (load "
  f"average {machine.get('load_start', '?')} at the start, {machine.get('load_end', '?')} at the "
  "end): timings carry that noise, which is why each baseline was taken in the same run.")
w("")

# --- Sizes ------------------------------------------------------------------------------------
w("## Executable and installer size")
w("")
sizes = {m.group(1): m.group(2) for m in re.finditer(r"^(.+): bytes=(\d+)$", log("sizes"), re.M)}
w("| File | Quillodrome | Baseline: the empty dialog program | Ratio |")
w("|---|---|---|---|")
for label, ours, base in [("Executable (`Quillodrome.exe`, stripped, static)", "program",
                           "empty dialog program"),
                          ("Installer (`QuillodromeSetup.exe`, same script)", "installer",
                           "empty dialog installer")]:
    if ours in sizes and base in sizes:
        w(f"| {label} | {size(sizes[ours])} | {size(sizes[base])} | "
          f"{ratio(sizes[ours], sizes[base])} |")
    else:
        w(f"| {label} | {missing('sizes')} | | |")
w("")
w("The installer baseline is the same NSIS script (French wizard, uninstaller, LZMA) carrying the "
  "empty dialog program instead of the toolbar.")
if "program" in sizes and "installer" in sizes:
    w(f"For a typist: the whole download is {size(sizes['installer']).split(' (')[0]}, one file; "
      "the program needs no other DLL.")
w("")

# --- Start-up ---------------------------------------------------------------------------------
w("## Start to window, and opening a long recording")
w("")
start = {m.group(1).rsplit("\\", 1)[-1]: m.group(2)
         for m in re.finditer(r"^(\S+\.exe): median ([\d.]+) ms", log("startup"), re.M)}
opens = [(m.group(1).rsplit("\\", 1)[-1], m.group(2), m.group(3))
         for m in re.finditer(r"^(\S+): duration ([\d.]+) s, Open median ([\d.]+) ms",
                              log("startup"), re.M)]
w("| Measure | Quillodrome | Baseline | Ratio |")
w("|---|---|---|---|")
if "Quillodrome.exe" in start and "empty_dialog.exe" in start:
    w(f"| Process start to first visible window, median of 5 | {start['Quillodrome.exe']} ms | "
      f"{start['empty_dialog.exe']} ms (empty dialog program) | "
      f"{ratio(start['Quillodrome.exe'], start['empty_dialog.exe'])} |")
else:
    w(f"| Process start to first visible window | {missing('startup')} | | |")
engine_opens = [(m.group(1).rsplit("\\", 1)[-1], m.group(2), m.group(3))
                for m in re.finditer(r"^audio engine, (\S+): duration ([\d.]+) s, Open median ([\d.]+) ms",
                                     log("startup"), re.M)]
if len(opens) == 2:
    (lname, ldur, lms), (sname, sdur, sms) = opens
    w(f"| Open until the duration is known, median of 5 (DirectShow) | {lms} ms ({lname}, "
      f"{float(ldur) / 60:.0f} min MP3) | {sms} ms ({sname}, {float(sdur):.0f} s WAV) | "
      f"{ratio(lms, sms)} |")
    if engine_opens and engine_opens[0][0] == lname:
        ename, edur, ems = engine_opens[0]
        w(f"| Open until the duration is known and the first sound decoded, median of 5 (audio "
          f"engine, {float(edur) / 60:.0f} min) | {ems} ms ({ename}) | {lms} ms (the same file "
          f"with DirectShow) | {ratio(ems, lms)} |")
else:
    w(f"| Open of a 60-min MP3 | {missing('startup')} | | |")
w("")
if "Quillodrome.exe" in start and "empty_dialog.exe" in start:
    ours, base = float(start["Quillodrome.exe"]), float(start["empty_dialog.exe"])
    when = (f"{ours - base:.0f} ms after an empty window would" if ours > 1.1 * base else
            "as soon as an empty window would, within this run's noise")
    w(f"For a typist: the toolbar appears {when} (with a persistent wineserver: the first "
      "program of a fresh Wine session pays a second or more for Wine's own start)"
      + (f", and an hour-long MP3 is ready to play {(engine_opens or opens)[0][2]} ms after it is chosen."
         if len(opens) == 2 else "."))
w("")

# --- Idle CPU ---------------------------------------------------------------------------------
w("## Idle CPU")
w("")
idle = line("idle", r"CPU over (\d+) s: toolbar .*? ([\d.]+) s; empty dialog ([\d.]+) s")
w("| Measure | Quillodrome | Baseline: empty dialog |")
w("|---|---|---|")
if idle:
    secs, ours, base = float(idle.group(1)), float(idle.group(2)), float(idle.group(3))
    w(f"| CPU time (user + system of the Wine process) over {secs:.0f} s, recording loaded, "
      f"serial pedal polled, caption scrolling | {ours:.2f} s ({100 * ours / secs:.1f} % of one "
      f"core) | {base:.2f} s ({100 * base / secs:.1f} %) |")
    w("")
    w(f"For a typist: left open all day beside the word processor, the toolbar takes about "
      f"{100 * ours / secs:.1f} % of one core (the wineserver's share of its calls is not counted "
      "here, for either program).")
else:
    w(f"| CPU over 30 s | {missing('idle')} | |")
w("")

# --- Pedal ------------------------------------------------------------------------------------
w("## Pedal latency")
w("")
w("The program as it was before the pedal had a thread of its own (built from the parent of the "
  "commit that brought `pedal/pedal_reader.h`), read by the main loop's ticks.")
w("")
w("| Main loop period | Press to play in `Quillodrome.exe` (min / median / max) | Baseline: the "
  "bare serial port polled at the same period (min / median / max) |")
w("|---|---|---|")
lat_re = r"n=(\d+) min ([\d.]+) ms\s+median ([\d.]+) ms\s+max ([\d.]+) ms"
medians, base_medians = {}, {}
for period in (100, 50):
    ours = line("toolbar-baseline", rf"^press to play, serial, {period} ms loop: {lat_re}")
    base = line("pedal", rf"^serial press to first 1, {period} ms polls\s+{lat_re}")
    cell = (f"{ours.group(2)} / **{ours.group(3)}** / {ours.group(4)} ms (n={ours.group(1)})"
            if ours else missing("toolbar-baseline"))
    bcell = (f"{base.group(2)} / {base.group(3)} / {base.group(4)} ms (n={base.group(1)})"
             if base else missing("pedal"))
    if ours:
        medians[period] = float(ours.group(3))
    if base:
        base_medians[period] = float(base.group(3))
    w(f"| {period} ms | {cell} | {bcell} |")
w("")
w("Press to play: from the pedal simulator acknowledging the press (switch closed on the serial "
  "line) to the toolbar answering with the pressed-pedal indicator, which the tick that sees the "
  "press sets right after starting the playback graph; presses land at phases spread over the "
  "period. The 50 ms row is taken after OK in the settings dialog, as a typist gets it. The "
  "baseline is `pedal_bench`: the same port class polled in a loop of its own, without the "
  "program around it.")
polls = [m.groups() for m in re.finditer(
    r"^((?:serial|usb) IsPressed, \w+)\s+n=(\d+) median ([\d.]+) us\s+p99 ([\d.]+) us\s+max ([\d.]+) us",
    log("pedal"), re.M)]
if polls:
    w("")
    w("| One poll (`IsPressed`) | Median | p99 | Max |")
    w("|---|---|---|---|")
    for what, n, med, p99, mx in polls:
        w(f"| {what} (n={n}) | {med} µs | {p99} µs | {mx} µs |")
    usb = line("pedal", r"^usb Close\+Open .*?([\d.]+) us per cycle")
    if usb:
            w(f"| USB Close + Open (load, scan, open) | {float(usb.group(1)) / 1000:.1f} ms per cycle | "
          "| |")
w("")
if medians:
    parts = [f"{medians[p]:.0f} ms at {p} ms" for p in sorted(medians, reverse=True)]
    over = [medians[p] - base_medians[p] for p in medians if p in base_medians]
    around = (f" (the program adds {min(over):.0f} to {max(over):.0f} ms to the bare port's median)"
              if over else "")
    w(f"For a typist: the recording starts a median {' and '.join(parts)} after the foot goes "
      "down. The serial pedal is read by a probe byte sent on one tick and looked for on the "
      "next, so a press shows one to two periods after it: the wait is the loop's period, not "
      f"the poll (microseconds) nor the program around it{around}, and the 50 ms loop halves it.")
w("")

# --- Pedal on its own thread -------------------------------------------------------------------
w("## Pedal on a thread of its own")
w("")
w("| Switch | This program (min / median / max) | Before: read by the loop's ticks, same run "
  "(min / median / max) |")
w("|---|---|---|")
press_medians = {}
for kind, period in (("serial", 100), ("serial", 50), ("keyboard", 100)):
    for change in ("press to play", "release to pause"):
        pattern = rf"^{change}, {kind}, {period} ms loop: {lat_re}"
        ours = line("toolbar", pattern)
        base = line("toolbar-baseline", pattern)
        cell = (f"{ours.group(2)} / **{ours.group(3)}** / {ours.group(4)} ms (n={ours.group(1)})"
                if ours else missing("toolbar"))
        bcell = (f"{base.group(2)} / {base.group(3)} / {base.group(4)} ms (n={base.group(1)})"
                 if base else missing("toolbar-baseline"))
        if ours and change == "press to play":
            press_medians[(kind, period)] = (float(ours.group(3)), float(ours.group(4)))
        w(f"| {kind}, {change}, {period} ms loop | {cell} | {bcell} |")
w("")
w("From the switch closing or opening (the simulator's acknowledgement; for the keyboard pedal, "
  "the key sent with `SendInput`) to the toolbar's indicator changing, which it does right after "
  "starting playback (`Run`) or pausing and stepping back; presses land at phases spread over "
  "the loop's period. A serial or USB switch is probed every 5 ms on a worker thread while a "
  "recording is loaded, and every 30 ms once it has rested released for 30 s; the worker waits "
  "on the serial line for each probe's echo, so a press counts as soon as the first probe after "
  "it comes back. A release counts once no echo has come for twice the longest gap between "
  "echoes the port showed while held (12 ms for a port that echoes every probe, 25 ms until it "
  "has shown its pace; a late echo must not read as a release), and the window thread acts on "
  "the worker's message at once. The keyboard and HID pedals post their changes themselves.")
reader = {m.group(1): m.groups()[1:] for m in re.finditer(
    rf"^serial (press|release) to reader's message\s+{lat_re}", log("pedal"), re.M)}
false_releases = line("pedal", r"^serial held 5 s, releases read\s+(\d+)")
if reader:
    w("")
    w("| The reader alone (`pedal_bench`: the port class and the reader, no program) | "
      "Min / median / max |")
    w("|---|---|")
    for what in ("press", "release"):
        if what in reader:
            n, lo, med, hi = reader[what]
            w(f"| serial {what} to the reader's message (n={n}) | {lo} / {med} / {hi} ms |")
    if false_releases:
        w(f"| releases read while held for 5 s | {false_releases.group(1)} |")
w("")
sessions = {m.group(1): [float(x or 0) for x in m.groups()[1:]] for m in re.finditer(
    r"^session CPU over \d+ s, (.+?): program ([\d.]*) s; wineserver ([\d.]*) s; xvfb ([\d.]*) s; "
    r"other wine ([\d.]*) s", log("idle"), re.M)}
secs = line("idle", r"^session CPU over (\d+) s")
if sessions and secs:
    span = float(secs.group(1))
    w(f"| Idle, CPU over {span:.0f} s (user + system) | Program | wineserver | Xvfb | Together "
      "(% of one core) |")
    w("|---|---|---|---|---|")
    for what, label in (("recording loaded, serial pedal released and read",
                         "This program: recording loaded and paused, serial pedal released "
                         "(measured from 35 s after the start, the reader at its rested pace)"),
                        ("recording loaded, serial pedal released, loop of ticks",
                         "Before: the same, read by the loop's ticks"),
                        ("no recording, serial pedal connected",
                         "This program: no recording (the pedal not read)"),
                        ("empty dialog", "Baseline: the empty dialog program")):
        if what in sessions:
            prog, server, xvfb, _ = sessions[what]
            total = prog + server + xvfb
            w(f"| {label} | {prog:.2f} s | {server:.2f} s | {xvfb:.2f} s | {total:.2f} s "
              f"({100 * total / span:.1f} %) |")
    w("")
    w("The session's other Wine processes (services, explorer) are left out: they do the same "
      "whatever runs.")
    now = sessions.get("recording loaded, serial pedal released and read")
    before = sessions.get("recording loaded, serial pedal released, loop of ticks")
    if now and before:
        extra = sum(now[:3]) - sum(before[:3])
        w("")
        w(f"For a typist: with a recording loaded and the pedal at rest the reading costs "
          f"{extra:+.2f} s of processor time per {span:.0f} s against the loop of ticks "
          f"({100 * extra / span:+.1f} % of one core, the program, the wineserver and Xvfb "
          "together); in the 30 s after each change it probes every 5 ms and waits on the line for "
          "each echo, which under Wine costs about 5.7 % of one core for the three together "
          "(a separate run of tools/toolbar-bench.sh with QD_BENCH_SETTLE=2 and "
          "QD_BENCH_SECONDS=25: 0.84 s, 0.54 s and 0.05 s), and without a recording the pedal "
          "is not probed at all. The first "
          "press after a rest shows within one 30 ms probe, still sooner than the loop of ticks.")
else:
    w(f"Idle cost with the wineserver and Xvfb: {missing('idle')}")
w("")
if ("serial", 100) in press_medians:
    med, worst = press_medians[("serial", 100)]
    w(f"For a typist: the recording starts a median {med:.0f} ms (at worst {worst:.0f} ms in this "
      "run) after the foot goes down, whatever the main loop's period.")
    w("")

# --- Repaint ----------------------------------------------------------------------------------
w("## Scroll and slider repaint")
w("")
ctl = {m.group(1).strip(): m.groups()[1:] for m in re.finditer(
    r"^(.+?)\s+steps\s+(\d+)\s+cpu\s+([\d.]+) us/step\s+wall\s+([\d.]+) us/step\s+gdi (-?\d+) -> (-?\d+)",
    log("controls"), re.M)}
w("| Step | Quillodrome's control: CPU / wall per step | Baseline: the plain control | "
  "GDI objects before → after |")
w("|---|---|---|---|")
for label, ours, base, period in [("Caption scroll step (141 × 11 DLU)", "caption scroll step",
                                   "plain static repaint", 50),
                                  ("Position slider repaint (183 × 11 DLU)", "slider repaint",
                                   "plain trackbar repaint", 100)]:
    if ours in ctl and base in ctl:
        o, b = ctl[ours], ctl[base]
        w(f"| {label} | {o[1]} / {o[2]} µs (steps {o[0]}) | {b[1]} / {b[2]} µs ({base}) | "
          f"{o[3]} → {o[4]} |")
    else:
        w(f"| {label} | {missing('controls')} | | |")
w("")
if "caption scroll step" in ctl and "slider repaint" in ctl:
    cap = float(ctl["caption scroll step"][2])
    sld = float(ctl["slider repaint"][2])
    w(f"For a typist: the caption moves every 50 ms and each step costs {cap / 1000:.2f} ms of "
      f"wall time ({100 * cap / 50000:.1f} % of the interval); the position slider moves at most "
      f"once a tick and costs {sld / 1000:.2f} ms; neither keeps GDI objects.")
w("")

# --- Pattern matcher --------------------------------------------------------------------------
w("## Pattern matcher against std::regex and RE2")
w("")
results = {}
try:
    for b in json.loads((bench / "pattern.json").read_text())["benchmarks"]:
        if b.get("run_type", "iteration") == "iteration" and "error_occurred" not in b:
            scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
            results[b["name"]] = (b["real_time"] * scale, b.get("allocs"), b.get("found"))
except (OSError, ValueError, KeyError):
    pass


def ns(v):
    if v is None:
        return "–"
    return f"{v / 1e3:,.1f} µs".replace(",", " ") if v >= 1e3 else f"{v:,.0f} ns".replace(",", " ")


if results:
    w("One search, native (the same source the program compiles), Google Benchmark, wall time. "
      "The three engines get equivalent patterns, case-insensitive, with `.` matching line "
      "breaks. (Google Benchmark's warning that its Debian library was built as debug concerns "
      "the harness, not the code measured.)")
    w("")
    for subject, title in [("header", "A response-header block of 18 lines (719 bytes)"),
                           ("body64k", "A 64 KiB HTML page")]:
        w(f"**{title}**")
        w("")
        w("| Pattern | Ours | std::regex | RE2 | Ours ÷ RE2 (time) | Our allocations per search |")
        w("|---|---|---|---|---|---|")
        for name in dict.fromkeys(n.split("/")[1] for n in results if n.startswith(subject + "/")):
            o = results.get(f"{subject}/{name}/ours", (None, None, None))
            s = results.get(f"{subject}/{name}/std_regex", (None, None, None))
            r = results.get(f"{subject}/{name}/re2", (None, None, None))
            rel = ratio(o[0], r[0]) if o[0] and r[0] else "–"
            allocs = f"{o[1]:.0f}" if o[1] is not None else "–"
            w(f"| `{name}` | {ns(o[0])} | {ns(s[0])} | {ns(r[0])} | {rel} | {allocs} |")
        w("")
    growth = sorted((int(n.split("/")[1][:-1]), n) for n in results
                    if n.startswith("no_end_tag/") and n.endswith("/ours"))
    if growth:
        w("**`</html>` absent: time against body size**")
        w("")
        w("| Body | Ours | RE2 | Ours per KiB |")
        w("|---|---|---|---|")
        for kib, n in growth:
            o = results[n][0]
            r = results.get(n.replace("/ours", "/re2"), (None,))[0]
            w(f"| {kib} KiB | {ns(o)} | {ns(r)} | {ns(o / kib)} |")
        w("")
    hdr = [results[n][0] for n in results if n.startswith("header/") and n.endswith("/ours")]
    if hdr:
        w(f"For a typist: the update check reads a few headers and one page; the slowest header "
          f"search takes {ns(max(hdr))}, so the matcher adds nothing anyone could notice.")
else:
    w(missing("pattern"))
w("")

# --- Download ---------------------------------------------------------------------------------
w("## Download against bare WinHTTP and curl")
w("")
http = log("http")
rows, other, heading = [], [], ""
for text in http.splitlines():
    m = re.match(r"^(.+?):\s+(\w+=.*)$", text.strip())
    if m:
        rows.append((m.group(1), fields(m.group(2))))
    elif re.match(r"^[^=]+:$", text.strip()):
        heading = text.strip()[:-1]
    elif text.strip():
        other.append(text.strip())
if rows:
    w("Each figure line of `tests/tools/http_bench.sh`, as it printed it"
      + (f" ({heading})" if heading else "") + ": the same body from the loopback HTTPS test "
      "server. `curl` runs natively on Linux; the others under Wine. The clients are measured "
      "against bare WinHTTP and curl in the same run.")
    w("")
    w("| Client | Bytes | Seconds | MiB/s | Other figures |")
    w("|---|---|---|---|---|")
    shown = {"bytes", "seconds", "mib_per_s"}
    body = next((f["bytes"] for _, f in rows if "bytes" in f), None)
    for label, f in rows:
        extra = ", ".join(f"{k}={size(v) if 'ws' in k.split('_') and v.isdigit() else v}"
                          for k, v in f.items() if k not in shown)
        nbytes = f.get("bytes", body)
        w(f"| {label} | {size(nbytes) if nbytes and nbytes.isdigit() else '–'} | "
          f"{f.get('seconds', '–')} | {f.get('mib_per_s', '–')} | {extra} |")
    if other:
        w("")
        w("Other output: " + "; ".join(f"`{o}`" for o in other[:10]))
    speeds = {label: float(f["mib_per_s"]) for label, f in rows if "mib_per_s" in f}
    way = next((k for k in speeds if "DownloadToFile" in k), None) or \
        next((k for k in speeds if "Send" in k), None)
    if way and speeds[way] > 0 and "installer" in sizes:
        ms = int(sizes["installer"]) / (1 << 20) / speeds[way] * 1000
        w("")
        w(f"For a typist: this build's installer ({size(sizes['installer']).split(' (')[0]}) "
          f"comes through `{way}` in about {ms:.0f} ms at this speed on loopback; over a real "
          "line the connection, not the client, sets the time.")
if not rows or failed("http"):
    w("")
    w(missing("http"))
w("")

# --- Press to sound ---------------------------------------------------------------------------
w("## Press to sound, release to silence")
w("")
press = {m.group(1): m.group(2) for m in re.finditer(r"^(audio engine|DirectShow): (.*)$",
                                                     log("press"), re.M)}
clock = line("press", r"^audio engine clock at 150 %: (\S+)")
if press and not failed("press"):
    w("| Player | Press to sound, release to silence (medians of eight) |")
    w("|---|---|")
    for name in ("audio engine", "DirectShow"):
        w(f"| {name}{' (baseline)' if name == 'DirectShow' else ''} | {press.get(name, '–')} |")
    w("")
    w("From the player's Play or Pause call to the first or last sound taken by a sink that "
      "drains ALSA's file plugin through a 4 KiB pipe at exactly 48 kHz "
      "(`tests/player/press-latency.sh`); the figures include Wine's mixer and the pipe.")
    w("")
    w("Where the time goes (measured with Wine's `alsa` trace and timestamps in the engine): the "
      "engine's own path from the call to the stream started takes under a millisecond (a press "
      "renders one 30 ms buffer from the audio held in memory); Wine's mixer takes it at its next "
      "10 ms period and hands it to ALSA, whose buffer Wine sets to 1920 frames (40 ms; its trace "
      "says `alsa_write_data avail: 1920`). A paused engine gives its stream up and keeps a fresh "
      "one ready: a stopped stream kept Wine's ALSA buffer full of silence, which the next sound "
      "waited behind (press to sound was 49 ms that way). Release to silence is what Wine had "
      "already handed to ALSA when the pause came: up to that 40 ms buffer, which only Wine "
      "sizes.")
    if clock:
        w(f"The engine's clock at 150 %: {clock.group(1)} times the speed against real time.")
    calls = dict(re.findall(r"^longest call, (engine|dshow): (\S+) ms", log("press"), re.M))
    if "engine" in calls and "dshow" in calls:
        w(f"The longest the caller waited for a press, a release or a release with its step back: "
          f"{calls['engine']} ms with the engine, {calls['dshow']} ms with DirectShow.")
    cpu = re.findall(r"^cpu while playing, (.+): (\S+) % of one core(?: \(wineserver (\S+) %\))?",
                     log("press"), re.M)
    if cpu:
        w("")
        w("| Processor time while playing, over 5 s | The program's process, % of one core | "
          "The wineserver, % of one core |")
        w("|---|---|---|")
        for what, share, server in cpu:
            w(f"| {what} | {share} | {server or '–'} |")
        w("")
        w("Taken while the bench sleeps in its message loop as a program does; Wine's mixer "
          "thread runs in the program's process and counts there.")
else:
    w(missing("press"))
w("")

# --- Switch to sound --------------------------------------------------------------------------
w("## Switch to sound")
w("")
switch = {}
for m in re.finditer(r"^(after 30 s at rest, )?switch (closed to sound|opened to silence)\s+"
                     r"(n=\d+\s+min .*) ms$", log("switch-sound"), re.M):
    switch[(bool(m.group(1)), m.group(2))] = " ".join(m.group(3).split())
if (False, "closed to sound") in switch and not failed("switch-sound"):
    w("| The switch | First sound after it closes, ms | Last sound after it opens, ms |")
    w("|---|---|---|")
    for rest, label in ((False, "pressed within 30 s of the last change"),
                        (True, "pressed after 31 to 32 s at rest")):
        if (rest, "closed to sound") in switch:
            w(f"| {label} | {switch[(rest, 'closed to sound')]} | "
              f"{switch.get((rest, 'opened to silence'), '–')} |")
    before = {m.group(1): " ".join(m.group(2).split()) for m in re.finditer(
        r"^switch (closed to sound|opened to silence)\s+(n=\d+\s+min .*) ms$",
        log("switch-sound-baseline"), re.M)}
    if "closed to sound" in before and not failed("switch-sound-baseline"):
        w(f"| Before: the program before the pedal's reader, read by the loop's ticks, same run | "
          f"{before['closed to sound']} | {before.get('opened to silence', '–')} |")
    w("")
    w("The whole path under a typist's foot: `Quillodrome.exe` with the serial pedal simulator on "
      "COM5 and a steady 440 Hz tone loaded, presses held 0.6 to 1.2 s after pauses of 0.6 to "
      "1.2 s at random, so that they fall at every phase of the toolbar's timer; from the "
      "simulator acknowledging the change to the first (or last) sample above 1 % of full scale "
      "taken by the same paced sink as above, both on the host's raw monotonic clock "
      "(`tests/app/pedal-to-sound.sh`). The pedal's reader posts each change to the window at "
      "once, so the toolbar's 100 ms timer is not on the path. A press counts at the first echo: "
      "its figure is the reader's 5 ms probe, the engine's start and Wine's path to the device; "
      "after 30 s at rest the reader probes every 30 ms, and the rested presses wait up to one "
      "of those probes more. A release counts only once no echo has come for twice the longest "
      "gap between the port's echoes while held (a held switch must not flicker released between "
      "two late echoes; here about 12 to 20 ms), and the pause then still lets play what Wine "
      "had handed to ALSA, up to its 40 ms buffer: the two make most of the release's figure.")
else:
    w(missing("switch-sound"))
w("")

# --- Memory -----------------------------------------------------------------------------------
w("## Peak memory")
w("")
ws = {m.group(1): fields(m.group(2)) for m in re.finditer(r"^working set, (.+?): (.*)$",
                                                        log("toolbar"), re.M)}
ours = next((v for k, v in ws.items() if k.startswith("Quillodrome")), None)
base = ws.get("empty dialog")
w("| Measure | Quillodrome.exe | Baseline: empty dialog | Ratio |")
w("|---|---|---|---|")
if ours and base and "peak_ws" in ours and "peak_ws" in base:
    w(f"| Peak working set | {size(ours['peak_ws'])} | {size(base['peak_ws'])} | "
      f"{ratio(ours['peak_ws'], base['peak_ws'])} |")
    w(f"| Working set at the end | {size(ours['ws'])} | {size(base['ws'])} | "
      f"{ratio(ours['ws'], base['ws'])} |")
    w(f"| Private bytes at the end (anonymous resident + swap) | {size(ours['private'])} | {size(base['private'])} | "
      f"{ratio(ours['private'], base['private'])} |")
    w("")
    w("Read by `toolbar_bench` with `GetProcessMemoryInfo` on the other process, after the "
      "latency presses and ten seconds of continuous playback of the 60-minute MP3 (which the "
      "toolbar plays through the audio engine); under Wine "
      "the peak working set is the Linux process's resident high-water mark (`VmHWM` in "
      "`/proc/PID/status` of the Wine process, read by the wineserver), so it includes Wine's own libraries and "
      "GStreamer's decoder, as the empty dialog's includes Wine's.")
    extra = (int(ours["peak_ws"]) - int(base["peak_ws"])) / (1 << 20)
    w("")
    w(f"For a typist: playing an hour-long recording costs {extra:.0f} MiB more than an empty "
      "window does.")
else:
    w(f"| Peak working set | {missing('toolbar')} | | |")
w("")
players = {m.group(1): fields(m.group(2))
           for m in re.finditer(r"^working set playing, (engine|dshow): (.*)$", log("startup"), re.M)}
if "engine" in players and "dshow" in players:
    e, d = players["engine"], players["dshow"]
    w("| One player alone in a process, playing the 60-minute MP3 for 10 s | Audio engine | "
      "Baseline: DirectShow | Ratio |")
    w("|---|---|---|---|")
    w(f"| Peak working set | {size(e['peak_ws'])} | {size(d['peak_ws'])} | "
      f"{ratio(e['peak_ws'], d['peak_ws'])} |")
    w("")
    w("Read by `player_bench --memory` in its own process for each player (ALSA's null output: "
      "no pacing, so the engine got further into the recording than DirectShow). The engine "
      "keeps 14 s of decoded audio (12 s behind for the step back, 2 s ahead), whatever the "
      "recording's length; the rest of both figures is Wine's and GStreamer's.")
    w("")

# --- Limits -----------------------------------------------------------------------------------
w("## What these figures do not tell")
w("")
w("- They are Wine's figures, not Windows': process start, GDI and WinHTTP are Wine's code on "
  "Linux, and a Windows desktop will give different absolute numbers. The baselines run on the "
  "same run-time, so the ratios are the figures to compare.")
w("- Press to play ends where the program has started the playback graph; the time from there to "
  "sound at the speaker is not measured (Wine mixes into ALSA's null output here).")
w("- The USB pedal's press to play through the real program is not measured: only its poll and "
  "reopen cost, against the fake `Ftd2xx.dll` of the tests; it is read by the same worker as "
  "the serial pedal.")
w("")

output.write_text("\n".join(md).rstrip() + "\n")
