#!/usr/bin/env python3
"""The help of kelvora laid out for help2man, which runs this script in its
place:

    KELVORA_TOOL=path/to/kelvora help2man --help-option=--help-all ... man_help.py

--version is passed through; --help-all's sub-command blocks become one
section per command ("kelvora extract [OPTIONS] CD [PATH...]:") with its
arguments and options as a table, after a table of the commands.
"""
import os
import re
import subprocess
import sys


def run(tool, option):
    return subprocess.run([tool, option], check=True, capture_output=True, text=True).stdout


def relayout(text):
    head, commands, tail = [], [], []
    part = head
    current = None
    for line in text.splitlines():
        if line == "Subcommands:":
            part = commands
            continue
        if part is commands:
            if re.match(r"^[a-z][a-z0-9-]*$", line):
                current = {"name": line, "about": "", "positionals": [], "options": []}
                commands.append(current)
                continue
            if line and not line.startswith(" "):
                part = tail
            elif current is not None:
                stripped = line.strip()
                if stripped in ("Positionals:", "Options:"):
                    current["block"] = stripped
                elif line.startswith("    ") and stripped:
                    key = "positionals" if current.get("block") == "Positionals:" else "options"
                    current[key].append(stripped)
                elif stripped and not current["about"]:
                    current["about"] = stripped
                continue
        if part is tail or part is head:
            part.append(line)

    out = list(head)
    while out and not out[-1]:
        out.pop()
    out += ["", "Commands:"]
    for c in commands:
        out.append(f"  {c['name']:<12}{c['about']}")
    for c in commands:
        args = []
        for p in c["positionals"]:
            words = p.split()
            name = words[0]
            many = "..." in words[:4]
            required = "REQUIRED" in words[:4]
            shown = name + ("..." if many else "")
            args.append(shown if required else f"[{shown}]")
        out += ["", f"kelvora {c['name']} [OPTIONS] {' '.join(args)}:".replace("  ", " "),
                f"  {c['about']}.", ""]
        for entry in c["positionals"]:
            out.append("  " + re.sub(r"^(\S+)(?: TEXT)?(?: \.\.\.)?(?: REQUIRED)?", r"\1", entry))
        for entry in c["options"]:
            out.append("  " + entry)
    out.append("")
    out += tail
    return "\n".join(out).rstrip() + "\n"


def main():
    tool = os.environ["KELVORA_TOOL"]
    option = sys.argv[1] if len(sys.argv) > 1 else "--help-all"
    if option == "--version":
        sys.stdout.write(run(tool, "--version"))
    else:
        sys.stdout.write(relayout(run(tool, "--help-all")))


if __name__ == "__main__":
    main()
