#!/usr/bin/env python3
"""A client of oxlconsole and the sample desktop application: waits for the greeting, sends two
lines, prints the answers, then ends its input and waits for the bridge to exit.

    examples/client.py [BRIDGE COMMAND...]    (default: this checkout's build/oxlconsole, else
                                               oxlconsole from PATH; or e.g. wine64 oxlconsole.exe)
"""
import queue
import re
import shutil
import subprocess
import sys
import threading
import time
from pathlib import Path

GREETING = "OXL desktop application ready"
WAIT = 10  # seconds for the greeting, for each answer and for the end
# Reports are told apart by how they start: a generic one ends with "." but its description from
# Qt may hold full stops of its own, so searching for its end could cut it short.
REPORT_START = ("(?=OXL Server could not be found|OXL Server refused connection"
                "|The following error occurred: )")
USAGE = "usage: client.py [BRIDGE COMMAND...]  (default: build/oxlconsole or oxlconsole on PATH)"


def main():
    built = Path(__file__).resolve().parent.parent / "build" / "oxlconsole"
    command = sys.argv[1:] or [str(built) if built.is_file() else shutil.which("oxlconsole")]
    if command[0] is None:
        return USAGE
    try:
        bridge = subprocess.Popen(command + ["Calyxen"], stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, encoding="utf-8", errors="replace")
    except OSError as error:
        return f"client.py: {command[0]}: {error.strerror}\n{USAGE}"
    pieces = queue.Queue()

    def read():
        # A line is what one read of the bridge brought. The sample's texts carry no line ends,
        # so joining the lines gives its texts back, however the reads cut them.
        for line in bridge.stdout:
            pieces.put(line.rstrip("\n"))
        pieces.put(None)

    reader = threading.Thread(target=read, daemon=True)
    reader.start()
    stream = ""

    def receive(text):
        """What came before the next `text`. Raises queue.Empty after WAIT seconds, EOFError at
        the end of the bridge's output."""
        nonlocal stream
        deadline = time.monotonic() + WAIT
        while text not in stream:
            if (piece := pieces.get(timeout=max(0, deadline - time.monotonic()))) is None:
                raise EOFError
            stream += piece
        before, _, stream = stream.partition(text)
        return before

    waiting = "the greeting"
    try:
        # Until the link is up the bridge writes only reports, and without line ends: all that
        # comes before the greeting is reports. A report after a reconnect is shown as it came.
        receive(GREETING)
        print("connected:", GREETING)
        for line in ["hello", "a second line"]:
            waiting = f"the answer to {line!r}"
            bridge.stdin.write(line + "\n")
            bridge.stdin.flush()
            # The sample's answers have no end of their own: the one awaited is known in full.
            answer = "OXL received: " + line
            if other := receive(answer):
                print("text:", other)
            print("answer:", answer)
        waiting = None
    except (queue.Empty, EOFError, BrokenPipeError) as error:
        failure = f"{WAIT} s passed" if isinstance(error, queue.Empty) else "the bridge exited"
    # The end of input is the clean way out: the bridge delivers the lines it has read, writes
    # what the desktop application still sends for a moment, and exits with status 0. After a
    # failure it is given a moment only, so that the client gives up in bounded time.
    try:
        bridge.stdin.close()
        bridge.wait(timeout=2 if waiting else WAIT)
    except (subprocess.TimeoutExpired, BrokenPipeError):
        bridge.terminate()
    status = bridge.wait()
    reader.join(timeout=2)
    while not pieces.empty():
        stream += pieces.get() or ""
    if waiting:
        last = re.split(REPORT_START, stream)[-1] or "nothing"
        return f"client.py: {failure} before {waiting} came; the bridge last wrote: {last}"
    if stream:
        print("late text:", stream)
    return status


if __name__ == "__main__":
    sys.exit(main())
