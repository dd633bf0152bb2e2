# Checks the mail encoders against Python's own codecs.
#   mail_codecs.py qp RAW ENCODED      RAW: lines joined by LF; ENCODED: CR LF lines
#   mail_codecs.py base64 DATA ENCODED
import binascii
import sys


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def main():
    kind, raw_path, enc_path = sys.argv[1:4]
    raw = open(raw_path, "rb").read()
    enc = open(enc_path, "rb").read()
    out_lines = enc.split(b"\r\n")
    for n, line in enumerate(out_lines):
        if any((b < 32 and b != 9) or b > 126 for b in line):
            fail("line %d is not printable ASCII: %r" % (n, line))
    if kind == "qp":
        for n, line in enumerate(out_lines):
            if len(line) > 76:
                fail("line %d has %d characters" % (n, len(line)))
        decoded = binascii.a2b_qp(enc).split(b"\r\n")
        expected = raw.split(b"\n")
        if decoded != expected:
            for n, (a, b) in enumerate(zip(decoded, expected)):
                if a != b:
                    fail("line %d decodes to %r, expected %r" % (n, a, b))
            fail("%d lines decoded, %d expected" % (len(decoded), len(expected)))
    elif kind == "base64":
        expected = [binascii.b2a_base64(raw[i:i + 45], newline=False) for i in range(0, len(raw), 45)]
        if out_lines != expected:
            fail("base64 lines differ from Python's (%d vs %d lines)" % (len(out_lines), len(expected)))
        if binascii.a2b_base64(b"".join(out_lines)) != raw:
            fail("base64 does not decode to the data")
    print("OK")


main()
