#!/usr/bin/env python3
"""Checks a model kit as an engineer receives it.

check_kit.py <kit folder> <ami_host for 64-bit models> <ami_host for 32-bit models>

The folder must hold one .ibs file and exactly the files its Executable lines
name. For each Executable line: the library is in the folder, is an ELF shared
object of the platform's class and machine, exports AMI_Init, AMI_GetWave and
AMI_Close, and the ami_host of that width runs it with the .ami file named
beside it (so that file parses).
"""
import pathlib
import subprocess
import sys
import tempfile

ENTRY_POINTS = {"AMI_Init", "AMI_GetWave", "AMI_Close"}
# ELF class (1: 32-bit, 2: 64-bit) and machine (3: i386, 62: x86-64) by platform.
PLATFORMS = {"Linux_gcc_32": (1, 3), "Linux_gcc_64": (2, 62)}


def executables(ibs_text):
    """(model, direction, platform, library, ami) for each Executable line."""
    found, model, direction = [], None, None
    for line in ibs_text.splitlines():
        words = line.split("|")[0].split()
        if not words:
            continue
        if words[0].lower() == "[model]" and len(words) > 1:
            model, direction = words[1], None
        elif words[0].lower() == "model_type" and len(words) > 1:
            direction = "tx" if words[1].lower() == "output" else "rx"
        elif words[0].lower() == "executable" and len(words) >= 4:
            found.append((model, direction, words[1], words[2], words[3]))
    return found


def elf_class_and_machine(path):
    header = path.read_bytes()[:20]
    if header[:4] != b"\x7fELF":
        return None
    return header[4], int.from_bytes(header[18:20], "little")


def exported(path):
    out = subprocess.run(["nm", "-D", "--defined-only", str(path)], check=True, capture_output=True, text=True).stdout
    return {line.split()[-1].split("@")[0] for line in out.splitlines() if line.strip()}


def runs_in_host(host, direction, library, ami):
    """True or False with the host's output; None when this machine cannot run the host."""
    other = "rx" if direction == "tx" else "tx"
    with tempfile.TemporaryDirectory() as out:
        command = [host, f"--{direction}-model", str(library), f"--{direction}-ami", str(ami),
                   f"--{other}-model", "none", "--statistical-only", "--no-plots", "--out", out]
        try:
            run = subprocess.run(command, capture_output=True, text=True)
        except OSError as error:  # e.g. a kernel that runs no 32-bit programs
            return None, str(error)
    return run.returncode == 0, (run.stdout + run.stderr).strip()


def check(kit, hosts):
    problems = []
    ibs_files = sorted(kit.glob("*.ibs"))
    if len(ibs_files) != 1:
        return [f"{kit}: {len(ibs_files)} .ibs files, expected one"]
    ibs = ibs_files[0]
    lines = executables(ibs.read_text())
    if not lines:
        problems.append(f"{ibs.name}: no Executable lines")
    named = {ibs.name}
    for model, direction, platform, library_name, ami_name in lines:
        named |= {library_name, ami_name}
        where = f"{model} {platform}"
        library, ami = kit / library_name, kit / ami_name
        missing = [p.name for p in (library, ami) if not p.is_file()]
        if missing:
            problems.append(f"{where}: not in the kit: {' '.join(missing)}")
            continue
        if platform not in PLATFORMS:
            problems.append(f"{where}: unknown platform")
            continue
        if elf_class_and_machine(library) != PLATFORMS[platform]:
            problems.append(f"{where}: {library_name} is not a {platform} ELF library")
            continue
        lacking = ENTRY_POINTS - exported(library)
        if lacking:
            problems.append(f"{where}: {library_name} does not export {' '.join(sorted(lacking))}")
        ok, output = runs_in_host(hosts[platform], direction, library, ami)
        if ok is None:
            print(f"{where}: {library_name} with {ami_name}: not run, this machine cannot run {hosts[platform]}"
                  f" ({output})")
        elif not ok:
            problems.append(f"{where}: ami_host does not run {library_name} with {ami_name}: {output}")
        else:
            print(f"{where}: {library_name} with {ami_name}: ok")
    extra = sorted(p.name for p in kit.iterdir() if p.name not in named)
    if extra:
        problems.append(f"not named by {ibs.name}: {' '.join(extra)}")
    return problems


def main(argv):
    if len(argv) != 4:
        print(__doc__, file=sys.stderr)
        return 2
    problems = check(pathlib.Path(argv[1]), {"Linux_gcc_64": argv[2], "Linux_gcc_32": argv[3]})
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
