#!/usr/bin/env python3
"""Writes the bash completion of kelvora from its own help.

    make_completion.py KELVORA OUTPUT

The sub-commands and their options are read from `kelvora --help-all`, so
the completion follows every option the tool gains.
"""
import re
import subprocess
import sys

# Options whose value is a directory, or no file at all; every other option
# that takes a value completes file names.
DIRECTORY_OPTIONS = {"-o", "--output", "-d", "--directory"}
PLAIN_OPTIONS = {"--password", "--content-key", "--text", "--codepage", "--font-face",
                 "--font-height", "--text-colour", "--back-colour", "--shadow",
                 "--shadow-offset", "--logo-key", "--viewer-name", "--max-data-file",
                 "--label"}
VALUE_TYPES = {"TEXT", "INT", "UINT", "FLOAT", "NUMBER", "PATH", "FILE", "DIR"}

# "  -d,--directory TEXT   Target...", "  --label TEXT Needs: --iso   Volume..."
OPTION_LINE = re.compile(
    r"^\s+(-\S+(?:\s+(?:[A-Z][A-Z_]*|Needs:|Excludes:|-\S+))*)\s{2,}(.*)$")
CHOICES = re.compile(r"^([a-z][a-z-]*(?:, [a-z][a-z-]*)+)(?: or X,Y)?$")


def parse(help_text):
    """Top-level options, and per sub-command: [(names, takes_value, choices)]."""
    top, commands, current = [], {}, None
    for line in help_text.splitlines():
        if re.match(r"^[a-z][a-z0-9-]*$", line):
            current = commands.setdefault(line, [])
            continue
        match = OPTION_LINE.match(line)
        if not match:
            continue
        words = match.group(1).split()
        names = words[0].split(",")
        takes_value = any(w in VALUE_TYPES for w in words[1:])
        choice = CHOICES.match(match.group(2).strip())
        choices = choice.group(1).split(", ") if choice and takes_value else []
        (top if current is None else current).append((names, takes_value, choices))
    return top, commands


def words(options, want_value=None):
    names = []
    for option_names, takes_value, _ in options:
        if want_value is None or takes_value == want_value:
            names.extend(option_names)
    return " ".join(names)


def script(top, commands):
    out = [
        "# bash completion for kelvora, written by the build from kelvora --help-all.",
        "_kelvora() {",
        '  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}',
        "  local command='' i",
        "  for ((i = 1; i < COMP_CWORD; i++)); do",
        '    case ${COMP_WORDS[i]} in',
        f"      {'|'.join(commands)}) command=${{COMP_WORDS[i]}}; break ;;",
        "    esac",
        "  done",
        "  local options values",
        "  case $command in",
        f"    '') options='{words(top)}'; values='' ;;",
    ]
    for name, options in commands.items():
        out.append(f"    {name}) options='{words(options)}'; values='{words(options, True)}' ;;")
    out += ["  esac", ""]
    # The value of an option.
    out.append('  if [[ -n $command && " $values " == *" $prev "* ]]; then')
    out.append("    case $prev in")
    choice_cases = {}
    for options in commands.values():
        for names, takes_value, choices in options:
            if choices:
                for n in names:
                    choice_cases[n] = choices
    for n, choices in sorted(choice_cases.items()):
        out.append(f"      {n}) COMPREPLY=($(compgen -W '{' '.join(choices)}' -- \"$cur\")) ;;")
    out.append(f"      {'|'.join(sorted(DIRECTORY_OPTIONS))}) COMPREPLY=($(compgen -d -- \"$cur\")) ;;")
    out.append(f"      {'|'.join(sorted(PLAIN_OPTIONS))}) COMPREPLY=() ;;")
    out.append('      *) COMPREPLY=($(compgen -f -- "$cur")) ;;')
    out.append("    esac")
    out.append("    return 0")
    out.append("  fi")
    out += [
        '  if [[ -z $command && $cur != -* ]]; then',
        f"    COMPREPLY=($(compgen -W '{' '.join(commands)}' -- \"$cur\"))",
        '  elif [[ $cur == -* ]]; then',
        '    COMPREPLY=($(compgen -W "$options" -- "$cur"))',
        "  else",
        '    COMPREPLY=($(compgen -f -- "$cur"))',
        "  fi",
        "}",
        "complete -o filenames -F _kelvora kelvora",
        "",
    ]
    return "\n".join(out)


def main():
    tool, output = sys.argv[1], sys.argv[2]
    help_text = subprocess.run([tool, "--help-all"], check=True, capture_output=True,
                               text=True).stdout
    top, commands = parse(help_text)
    if not commands:
        sys.exit(f"make_completion.py: no sub-commands in the help of {tool}")
    with open(output, "w", encoding="utf-8") as f:
        f.write(script(top, commands))


if __name__ == "__main__":
    main()
