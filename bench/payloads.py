"""The benchmark's payloads and their generation.

Every byte comes from /dev/urandom, so nothing in the comparison can win by
compressing: all packages are built in store mode and move the same bytes.
"""
import os
from dataclasses import dataclass
from typing import List, Tuple

MiB = 1 << 20
GiB = 1 << 30

# The ten files of the worked example. Its second file is the setup program;
# here it is called SETUP.DAT and the package is built with --no-setup, so the
# stub's start of SETUP.EXE finds nothing and fails at once, silently. The
# timings are then of extraction alone, as for the peers, which start nothing.
EXAMPLE_SIZES = [147449, 47616, 956, 29, 306666, 8192, 10752, 192781, 2317374, 5]


@dataclass
class Payload:
    name: str
    description: str
    files: List[Tuple[str, int]]  # (file name, size in bytes), in package order

    @property
    def total_bytes(self) -> int:
        return sum(size for _, size in self.files)


def _example() -> Payload:
    names = ["FILE%02d.BIN" % number for number in range(1, 11)]
    names[1] = "SETUP.DAT"
    return Payload("example", "the worked example: ten files, 3.0 MiB",
                   list(zip(names, EXAMPLE_SIZES)))


def all_payloads(quick: bool) -> List[Payload]:
    """example, big and wide; with quick, big and wide are cut to 1/16 for a
    fast trial of the harness (never for published numbers)."""
    scale = 16 if quick else 1
    big = GiB // scale
    wide = 64 * MiB // scale
    return [
        _example(),
        Payload("big", "one file of %d MiB" % (big // MiB), [("BIG.BIN", big)]),
        Payload("wide", "twelve files of %d MiB" % (wide // MiB),
                [("WIDE%02d.BIN" % number, wide) for number in range(1, 13)]),
    ]


def generate(payload: Payload, directory: str) -> List[str]:
    """Writes the payload's files into directory; returns their paths in order."""
    os.makedirs(directory, exist_ok=True)
    paths = []
    with open("/dev/urandom", "rb") as random:
        for name, size in payload.files:
            path = os.path.join(directory, name)
            with open(path, "wb") as out:
                left = size
                while left:
                    block = random.read(min(left, 4 * MiB))
                    out.write(block)
                    left -= len(block)
            paths.append(path)
    return paths
