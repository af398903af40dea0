"""Timing with hyperfine, the commands alternated round by round, and peak
memory with /usr/bin/time.

hyperfine runs each command of one invocation back to back, so one invocation
per round, one measured run of each command in it, with the order rotated from
round to round: a disturbance on the (shared) machine then spreads over all
commands instead of spoiling one of them. The first round also gives every
command one warm-up run. With a single run per invocation, hyperfine's user
and system times are those of that run, so the CPU medians are medians of runs.
"""
import json
import os
import shlex
import statistics
import subprocess
import tempfile
from dataclasses import dataclass
from typing import Dict, List

from contenders import Command


@dataclass
class Measurement:
    wall: List[float]  # seconds, one per run
    cpu: List[float]   # user + system seconds, one per run
    rss_kib: List[int]  # peak resident set size, one per run

    @property
    def wall_median(self) -> float:
        return statistics.median(self.wall)

    @property
    def cpu_median(self) -> float:
        return statistics.median(self.cpu)

    @property
    def rss_median(self) -> float:
        return statistics.median(self.rss_kib)


def empty_directory_command(directory: str) -> str:
    # sync: the deletes, and anything else dirty, reach the disk before the run,
    # not during it.
    return "sh -c %s" % shlex.quote("find %s -mindepth 1 -delete && sync" % shlex.quote(directory))


def empty_directory(directory: str):
    subprocess.run(["sh", "-c", "find \"$1\" -mindepth 1 -delete && sync", "sh", directory],
                   check=True)


def _rotated(commands: List[Command], round_number: int) -> List[Command]:
    shift = round_number % len(commands)
    return commands[shift:] + commands[:shift]


def time_rounds(commands: List[Command], out_dir: str, rounds: int, progress) -> Dict[str, tuple]:
    """(wall times, cpu times) per command name."""
    wall = {command.name: [] for command in commands}
    cpu = {command.name: [] for command in commands}
    with tempfile.TemporaryDirectory() as scratch:
        export = os.path.join(scratch, "round.json")
        for round_number in range(rounds):
            progress("timing round %d of %d" % (round_number + 1, rounds))
            argv = ["hyperfine", "--shell=none", "--style", "none", "--runs", "1",
                    "--warmup", "1" if round_number == 0 else "0",
                    "--prepare", empty_directory_command(out_dir), "--export-json", export]
            for command in _rotated(commands, round_number):
                argv += ["--command-name", command.name, shlex.join(command.argv)]
            subprocess.run(argv, cwd=out_dir, check=True, stdout=subprocess.DEVNULL)
            with open(export) as results:
                for result in json.load(results)["results"]:
                    wall[result["command"]].append(result["times"][0])
                    cpu[result["command"]].append(result["user"] + result["system"])
    return {name: (wall[name], cpu[name]) for name in wall}


def peak_rss_rounds(commands: List[Command], out_dir: str, rounds: int, progress) -> Dict[str, List[int]]:
    """Peak resident set size in KiB per command name, from /usr/bin/time;
    for a script, the largest of its processes."""
    rss = {command.name: [] for command in commands}
    with tempfile.TemporaryDirectory() as scratch:
        report = os.path.join(scratch, "rss")
        for round_number in range(rounds):
            progress("memory round %d of %d" % (round_number + 1, rounds))
            for command in _rotated(commands, round_number):
                empty_directory(out_dir)
                subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report] + command.argv,
                               cwd=out_dir, check=True, stdout=subprocess.DEVNULL)
                with open(report) as text:
                    rss[command.name].append(int(text.read().split()[-1]))
    return rss


def measure(commands: List[Command], out_dir: str, rounds: int, rss_rounds: int,
            progress) -> Dict[str, Measurement]:
    times = time_rounds(commands, out_dir, rounds, progress)
    rss = peak_rss_rounds(commands, out_dir, rss_rounds, progress)
    empty_directory(out_dir)
    return {name: Measurement(times[name][0], times[name][1], rss[name]) for name in times}
