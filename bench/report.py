#!/usr/bin/env python3
"""Turns the measurements of bench/run into docs/bench.md and docs/bench.png.

usage: report.py WORK DOCS
WORK holds results.tsv (program, N, rep, wall s, CPU s, max RSS KiB, check),
phases.tsv (N, rep, five durations of pidecimals) and machine.tsv (key, value).
"""
import os
import subprocess
import sys
from collections import defaultdict
from statistics import median

LABELS = {
    "pidecimals": "pidecimals",
    "cln": "CLN `pi`",
    "mpfr": "MPFR `mpfr_const_pi`",
    "arb": "Arb `arb_const_pi` (2 threads)",
}
PLOT_LABELS = {"pidecimals": "pidecimals", "cln": "CLN pi", "mpfr": "MPFR",
               "arb": "Arb (2 threads)"}
PHASES = ["stage 1", "stage 2", "composition", "truncation", "decimal recording"]


def rows(path):
    with open(path, encoding="utf-8") as f:
        return [line.rstrip("\n").split("\t") for line in f if line.strip()]


def fmt_n(n):
    exp = len(str(n)) - 1
    return f"10^{exp}" if n == 10 ** exp else str(n)


def seconds(x):
    return f"{x:.3f}" if x < 10 else f"{x:.1f}"


def main():
    work, docs = sys.argv[1], sys.argv[2]
    runs = defaultdict(list)  # (program, N) -> [(wall, cpu, rss KiB, check)]
    order = []
    for prog, n, _rep, wall, cpu, rss, check in rows(os.path.join(work, "results.tsv")):
        key = (prog, int(n))
        if key not in runs:
            order.append(key)
        runs[key].append((float(wall), float(cpu), int(rss), check))
    repeats = max(len(v) for v in runs.values())
    sizes = sorted({n for _, n in order})
    programs = list(dict.fromkeys(p for p, _ in order))

    summary = {}
    for key, rs in runs.items():
        good = [r for r in rs if r[3] == "ok"] or rs
        summary[key] = dict(
            wall=median(r[0] for r in good), cpu=median(r[1] for r in good),
            rss=median(r[2] for r in good),
            check="agree" if all(r[3] == "ok" for r in rs)
            else ", ".join(sorted({r[3] for r in rs if r[3] != "ok"})))

    out = ["# pidecimals against other pi programs", ""]
    out += [
        "Made by `bench/run`"
        + (f" ({repeats} runs of each program for each N, medians shown)." if repeats > 1
           else " (one run of each program for each N)."),
        "Every program computes the first N decimals of pi and writes \"3.\" and the N "
        "decimals to a file; each run starts in an empty folder, under `/usr/bin/time -v`. "
        "Wall time is the elapsed time, CPU time is user + system of all threads, peak is "
        "the maximum resident set size; bytes/digit is that peak divided by N.",
        "",
        "- pidecimals: `pidecimals N`, multithreaded (binary splitting and the largest products on two threads); "
        "besides `pi-N.txt` it writes its raw result and the checkpoints of its two stages, "
        "and for N up to 10^6 it also prints the digits (standard output goes to a file).",
        "- CLN `pi`: Debian's `pi` command, single-threaded; `pi K` prints K significant "
        "digits in lines on standard output, so it is asked for N + 11 and the newlines "
        "are removed and the extra digits cut after the run.",
        "- MPFR: `bench/mpfr_pi.c`, `mpfr_const_pi` then `mpfr_get_str`, single-threaded.",
        "- Arb: `bench/arb_pi.c`, `arb_const_pi`, floor of pi·10^N, `fmpz_get_str`; "
        "FLINT set to 2 threads (`flint_set_num_threads(2)`).",
        "",
        "Digits: every output was compared byte for byte with pidecimals' `pi-N.txt`. "
        "Times below a tenth of a second are mostly start-up and noise.",
        "",
        "| program | N | wall s | CPU s | peak MB | bytes/digit | wall / pidecimals | digits |",
        "| --- | ---: | ---: | ---: | ---: | ---: | ---: | --- |",
    ]
    for n in sizes:
        base = summary.get(("pidecimals", n))
        for prog in programs:
            s = summary.get((prog, n))
            if s is None:
                continue
            ratio = f"{s['wall'] / base['wall']:.2f}" if base and base["wall"] > 0 else "-"
            out.append(
                f"| {LABELS.get(prog, prog)} | {fmt_n(n)} | {seconds(s['wall'])} | "
                f"{seconds(s['cpu'])} | {s['rss'] * 1024 / 1e6:.1f} | "
                f"{s['rss'] * 1024 / n:.1f} | {ratio} | {s['check']} |")

    phases = defaultdict(list)
    for n, _rep, *durations in rows(os.path.join(work, "phases.tsv")):
        phases[int(n)].append([float(d) if d else None for d in durations])
    if phases:
        out += ["", "## pidecimals by phase", "",
                "Durations in seconds as pidecimals prints them (wall clock)"
                + (", medians." if repeats > 1 else ".")
                + " Truncation is the phase \"valeur approchée de pi par défaut\", decimal "
                "recording the phase \"enregistrement décimal\" (conversion to decimal "
                "and writing of `pi-N.txt`).", "",
                "| N | " + " | ".join(PHASES) + " | sum | wall s |",
                "| ---: |" + " ---: |" * (len(PHASES) + 2)]
        for n in sorted(phases):
            cols = []
            for i in range(len(PHASES)):
                vals = [r[i] for r in phases[n] if r[i] is not None]
                cols.append(median(vals) if vals else None)
            total = sum(c for c in cols if c is not None)
            wall = summary.get(("pidecimals", n), {}).get("wall")
            out.append(f"| {fmt_n(n)} | "
                       + " | ".join("-" if c is None else seconds(c) for c in cols)
                       + f" | {seconds(total)} | {seconds(wall) if wall else '-'} |")

    out += ["", "## Machine", "", "| | |", "| --- | --- |"]
    out += [f"| {k} | {v} |" for k, v in rows(os.path.join(work, "machine.tsv"))]
    out += ["", "![wall time against N, log-log](bench.png)", ""]
    # Runs too long for this script are recorded by hand and kept across its reruns.
    longer = os.path.join(docs, "bench-long.md")
    if os.path.exists(longer):
        with open(longer, encoding="utf-8") as f:
            out += [f.read().rstrip("\n"), ""]
    with open(os.path.join(docs, "bench.md"), "w", encoding="utf-8") as f:
        f.write("\n".join(out))

    plot(work, docs, programs, sizes, summary)


def plot(work, docs, programs, sizes, summary):
    # Only runs whose digits agree are drawn; a program without any is left out.
    points = {p: [(n, summary[(p, n)]["wall"]) for n in sizes
                  if summary.get((p, n), {}).get("check") == "agree"] for p in programs}
    programs = [p for p in programs if points[p]]
    data = os.path.join(work, "plot.dat")
    with open(data, "w") as f:
        for prog in programs:  # one gnuplot data block per program
            f.write(f"# {prog}\n")
            f.writelines(f"{n} {wall}\n" for n, wall in points[prog])
            f.write("\n\n")
    curves = ", ".join(
        f"'{data}' index {i} using 1:2 with linespoints lw 2 pt 7 "
        f"title '{PLOT_LABELS.get(p, p)}'" for i, p in enumerate(programs))
    script = f"""
set terminal pngcairo size 900,600 font ',11'
set output '{os.path.join(docs, "bench.png")}'
set logscale xy
set format x '10^{{%L}}'
set xlabel 'decimals N'
set ylabel 'wall time (s)'
set title 'Wall time to compute and write N decimals of pi'
set grid
set key top left
set xrange [{min(sizes) / 2}:{max(sizes) * 2}]
plot {curves}
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


if __name__ == "__main__":
    main()
