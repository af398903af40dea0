"""Where and with what the benchmark ran, for the report."""
import os
import platform
import subprocess
import time


def _first_line(argv) -> str:
    try:
        run = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    except OSError:
        return "not found"
    lines = [line.strip() for line in run.stdout.splitlines() if line.strip()]
    return lines[0] if lines else "unknown"


def _cpu_model() -> str:
    with open("/proc/cpuinfo") as info:
        for line in info:
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    return platform.machine()


def _memory_gib() -> float:
    with open("/proc/meminfo") as info:
        for line in info:
            if line.startswith("MemTotal:"):
                return int(line.split()[1]) / (1 << 20)
    return 0.0


def _os_name() -> str:
    try:
        with open("/etc/os-release") as release:
            for line in release:
                if line.startswith("PRETTY_NAME="):
                    return line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    return platform.system()


def filesystem(directory: str) -> str:
    return _first_line(["findmnt", "-n", "-o", "FSTYPE", "-T", directory])


def describe(work_dir: str) -> dict:
    return {
        "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
        "machine": "%s, %d cores, %.0f GiB RAM" % (_cpu_model(), os.cpu_count() or 0, _memory_gib()),
        "system": "%s, Linux %s" % (_os_name(), platform.release()),
        "disk": "%s (%s)" % (work_dir, filesystem(work_dir)),
        "load": "%.2f" % os.getloadavg()[0],
        "tools": "; ".join([
            _first_line(["c++", "--version"]),
            _first_line(["hyperfine", "--version"]),
            _first_line(["cp", "--version"]),
            _first_line(["makeself", "--version"]),
            _first_line(["7z", "i"]).split(":")[0],
            _first_line(["unzipsfx", "-v"]).split(",")[0],
        ]),
    }
