#!/usr/bin/env python3
"""Uploads one large file through the administration site and reports the server's peak
resident memory and the rate.

Usage (as root, from the project folder, after a build):
    python3 bench/upload.py [SIZE_MIB] [BINARY]      (default 1024 MiB, build/orvane-light)
"""
import re, os, socket, subprocess, sys, tempfile, time

size = int(sys.argv[1]) * 1024 * 1024 if len(sys.argv) > 1 else 1 << 30
binary = sys.argv[2] if len(sys.argv) > 2 else "build/orvane-light"
site = tempfile.mkdtemp()
os.makedirs(site + "/docs")
public, admin = 18281, 18282
with open(site + "/server.cfg", "w") as f:
    f.write("[Server]\nPort=%d\n[Admin]\nAllow=1\nUserName=a\nPassword=pass1\nPort=%d\n" % (public, admin))
server = subprocess.Popen([binary, "--headless", "--app-dir", site], stdout=subprocess.DEVNULL)
time.sleep(0.5)


def status(key):
    for line in open("/proc/%d/status" % server.pid):
        if line.startswith(key):
            return int(line.split()[1]) / 1024
    return 0


def exchange(data_parts):
    s = socket.create_connection(("127.0.0.1", admin))
    for part in data_parts:
        s.sendall(part)
    reply = b""
    while True:
        chunk = s.recv(65536)
        if not chunk:
            break
        reply += chunk
    s.close()
    return reply


try:
    body = b"UserName=&UserName=a&password=pass1&Request=Login"
    login = b"POST / HTTP/1.1\r\nContent-Length: %d\r\n\r\n" % len(body) + body
    page = exchange([login])
    assert b"Logged In" in page, "login failed"
    token = re.search(rb'name="Token" value="([0-9a-f]+)"', page).group(1)
    idle = status("VmRSS:")

    boundary = b"----BenchBoundary7f3a"
    head = (b"--" + boundary + b"\r\nContent-Disposition: form-data; name=\"ADMINLOGIN\"\r\n\r\n\r\n"
            b"--" + boundary + b"\r\nContent-Disposition: form-data; name=\"Token\"\r\n\r\n" + token + b"\r\n"
            b"--" + boundary + b"\r\nContent-Disposition: form-data; name=\"UploadNow\"\r\n\r\nUploadNow\r\n"
            b"--" + boundary + b"\r\nContent-Disposition: form-data; name=\"uploadFile1\"; "
            b"filename=\"big.bin\"\r\nContent-Type: application/octet-stream\r\n\r\n")
    tail = b"\r\n--" + boundary + b"--\r\n"
    request = (b"POST / HTTP/1.1\r\nContent-Type: multipart/form-data; boundary=" + boundary +
               b"\r\nContent-Length: %d\r\n\r\n" % (len(head) + size + len(tail)))
    block = bytes(range(256)) * 4096  # 1 MiB

    def parts():
        yield request + head
        left = size
        while left > 0:
            piece = block[:min(left, len(block))]
            left -= len(piece)
            yield piece
        yield tail

    start = time.time()
    reply = exchange(parts())
    seconds = time.time() - start
    assert b"uploaded successfully" in reply, reply[:200]
    stored = os.path.getsize(site + "/docs/big.bin")
    print("uploaded %d MiB in %.1f s (%.0f MB/s); stored %d bytes (%s); server RSS idle %.1f MB, "
          "peak %.1f MB" % (size >> 20, seconds, size / seconds / 1e6, stored,
                            "exact" if stored == size else "WRONG", idle, status("VmHWM:")))
finally:
    server.terminate()
    server.wait()
    subprocess.run(["rm", "-rf", site])
