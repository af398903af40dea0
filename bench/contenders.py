"""What is timed: our stub, the two copies that bound it, and the peer
self-extractors in store mode. Each contender builds its package (if any) for
a payload and gives the command line that extracts it into the current
directory."""
import os
import shutil
import stat
import subprocess
from dataclasses import dataclass
from typing import List, Optional

# Where Debian's p7zip-full puts the console SFX module (and where other
# packagings of 7-Zip do).
SEVEN_ZIP_SFX_CANDIDATES = ["/usr/lib/p7zip/7zCon.sfx", "/usr/lib/7zip/7zCon.sfx",
                            "/usr/libexec/p7zip/7zCon.sfx"]


@dataclass
class Command:
    name: str
    argv: List[str]  # run with the output directory as current directory
    inputs: List[str]  # the files it reads
    note: str = ""
    # "stub", "cp" (the limit every ratio is taken to), "7z" (the peer of the
    # speed target) or "other"
    role: str = "other"


def _run(argv, **kwargs):
    subprocess.run(argv, check=True, stdout=subprocess.DEVNULL, **kwargs)


def _make_executable(path):
    os.chmod(path, os.stat(path).st_mode | stat.S_IXUSR | stat.S_IXGRP | stat.S_IXOTH)


def seven_zip_sfx() -> Optional[str]:
    if shutil.which("7z") is None:
        return None
    return next((path for path in SEVEN_ZIP_SFX_CANDIDATES if os.path.isfile(path)), None)


def stub_package(packer, stub, names, paths, package, options=(), name="sfxstub",
                 note="our stub, checking the integrity record", role="stub") -> Command:
    items = ["%s=%s" % (name, path) for name, path in zip(names, paths)]
    _run([packer, "create", "-o", package, "--stub", stub, "--no-setup"] + list(options) + items)
    return Command(name, [package], [package], note, role=role)


def copies(paths) -> List[Command]:
    return [
        Command("cp", ["cp"] + paths + ["."], paths, "in-kernel copy (copy_file_range)",
                role="cp"),
        Command("cp --reflink=never", ["cp", "--reflink=never"] + paths + ["."], paths,
                "plain read/write"),
    ]


def makeself_package(source_dir, package) -> Optional[Command]:
    if shutil.which("makeself") is None:
        return None
    # The startup command is never run: --noexec at extraction.
    _run(["makeself", "--nocomp", "--nox11", "--quiet", source_dir, package, "bench payload", "true"])
    return Command("makeself --nocomp", [package, "--noexec", "--target", ".", "--quiet"],
                   [package], "checks its MD5 and CRC (its default)")


def seven_zip_package(paths, package) -> Optional[Command]:
    module = seven_zip_sfx()
    if module is None:
        return None
    _run(["7z", "a", "-mx0", "-bd", "-sfx" + module, package] + paths)
    _make_executable(package)
    return Command("7-Zip SFX (7zCon.sfx, -mx0)", [package, "-y"], [package],
                   "checks CRC32 per file", role="7z")


def unzipsfx_package(paths, package) -> Optional[Command]:
    module = shutil.which("unzipsfx")
    if module is None or shutil.which("zip") is None:
        return None
    archive = package + ".zip"
    _run(["zip", "-0", "-j", "-q", archive] + paths)
    with open(package, "wb") as out:
        for part in (module, archive):
            with open(part, "rb") as source:
                shutil.copyfileobj(source, out, 1 << 20)
    os.remove(archive)
    # Shift the zip's offsets past the prepended module.
    _run(["zip", "-A", "-q", package])
    _make_executable(package)
    return Command("unzipsfx (zip -0)", [package, "-q"], [package], "checks CRC32 per file")


def all_contenders(packer, stub, names, paths, source_dir, package_dir,
                   baseline=None) -> List[Command]:
    """Builds every package; a peer whose tools are missing is left out.
    `baseline`, a folder with an earlier build's sfxstub and sfxpack, adds
    that build, timed side by side with this one."""
    os.makedirs(package_dir, exist_ok=True)
    base = os.path.join(package_dir, "package")
    found = [stub_package(packer, stub, names, paths, base + ".sfxstub")]
    # The same stub on a package without the record: what the checksums cost.
    found.append(stub_package(packer, stub, names, paths, base + ".plain.sfxstub",
                              ["--no-integrity"], "sfxstub --no-integrity",
                              "our stub, plain layout: no checksums", "other"))
    if baseline:
        found.append(stub_package(os.path.join(baseline, "sfxpack"),
                                  os.path.join(baseline, "sfxstub"), names, paths,
                                  base + ".baseline.sfxstub", [], "sfxstub (baseline build)",
                                  "the build given with --baseline", "other"))
    found += copies(paths)
    found += [makeself_package(source_dir, base + ".run"),
              seven_zip_package(paths, base + ".7z.sfx"),
              unzipsfx_package(paths, base + ".zip.sfx")]
    return [command for command in found if command is not None]
