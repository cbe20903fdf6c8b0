#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal, waits for its prompt, types the
answer and Enter, and passes on everything the terminal showed and the
command's exit code.

    answer_prompt.py PROMPT ANSWER COMMAND [ARG...]
"""
import os
import pty
import select
import sys


def main():
    prompt, answer, command = sys.argv[1].encode(), sys.argv[2].encode(), sys.argv[3:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    shown, answered = b"", False
    while True:
        ready, _, _ = select.select([fd], [], [], 20)
        if not ready:
            break
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
        if not answered and prompt in shown:
            os.write(fd, answer + b"\r")
            answered = True
    _, status = os.waitpid(pid, 0)
    sys.stdout.buffer.write(shown)
    sys.exit(os.waitstatus_to_exitcode(status) if answered else 99)


if __name__ == "__main__":
    main()
