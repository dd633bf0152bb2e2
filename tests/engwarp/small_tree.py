#!/usr/bin/python3
# Writes two versions of a generated tree of many small files, the shape of
# a publisher's tree of scripts, pages and data: 4000 text files of 3 to 6 KB
# in 40 folders; in the new version each file has three 8-byte changes and
# every tenth file has a new name. The same seed always gives the same bytes.
#   small_tree.py OLDDIR NEWDIR [FILES]
import os
import random
import sys

old_root, new_root = sys.argv[1], sys.argv[2]
files = int(sys.argv[3]) if len(sys.argv) > 3 else 4000
rng = random.Random(4053)
letters = "etaoinshrdlucmfwypvbgkqjxz"
weights = [26 - i for i in range(len(letters))]
vocabulary = ["".join(rng.choices(letters, weights, k=rng.randrange(2, 10))) for _ in range(3000)]


def text(size):
    out = bytearray()
    while len(out) < size:
        line = " ".join(rng.choice(vocabulary) for _ in range(rng.randrange(3, 12)))
        out += (" " * (4 * rng.randrange(4)) + line + "\n").encode()
    return bytes(out[:size])


for i in range(files):
    folder = "dir%02d" % (i % 40)
    name = "file%04d.txt" % i
    old = text(rng.randrange(3072, 6144))
    new = bytearray(old)
    for _ in range(3):
        at = rng.randrange(len(new) - 8)
        new[at:at + 8] = text(8)
    new_name = "renamed%04d.txt" % i if i % 10 == 0 else name
    for root, n, content in ((old_root, name, old), (new_root, new_name, bytes(new))):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        with open(os.path.join(root, folder, n), "wb") as f:
            f.write(content)
