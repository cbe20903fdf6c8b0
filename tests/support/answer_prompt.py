#!/usr/bin/env python3
"""Runs a command on a pseudo-terminal, waits for its prompt, types the
answer and Enter, and passes on everything the terminal showed and the
command's exit code.  The command is killed, and this helper fails, when it
has not ended within the time limit.

    answer_prompt.py PROMPT ANSWER COMMAND [ARG...]

Exit codes besides the command's own: 99 when the prompt never came, 98
when the command had to be killed.
"""
import os
import pty
import select
import signal
import sys
import time

TIME_LIMIT = 30  # seconds for the whole run


def main():
    prompt, answer, command = sys.argv[1].encode(), sys.argv[2].encode(), sys.argv[3:]
    pid, fd = pty.fork()
    if pid == 0:
        os.execvp(command[0], command)
    deadline = time.monotonic() + TIME_LIMIT
    shown, answered = b"", False
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        ready, _, _ = select.select([fd], [], [], left)
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
    status = None
    while status is None and time.monotonic() < deadline + 5:
        done, status_code = os.waitpid(pid, os.WNOHANG)
        if done:
            status = status_code
        else:
            time.sleep(0.05)
    sys.stdout.buffer.write(shown)
    if status is None:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        sys.stdout.buffer.write(b"\n[killed after %d s]\n" % TIME_LIMIT)
        sys.exit(98)
    sys.exit(os.waitstatus_to_exitcode(status) if answered else 99)


if __name__ == "__main__":
    main()
