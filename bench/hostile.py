#!/usr/bin/env python3
"""What hostile request text costs the server: CPU per trickled byte, and peak memory under
many clients that send a long request line without a target.

Usage (as root, from the project folder, after a build):  python3 bench/hostile.py [BINARY]
"""
import os, socket, subprocess, sys, tempfile, time

binary = sys.argv[1] if len(sys.argv) > 1 else "build/orvane-light"
site = tempfile.mkdtemp()
os.makedirs(site + "/docs")
open(site + "/docs/index.html", "w").write("hello")
port = 18181
open(site + "/server.cfg", "w").write("[Server]\nPort=%d\nMaxConnect=500\n" % port)
server = subprocess.Popen([binary, "--headless", "--app-dir", site], stdout=subprocess.DEVNULL)
time.sleep(0.5)


def cpu_seconds():
    total = 0
    for task in os.listdir("/proc/%d/task" % server.pid):
        total += int(open("/proc/%d/task/%s/schedstat" % (server.pid, task)).read().split()[0])
    return total / 1e9


def status(key):
    for line in open("/proc/%d/status" % server.pid):
        if line.startswith(key):
            return int(line.split()[1]) / 1024
    return 0


try:
    # One client at a time: "GET" and a run of spaces, then a space every 2 ms for 4 s (under the
    # 8 KiB cap). The cost per byte must not grow with the text already held.
    for prefix in (100, 6000):
        s = socket.create_connection(("127.0.0.1", port))
        s.sendall(b"GET" + b" " * prefix)
        time.sleep(0.2)
        before = cpu_seconds()
        sent = 0
        end = time.time() + 4
        while time.time() < end:
            try:
                s.send(b" ")
            except OSError:
                break
            sent += 1
            time.sleep(0.002)
        used = cpu_seconds() - before
        s.close()
        print("trickle after %5d bytes: %d bytes, server CPU %.1f us per byte (with its wake-up)"
              % (prefix, sent, used * 1e6 / max(sent, 1)))

    # 300 clients, each "GET" and 1 MiB of spaces without a line end.
    idle = status("VmRSS:")
    clients = []
    for _ in range(300):
        c = socket.create_connection(("127.0.0.1", port))
        c.setblocking(False)
        clients.append(c)
    chunk = b"GET" + b" " * (1 << 20)
    for c in clients:
        try:
            c.send(chunk)
        except OSError:
            pass
    time.sleep(1)
    closed = 0
    for c in clients:
        try:
            closed += c.recv(1) == b""
        except OSError as e:
            closed += not isinstance(e, BlockingIOError)
        c.close()
    print("300 clients x 1 MiB without a target: %d closed by the server; RSS idle %.1f MB, "
          "peak %.1f MB" % (closed, idle, status("VmHWM:")))
finally:
    server.terminate()
    server.wait()
