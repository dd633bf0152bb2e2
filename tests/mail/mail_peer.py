# A scripted SMTP peer that misbehaves on purpose, on 127.0.0.1 only.
#   mail_peer.py DIR SCENARIO [PORT]
# Listens on PORT (held under the lock file the real server uses, so that
# suites never share it) or on a free port.
# Writes DIR/port once it listens, serves one connection, logs every line it
# receives to DIR/log and creates DIR/done when it has finished.
import fcntl
import os
import socket
import sys
import time

GREETING = b"220 peer ready\r\n"


def main():
    folder, scenario = sys.argv[1], sys.argv[2]
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d\n" % os.getpid())
    srv = socket.socket()
    srv.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    port = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    if port:
        lock = open("/tmp/morvane-smtp-%d.lock" % port, "a")
        deadline = time.time() + 25
        while True:
            try:
                fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
                break
            except OSError:
                if time.time() >= deadline:
                    open(os.path.join(folder, "failed"), "w").write("port %d stayed locked\n" % port)
                    sys.exit(1)
                time.sleep(0.1)
    srv.bind(("127.0.0.1", port))
    srv.listen(1)
    srv.settimeout(60)
    with open(os.path.join(folder, "port.tmp"), "w") as f:
        f.write("%d\n" % srv.getsockname()[1])
    os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    log = open(os.path.join(folder, "log"), "wb")
    try:
        conn, _ = srv.accept()
        conn.settimeout(30)
        serve(conn, scenario, log)
        conn.close()
    except (socket.timeout, OSError) as e:
        log.write(b"peer: " + str(e).encode() + b"\n")
    finally:
        log.close()
        srv.close()
        open(os.path.join(folder, "done"), "w").close()


def lines(conn, log):
    buf = b""
    while True:
        while b"\r\n" not in buf:
            data = conn.recv(65536)
            if not data:
                return
            buf += data
        line, buf = buf.split(b"\r\n", 1)
        log.write(line + b"\n")
        log.flush()
        yield line


def serve(conn, scenario, log):
    if scenario == "banner":
        # A plain stream that ends when the peer closes.
        conn.sendall(b"".join(b"%06d:%s\r\n" % (i, b"x" * (i % 97)) for i in range(4000)))
        return
    if scenario == "silent":
        # Say nothing; wait for the client to give up and close.
        while conn.recv(65536):
            pass
        return
    if scenario == "garbage":
        conn.sendall(b"hello there\r\n")
    elif scenario == "multiline":
        conn.sendall(b"220-peer ready\r\n220 more greeting\r\n")
    else:
        conn.sendall(GREETING)
    in_data = False
    for line in lines(conn, log):
        if in_data:
            if line == b".":
                in_data = False
                if scenario == "multiline":
                    conn.sendall(b"250-queued as 17\r\n250-second line\r\n250 last line\r\n")
                elif scenario == "data554":
                    conn.sendall(b"554 message refused\r\n")
                elif scenario == "slowaccept":
                    # Holds the message a while before it takes it.
                    time.sleep(6)
                    conn.sendall(b"250 queued\r\n")
                elif scenario == "code0xx":
                    conn.sendall(b"099 fine\r\n")
                else:
                    conn.sendall(b"250 queued\r\n")
            continue
        verb = line.split(b" ")[0].upper()
        if verb == b"HELO":
            if scenario == "helo5xx":
                conn.sendall(b"501 who are you\r\n")
            elif scenario == "closemid":
                conn.sendall(b"250-peer.example greets you\r\n")
                time.sleep(0.2)
                return
            elif scenario == "multiline":
                conn.sendall(b"250-peer.example\r\n250-SIZE 1000\r\n250 HELP\r\n")
            else:
                conn.sendall(b"250 peer.example\r\n")
        elif verb == b"MAIL":
            conn.sendall(b"550 sender refused\r\n" if scenario == "mail5xx" else b"250 ok\r\n")
        elif verb == b"RCPT":
            refused = scenario == "rcpt550" and b"bad@" in line
            conn.sendall(b"550 no such user\r\n" if refused else b"250 ok\r\n")
        elif verb == b"DATA":
            if scenario == "data250":
                conn.sendall(b"250 nothing wanted\r\n")
            else:
                conn.sendall(b"354 go ahead\r\n")
                in_data = True
                if scenario == "dropdata":
                    # Gone in the middle of the message text.
                    for n, _ in enumerate(lines(conn, log)):
                        if n >= 3:
                            return
                    return
                if scenario == "stall":
                    # Take the message text no further; the client must give up.
                    time.sleep(5)
                    return
        elif verb == b"QUIT":
            conn.sendall(b"221 bye\r\n")
            return
        else:
            conn.sendall(b"500 what\r\n")


main()
