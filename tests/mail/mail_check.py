# Reads a stored message with Python's email parser and writes what the
# mail tests compare: OUT/summary (key=value lines) and OUT/partN (the
# decoded payload of every leaf part).
#   mail_check.py MESSAGE OUT
import os
import sys
from email import message_from_bytes, policy


def main():
    path, out = sys.argv[1], sys.argv[2]
    msg = message_from_bytes(open(path, "rb").read(), policy=policy.default)
    defects = [repr(d) for d in msg.defects]
    summary = {}
    for name in set(k.lower() for k in msg.keys()):
        values = msg.get_all(name)
        summary["count." + name] = str(len(values))
        for v in values:
            defects += ["%s: %r" % (name, d) for d in getattr(v, "defects", [])]
        summary["header." + name] = " | ".join(str(v) for v in values)
    summary["content_type"] = msg.get_content_type()
    summary["date_ok"] = "1" if msg["date"] is not None and msg["date"].datetime is not None else "0"
    n = 0
    for part in msg.walk():
        defects += ["part %d: %r" % (n, d) for d in part.defects]
        if part.is_multipart():
            continue
        summary["part%d.type" % n] = part.get_content_type()
        summary["part%d.filename" % n] = part.get_filename() or ""
        summary["part%d.encoding" % n] = part.get("Content-Transfer-Encoding", "")
        with open(os.path.join(out, "part%d" % n), "wb") as f:
            f.write(part.get_payload(decode=True))
        n += 1
    summary["parts"] = str(n)
    summary["defects"] = str(len(defects))
    summary["defect_list"] = " ; ".join(defects)
    with open(os.path.join(out, "summary"), "w") as f:
        for k in sorted(summary):
            f.write("%s=%s\n" % (k, summary[k].replace("\n", " ")))


main()
