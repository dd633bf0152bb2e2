# Reads a stored message with Python's email parser and writes what the
# mail tests compare: OUT/summary (key=value lines) and OUT/partN (the
# decoded payload of every leaf part).
#   mail_check.py MESSAGE OUT
import os
import sys
from email import message_from_bytes, policy
from email.header import decode_header, make_header


def main():
    path, out = sys.argv[1], sys.argv[2]
    raw = open(path, "rb").read()
    msg = message_from_bytes(raw, policy=policy.default)
    defects = [repr(d) for d in msg.defects]
    summary = {}
    for name in set(k.lower() for k in msg.keys()):
        values = msg.get_all(name)
        summary["count." + name] = str(len(values))
        for v in values:
            defects += ["%s: %r" % (name, d) for d in getattr(v, "defects", [])]
        summary["header." + name] = " | ".join(str(v) for v in values)
    # The generic RFC 2047 reading of each header (also inside comments,
    # where the address parser leaves encoded words alone), and the
    # longest line of the message as sent.
    plain = message_from_bytes(raw, policy=policy.compat32)
    for name in set(k.lower() for k in plain.keys()):
        summary["decoded." + name] = " | ".join(
            str(make_header(decode_header(v))) for v in plain.get_all(name))
    summary["longest_line"] = str(max(len(l) for l in raw.split(b"\r\n")))
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
        summary["part%d.charset" % n] = part.get_content_charset() or ""
        if part.get_content_maintype() == "text":
            with open(os.path.join(out, "part%d.text" % n), "wb") as f:
                f.write(part.get_content().encode("utf-8"))
        with open(os.path.join(out, "part%d" % n), "wb") as f:
            f.write(part.get_payload(decode=True))
        n += 1
    summary["parts"] = str(n)
    summary["defects"] = str(len(defects))
    summary["defect_list"] = " ; ".join(defects)
    with open(os.path.join(out, "summary"), "w", encoding="utf-8") as f:
        for k in sorted(summary):
            f.write("%s=%s\n" % (k, summary[k].replace("\n", " ")))


main()
