# A real SMTP server for the mail tests, on 127.0.0.1 only.
#   mail_smtpd.py DIR [PORT [REFUSE]]
# Listens on PORT, or on a free port when none is given. A fixed port is
# held under a lock file (/tmp/morvane-smtp-PORT.lock) for as long as the
# server runs, so that two suites never share it; when the lock or the port
# stays busy the reason goes to DIR/failed and the server ends.
# Writes DIR/port once it listens, stores message N as DIR/msgN.eml with its
# envelope in DIR/msgN.env (sender, then one recipient a line), and stops
# when DIR/stop appears or after five minutes. With REFUSE, a receiver whose
# address starts with it is refused: "550 5.1.1 <address>: no such mailbox".
import fcntl
import os
import socket
import sys
import time

from aiosmtpd.controller import Controller


class Store:
    def __init__(self, folder, refuse=None):
        self.folder = folder
        self.count = 0
        self.refuse = refuse

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if self.refuse and address.startswith(self.refuse):
            return "550 5.1.1 <%s>: no such mailbox" % address
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "msg%d" % self.count)
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w") as f:
            f.write("\n".join([envelope.mail_from] + list(envelope.rcpt_tos)) + "\n")
        return "250 Message accepted for delivery"


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def fail(folder, text):
    sys.stderr.write(text + "\n")
    with open(os.path.join(folder, "failed"), "w") as f:
        f.write(text + "\n")
    sys.exit(1)


def hold_port_lock(folder, port, seconds):
    # Kept open (and so locked) until the process ends.
    lock = open("/tmp/morvane-smtp-%d.lock" % port, "a")
    deadline = time.time() + seconds
    while True:
        try:
            fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
            return lock
        except OSError:
            if time.time() >= deadline:
                fail(folder, "port %d: another test suite's mail server held it for %d s" % (port, seconds))
            time.sleep(0.1)


def main():
    folder = sys.argv[1]
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d\n" % os.getpid())
    lock = None
    if len(sys.argv) > 2:
        port = int(sys.argv[2])
        lock = hold_port_lock(folder, port, 25)
        probe = socket.socket()
        probe.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        try:
            probe.bind(("127.0.0.1", port))
        except OSError as e:
            fail(folder, "port %d on 127.0.0.1 is busy (%s): something else listens there" % (port, e))
        finally:
            probe.close()
    else:
        port = free_port()
    refuse = sys.argv[3] if len(sys.argv) > 3 else None
    controller = Controller(Store(folder, refuse), hostname="127.0.0.1", port=port)
    controller.start()
    with open(os.path.join(folder, "port.tmp"), "w") as f:
        f.write("%d\n" % port)
    os.rename(os.path.join(folder, "port.tmp"), os.path.join(folder, "port"))
    deadline = time.time() + 300
    try:
        while time.time() < deadline and not os.path.exists(os.path.join(folder, "stop")):
            time.sleep(0.05)
    finally:
        controller.stop()
        open(os.path.join(folder, "stopped"), "w").close()


main()
