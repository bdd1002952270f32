#!/usr/bin/env python3
"""Checks a model kit as an engineer receives it.

check_kit.py <kit folder> <ami_host for 64-bit models> <ami_host for 32-bit models>

The folder must hold one .ibs file and exactly the files its Executable lines
name. `ami_host ibis` checks each Executable line (the library in the folder,
an ELF shared object of the platform's class and machine, exporting AMI_Init,
AMI_GetWave and AMI_Close, its .ami file readable); then the ami_host of each
line's width runs the library with its .ami file.
"""
import pathlib
import subprocess
import sys
import tempfile

PLATFORMS = ("Linux_gcc_32", "Linux_gcc_64")


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


def ibis_check(host, ibs):
    """The problems `ami_host ibis` names, one a line; None when the kit passes."""
    run = subprocess.run([host, "ibis", str(ibs)], capture_output=True, text=True)
    if run.returncode == 0:
        return None
    return run.stderr.strip().splitlines() or [f"ami_host ibis exited with status {run.returncode}"]


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
    broken = ibis_check(hosts["Linux_gcc_64"], ibs)
    if broken:
        problems += broken
    named = {ibs.name}
    for model, direction, platform, library_name, ami_name in lines:
        named |= {library_name, ami_name}
        where = f"{model} {platform}"
        if platform not in PLATFORMS:
            problems.append(f"{where}: unknown platform")
            continue
        if broken:
            continue
        library, ami = kit / library_name, kit / ami_name
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
