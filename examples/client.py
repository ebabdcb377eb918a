#!/usr/bin/env python3
"""A client of oxlconsole: waits until the desktop application is reached, sends two lines,
prints the answers, then ends its input and waits for the bridge to exit.

    examples/client.py [BRIDGE COMMAND...]    (default: oxlconsole; for example wine64 oxlconsole.exe)
"""
import queue
import re
import subprocess
import sys
import threading

# Reports of failed connection attempts carry no line end: they run into each other and into
# the start of the next text.
REPORTS = re.compile(r"OXL Server could not be found|OXL Server refused connection"
                     r"|The following error occurred: [^.]*\.")


def main():
    command = (sys.argv[1:] or ["oxlconsole"]) + ["Calyxen"]
    bridge = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              encoding="utf-8", errors="replace")
    lines = queue.Queue()

    def read():
        # A line is what one read of the bridge brought: one text, or several joined.
        for line in bridge.stdout:
            lines.put(line.rstrip("\n"))
        lines.put(None)

    threading.Thread(target=read, daemon=True).start()

    def next_text():
        """The next text without reports, None once the bridge has exited."""
        while (line := lines.get(timeout=60)) is not None:
            if text := REPORTS.sub("", line):
                return text
        return None

    # Lines written before the link is up are dropped: wait for the desktop application's first
    # text (the sample desktop application greets each connection).
    greeting = next_text()
    if greeting is None:
        return "the bridge exited before the desktop application answered"
    print("connected:", greeting)
    for line in ["hello", "a second line"]:
        bridge.stdin.write(line + "\n")
        bridge.stdin.flush()
        print("answer:", next_text())
    # The end of input is the clean way out: the bridge delivers the lines it has read, writes
    # what the desktop application still sends for a moment, and exits with status 0.
    bridge.stdin.close()
    while (text := next_text()) is not None:
        print("late text:", text)
    return bridge.wait()


if __name__ == "__main__":
    sys.exit(main())
