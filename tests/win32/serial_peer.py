#!/usr/bin/env python3
"""The machine at the other end of the line for the Wine tests: owns a pseudo-terminal pair whose
slave Wine opens as a COM port, and carries out the steps the driver asks for in files.

serial_peer.py DIR: writes DIR/pty-name, then serves DIR/cmd-N (N = 1, 2, ...) one after the
other and answers each with DIR/done-N. Steps:
  collect NAME      wait for the byte 3; DIR/NAME.bin gets what came before it, DIR/NAME.gap the
                    silence before the 3 in milliseconds
  send FILE         write the file, then the byte 3
  hold / release    stop and resume reading (the program's writes then back up)
  drain NAME MS     after MS ms, DIR/NAME.bin gets everything that came since the last step
  xoff-hold N MS    once N bytes are in, XOFF; after MS ms in which nothing may come, XON; then
                    the byte 3 must follow
  xoff-after N      once N bytes are in, XOFF
  xon               XON
  quit
"""
import os
import sys
import threading
import time
import tty

DEADLINE = 60.0


def main():
    place = sys.argv[1]
    master, slave = os.openpty()
    tty.setraw(slave)
    name = os.ttyname(slave)
    with open(os.path.join(place, "pty-name.new"), "w") as out:
        out.write(name)
    os.rename(os.path.join(place, "pty-name.new"), os.path.join(place, "pty-name"))

    received = bytearray()
    stamps = []  # arrival time of each byte
    lock = threading.Condition()
    reading = threading.Event()
    reading.set()
    stop = threading.Event()

    def reader():
        while not stop.is_set():
            reading.wait()
            try:
                chunk = os.read(master, 4096)
            except OSError:
                time.sleep(0.01)  # no opener of the slave just now
                continue
            now = time.monotonic()
            with lock:
                received.extend(chunk)
                stamps.extend([now] * len(chunk))
                lock.notify_all()

    threading.Thread(target=reader, daemon=True).start()
    start = 0
    step = 1
    deadline = time.monotonic() + 600
    while time.monotonic() < deadline:
        command_path = os.path.join(place, "cmd-%d" % step)
        if not os.path.exists(command_path):
            time.sleep(0.02)
            continue
        with open(command_path) as command_file:
            words = command_file.read().split()
        if not words:  # still being written
            time.sleep(0.02)
            continue
        answer = "ok"
        if words[0] == "collect":
            with lock:
                lock.wait_for(lambda: 3 in received[start:], DEADLINE)
                end = received.find(3, start)
                if end < 0:
                    answer = "no byte 3"
                else:
                    with open(os.path.join(place, words[1] + ".bin"), "wb") as out:
                        out.write(received[start:end])
                    gap = (stamps[end] - stamps[end - 1]) * 1000 if end > start else 0
                    with open(os.path.join(place, words[1] + ".gap"), "w") as out:
                        out.write("%d" % gap)
                    start = end + 1
        elif words[0] == "send":
            with open(words[1], "rb") as data:
                os.write(master, data.read() + b"\x03")
        elif words[0] == "hold":
            reading.clear()
        elif words[0] == "release":
            reading.set()
        elif words[0] == "drain":
            time.sleep(int(words[2]) / 1000.0)
            with lock:
                with open(os.path.join(place, words[1] + ".bin"), "wb") as out:
                    out.write(received[start:])
                start = len(received)
        elif words[0] in ("xoff-hold", "xoff-after"):
            count = int(words[1])
            with lock:
                if not lock.wait_for(lambda: len(received) >= start + count, DEADLINE):
                    answer = "the data did not come"
            if answer == "ok":
                os.write(master, b"\x13")
                start += count
            if answer == "ok" and words[0] == "xoff-hold":
                time.sleep(int(words[2]) / 1000.0)
                with lock:
                    if len(received) > start:
                        answer = "sent during the hold"
                os.write(master, b"\x11")
                with lock:
                    if not lock.wait_for(lambda: len(received) > start, DEADLINE):
                        answer = "no byte 3 after XON"
                    elif received[start:] != b"\x03":
                        answer = "not the byte 3 alone after XON"
                    start = len(received)
        elif words[0] == "xon":
            os.write(master, b"\x11")
        elif words[0] == "quit":
            break
        with open(os.path.join(place, "done-%d.new" % step), "w") as out:
            out.write(answer)
        os.rename(os.path.join(place, "done-%d.new" % step), os.path.join(place, "done-%d" % step))
        step += 1
    stop.set()


if __name__ == "__main__":
    main()
