"""Every contender's output is compared byte for byte with the payload once,
before it is timed, so that a fast wrong answer cannot win."""
import os
import subprocess
from typing import List

from contenders import Command
from timing import empty_directory


class WrongOutput(Exception):
    pass


def check_output(command: Command, names: List[str], paths: List[str], out_dir: str):
    empty_directory(out_dir)
    run = subprocess.run(command.argv, cwd=out_dir, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True)
    if run.returncode != 0:
        raise WrongOutput("%s exited with status %d: %s" % (command.name, run.returncode,
                                                            run.stderr.strip()))
    found = sorted(os.listdir(out_dir))
    if found != sorted(names):
        raise WrongOutput("%s wrote %s, expected %s" % (command.name, found, sorted(names)))
    for name, path in zip(names, paths):
        if subprocess.run(["cmp", "-s", path, os.path.join(out_dir, name)]).returncode != 0:
            raise WrongOutput("%s: %s differs from the payload" % (command.name, name))
    empty_directory(out_dir)
