"""The results as markdown: one table per payload, ratios to cp of the same
run, and the targets with what was measured against them."""
from typing import Dict, List, Tuple

from contenders import Command
from timing import Measurement

# (payload, what, limit): stub / cp ratios that must stay at or below limit.
COPY_TARGETS = [("big", "wall", 1.3), ("big", "cpu", 1.3),
                ("wide", "wall", 1.3), ("wide", "cpu", 1.3),
                ("example", "wall", 1.5)]
# The stub must be at least this many times faster than the 7-Zip SFX module.
SEVEN_ZIP_SPEEDUP = 2.0
RSS_LIMIT_KIB = 4096


def _ms(seconds: float) -> str:
    return "%.1f" % (seconds * 1000) if seconds < 10 else "%.0f" % (seconds * 1000)


def _mib(kib: float) -> str:
    return "%.2f MiB" % (kib / 1024)


def payload_table(commands: List[Command], results: Dict[str, Measurement]) -> List[str]:
    limit = next(results[c.name] for c in commands if c.role == "cp")
    lines = ["| Command | Wall ms | Wall × cp | CPU ms | CPU × cp | Peak RSS | Note |",
             "|---|--:|--:|--:|--:|--:|---|"]
    for command in commands:
        m = results[command.name]
        name = "**%s**" % command.name if command.role == "stub" else command.name
        lines.append("| %s | %s | %.2f | %s | %.2f | %s | %s |" % (
            name, _ms(m.wall_median), m.wall_median / limit.wall_median, _ms(m.cpu_median),
            m.cpu_median / limit.cpu_median if limit.cpu_median else float("nan"),
            _mib(m.rss_median), command.note))
    return lines


def _role(commands, results, role):
    command = next((c for c in commands if c.role == role), None)
    return results[command.name] if command else None


def _scatter(run) -> float:
    commands, results = run
    samples = _role(commands, results, "stub").rss_kib
    return max(samples) - min(samples)


def target_rows(runs: Dict[str, Tuple[List[Command], Dict[str, Measurement]]]) -> List[str]:
    rows = ["| Target | Measured | Met |", "|---|--:|:-:|"]

    def add(text, value, met):
        rows.append("| %s | %s | %s |" % (text, value, "yes" if met else "**no**"))

    for payload, what, limit in COPY_TARGETS:
        if payload not in runs:
            continue
        commands, results = runs[payload]
        stub, cp = _role(commands, results, "stub"), _role(commands, results, "cp")
        ratio = (stub.wall_median / cp.wall_median if what == "wall"
                 else stub.cpu_median / cp.cpu_median)
        add("%s: sfxstub %s ≤ %.1f× cp" % (payload, "wall" if what == "wall" else "CPU", limit),
            "%.2f×" % ratio, ratio <= limit)
    for payload in ("big", "wide"):
        if payload not in runs:
            continue
        commands, results = runs[payload]
        stub, seven = _role(commands, results, "stub"), _role(commands, results, "7z")
        if seven is not None:
            speedup = seven.wall_median / stub.wall_median
            add("%s: sfxstub ≥ %.0f× faster than 7-Zip SFX" % (payload, SEVEN_ZIP_SPEEDUP),
                "%.2f×" % speedup, speedup >= SEVEN_ZIP_SPEEDUP)
    stub_rss = {payload: _role(c, r, "stub").rss_median for payload, (c, r) in runs.items()}
    for payload, kib in stub_rss.items():
        add("%s: sfxstub peak RSS ≤ 4 MiB" % payload, _mib(kib), kib <= RSS_LIMIT_KIB)
    if "example" in stub_rss and "big" in stub_rss:
        # Linux reads a process's RSS from per-CPU counters, approximately:
        # runs of one and the same command scatter by a few hundred KiB. The
        # two count as the same when they differ by no more than that scatter.
        scatter = max(_scatter(runs["example"]), _scatter(runs["big"]))
        difference = abs(stub_rss["example"] - stub_rss["big"])
        add("sfxstub peak RSS the same for example and big (within the run-to-run "
            "scatter, %.0f KiB)" % scatter,
            "%s / %s" % (_mib(stub_rss["example"]), _mib(stub_rss["big"])), difference <= scatter)
    return rows


def summary_table(payloads, runs) -> List[str]:
    """Wall time as a multiple of cp's, every contender by every payload."""
    shown = [p for p in payloads if p.name in runs]
    lines = ["| Wall time × cp | " + " | ".join(p.name for p in shown) + " |",
             "|---|" + "--:|" * len(shown)]
    for command in runs[shown[0].name][0]:
        cells = []
        for payload in shown:
            commands, results = runs[payload.name]
            limit = _role(commands, results, "cp")
            mine = results.get(command.name)
            cells.append("%.2f" % (mine.wall_median / limit.wall_median) if mine else "–")
        name = "**%s**" % command.name if command.role == "stub" else command.name
        lines.append("| %s | %s |" % (name, " | ".join(cells)))
    return lines


def write(path: str, context: dict, payloads, runs, rounds: Dict[str, Tuple[int, int]]):
    lines = ["# Benchmark results", "",
             "Measured %s with `bench/run.sh`." % context["date"], "",
             "- Machine: %s" % context["machine"],
             "- System: %s; work directory %s" % (context["system"], context["disk"]),
             "- Tools: %s" % context["tools"],
             "- Load average: %s (a shared machine: others may have been "
             "compiling during the run)" % context["load"],
             "",
             "Medians of the measured runs of each command (one warm-up run first), the "
             "commands alternated round by round; CPU is user + system time; peak RSS from "
             "`/usr/bin/time` in runs of its own (for a script, its largest process). "
             "Ratios are to `cp` "
             "of the same run. Every command's output was compared with the payload (`cmp`) "
             "before it was timed. The stub's package is built with `sfxpack --no-setup` "
             "and holds no SETUP.EXE, so its start fails at once and nothing is launched; "
             "the peers start nothing either.", ""]
    for payload in payloads:
        if payload.name not in runs:
            continue
        commands, results = runs[payload.name]
        timed, sized = rounds[payload.name]
        lines += ["## %s: %s" % (payload.name, payload.description), "",
                  "%d timed runs, %d memory runs per command." % (timed, sized), ""]
        lines += payload_table(commands, results) + [""]
    lines += ["## Summary", ""] + summary_table(payloads, runs) + [""]
    lines += ["## Targets", ""] + target_rows(runs) + [""]
    with open(path, "w") as out:
        out.write("\n".join(lines))
