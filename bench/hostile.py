#!/usr/bin/env python3
"""What hostile clients cost the server: CPU per trickled byte, and peak memory under many
clients that send a long request line without a target; how long an unrelated page waits while
clients stall their forms or flood the scripts; and memory and small-page latency while many
clients read a large page with tags.

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


def start(config, files):
    folder = tempfile.mkdtemp()
    os.makedirs(folder + "/docs")
    for name, text in files.items():
        with open(folder + "/" + name, "wb") as f:
            f.write(text)
    if "qmx.exe" in files:
        os.chmod(folder + "/qmx.exe", 0o755)
    open(folder + "/server.cfg", "w").write("[Server]\nPort=%d\n%s" % (port, config))
    started = subprocess.Popen([binary, "--headless", "--app-dir", folder],
                               stdout=subprocess.DEVNULL)
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port)).close()
            break
        except OSError:
            time.sleep(0.05)
    return started


def fetch_time(path="/index.html"):
    began = time.time()
    s = socket.create_connection(("127.0.0.1", port))
    s.sendall(b"GET " + path.encode() + b" HTTP/1.0\r\n\r\n")
    while s.recv(65536):
        pass
    s.close()
    return time.time() - began


def peak_rss(pid):
    for line in open("/proc/%d/status" % pid):
        if line.startswith("VmHWM:"):
            return int(line.split()[1]) / 1024
    return 0


script = b"#!/bin/sh\ncd \"$(dirname \"$0\")\"\nsleep 3\nprintf ok > \"$(echo \"$1\" | cut -d'|' -f2).qms\"\n"
server = start("MaxConnect=2\n", {"docs/index.html": b"hello", "docs/greet.qmx": b"x",
                                   "qmx.exe": script})
try:
    # 50 clients announce a form and send nothing more, with MaxConnect 2.
    stalled = []
    for _ in range(50):
        c = socket.create_connection(("127.0.0.1", port))
        c.sendall(b"POST /greet.qmx HTTP/1.0\r\nContent-Length: 100\r\n\r\n")
        stalled.append(c)
    time.sleep(0.3)
    print("50 stalled forms, MaxConnect 2: an unrelated GET took %.3f s" % fetch_time())
    for c in stalled:
        c.close()
    # 1,500 script requests sent and closed at once, then 60 to a script that takes 3 s.
    for count, linger in ((1500, False), (60, True)):
        flood = []
        for _ in range(count):
            c = socket.create_connection(("127.0.0.1", port))
            c.sendall(b"POST /greet.qmx HTTP/1.0\r\nContent-Length: 3\r\n\r\na=1")
            if linger:
                flood.append(c)
            else:
                c.close()
        time.sleep(0.1)
        print("%d script requests%s: an unrelated GET took %.3f s"
              % (count, "" if linger else " (clients gone)", fetch_time()))
        for c in flood:
            c.close()
finally:
    server.terminate()
    server.wait()

page = (b"%date% %counter% " + b"x" * 1000 + b"\n") * 24000  # about 24 MB with tags
server = start("MaxConnect=50\n", {"docs/index.html": b"hello", "docs/big.txt": page})
try:
    readers = []
    for _ in range(40):
        c = socket.create_connection(("127.0.0.1", port))
        c.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        c.sendall(b"GET /big.txt HTTP/1.0\r\n\r\n")
        readers.append(c)
    time.sleep(3)
    for c in readers:
        c.recv(4096)
    time.sleep(1)
    print("40 slow readers of a 24 MB page: peak RSS %.1f MB" % peak_rss(server.pid))
    for c in readers:
        c.close()
    # Four clients fetch the large page again and again; small pages are timed meanwhile.
    stop = time.time() + 5
    fetchers = [subprocess.Popen([sys.executable, "-c",
                                  "import socket,time\n"
                                  "while time.time() < %f:\n"
                                  " s=socket.create_connection(('127.0.0.1',%d))\n"
                                  " s.sendall(b'GET /big.txt HTTP/1.0\\r\\n\\r\\n')\n"
                                  " while s.recv(1<<20): pass\n"
                                  " s.close()\n" % (stop, port)]) for _ in range(4)]
    times = []
    time.sleep(0.5)
    while time.time() < stop - 0.2:
        times.append(fetch_time())
        time.sleep(0.01)
    for f in fetchers:
        f.wait()
    times.sort()
    print("small page while 4 clients fetch the 24 MB page: median %.2f ms, p99 %.2f ms (%d)"
          % (times[len(times) // 2] * 1e3, times[int(len(times) * 0.99)] * 1e3, len(times)))
finally:
    server.terminate()
    server.wait()
