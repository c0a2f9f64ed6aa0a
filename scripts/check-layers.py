#!/usr/bin/env python3
"""Layering check: every C++ file includes project headers only from its own
folder and the folders its layer may use, and no Qt header is included below the
UI. Layers, top to bottom:

    UI      app, mainwindow, about, controls, platform/qt   (Qt)
    core    localization -> discovery                       (no Qt)
    bottom  platform, text                                  (no Qt)

Project headers are included as "folder/file.h" from the repository root; a bare
"file.h" is a header of the same folder (or a generated one). tests/ and bench/
may use every layer. The operating system's own headers (POSIX and Linux:
<unistd.h>, <sys/...>, <netinet/...>, ...) are included only in platform/, in the
device simulator (a test tool that builds network namespaces) and in the few
program files named in SYSTEM_ALLOWED_FILES, each for a reason given there:
everything else reaches the system through platform/. Exits 1 and names each
offending line.
"""
import re
import subprocess
import sys
from pathlib import Path

# Folder -> folders it may include besides itself, and whether it may include Qt.
LAYERS = {
    "app":             (["mainwindow", "about", "controls", "platform/qt",
                         "localization", "discovery", "platform", "text"], True),
    "mainwindow":      (["about", "controls", "platform/qt",
                         "localization", "discovery", "platform", "text"], True),
    "about":           (["controls", "platform/qt",
                         "localization", "discovery", "platform", "text"], True),
    "controls":        (["platform/qt", "localization", "discovery", "platform", "text"], True),
    "platform/qt":     (["platform", "text"], True),
    # Texts describe device records, so localization reads discovery's types;
    # discovery never reads localization.
    "localization":    (["discovery", "platform", "text"], False),
    "discovery":       (["platform", "text"], False),
    "platform":        (["text"], False),
    "text":            ([], False),
    # Programs: the command-line finder and the device simulator are core-only.
    "tools/cli":       (["localization", "discovery", "platform", "text"], False),
    "tools/devicesim": (["localization", "discovery", "platform", "text"], False),
    "tools/skingen":   ([], True),
}
UNCHECKED = ("tests/", "bench/")
SOURCE = re.compile(r"\.(cpp|cc|h|hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Qt\w*/|Q[A-Z]\w*$|q\w+\.h$)")
# Headers of the system rather than of the C or C++ standard library.
SYSTEM_HEADER = re.compile(
    r"^(sys/|netinet/|arpa/|linux/|net/|asm/|bits/|"
    r"(unistd|fcntl|ifaddrs|poll|dirent|signal|pthread|netdb|grp|pwd|dlfcn|sched|"
    r"termios|spawn|syslog|semaphore|mqueue|utmp|glob|wordexp|libgen|fnmatch|"
    r"err|error|features|endian|byteswap|malloc|alloca|execinfo|link|elf)\.h$)")
SYSTEM_ALLOWED = ("platform", "platform/qt", "tools/devicesim")
# Files outside those folders that must reach the system themselves.
SYSTEM_ALLOWED_FILES = {
    # A process's own signal mask and handlers, and its standard descriptors.
    "tools/cli/main.cpp",
    # The watch and export rounds of the same program: its signal mask and stdout.
    "tools/cli/monitor_run.cpp",
    # Writes stdout itself, so that EPIPE, a full disk and an interrupt are reported.
    "tools/cli/cli_output.cpp",
}


def folder_of(path: str) -> str | None:
    """The longest layer folder that holds `path` (a file or an include path)."""
    best = None
    for folder in LAYERS:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def main() -> int:
    root = Path(__file__).resolve().parent.parent
    files = subprocess.run(
        ["git", "ls-files", "--cached", "--others", "--exclude-standard"],
        cwd=root, check=True, capture_output=True, text=True).stdout.split("\n")
    problems = []
    checked = 0
    for name in files:
        if not SOURCE.search(name) or name.startswith(UNCHECKED) or not (root / name).is_file():
            continue
        own = folder_of(name)
        if own is None:
            problems.append(f"{name}: folder not in the layer table of scripts/check-layers.py")
            continue
        allowed, qt_allowed = LAYERS[own]
        checked += 1
        text = (root / name).read_text(encoding="utf-8", errors="replace")
        for number, line in enumerate(text.split("\n"), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quote, target = match.groups()
            if quote == "<":
                if QT_HEADER.match(target) and not qt_allowed:
                    problems.append(f"{name}:{number}: Qt header <{target}> below the UI ({own})")
                if (SYSTEM_HEADER.match(target) and own not in SYSTEM_ALLOWED
                        and name not in SYSTEM_ALLOWED_FILES):
                    problems.append(f"{name}:{number}: system header <{target}> outside "
                                    f"platform/ ({own}): reach the system through platform/")
                continue
            if "/" not in target:
                continue  # same folder, or generated
            to = folder_of(target)
            if to is None:
                problems.append(f"{name}:{number}: \"{target}\" is not in a layer folder")
            elif to != own and to not in allowed:
                problems.append(f"{name}:{number}: {own} may not include {to} (\"{target}\")")
    for p in problems:
        print(p, file=sys.stderr)
    if problems:
        print(f"layering: {len(problems)} problem(s)", file=sys.stderr)
        return 1
    print(f"layering: {checked} files include only downward, no Qt below the UI, "
          "no system header outside platform/ and the files allowed one")
    return 0


if __name__ == "__main__":
    sys.exit(main())
