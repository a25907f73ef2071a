#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpora of the fuzzers under fuzz/corpus/ from examples/.

fuzz/corpus/load/       inputs of fuzz_load: four control bytes (separator
                        and lap flags, leaves, efficiency) and a surface file
fuzz/corpus/tokenizer/  inputs of fuzz_tokenizer: two control bytes (separator
                        and read pattern) and lines of text

Each example gives several seeds: as it is, with decimal commas, with CR LF
line ends, cut short in the middle of a line, and reduced to a few zones.
Run again after changing examples/: python3 fuzz/make_corpus.py
"""
import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
EXAMPLES = os.path.join(ROOT, "examples")
CORPUS = os.path.join(HERE, "corpus")


def with_commas(text):
    """The same file as written with a decimal comma: periods between digits become commas."""
    return re.sub(r"(?<=\d)\.(?=\d)", ",", text)


def variants(name, text):
    lines = text.split("\n")
    few = "\n".join(lines[:5] + lines[5:12]) + "\n"
    yield f"{name}", 0, text
    yield f"{name}-comma", 1, with_commas(text)
    yield f"{name}-crlf", 0, text.replace("\n", "\r\n")
    yield f"{name}-cut", 0, text[: len(text) // 2]
    yield f"{name}-few", 0, few
    yield f"{name}-few-spindle", 2 | 4 | 8 | 16, few


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    load = os.path.join(CORPUS, "load")
    tokenizer = os.path.join(CORPUS, "tokenizer")
    for file_name in sorted(os.listdir(EXAMPLES)):
        if not file_name.endswith(".srf"):
            continue
        with open(os.path.join(EXAMPLES, file_name), encoding="latin-1", newline="") as f:
            text = f.read()
        stem = file_name[:-4]
        for name, flags, body in variants(stem, text):
            raw = body.encode("latin-1")
            # 4 leaves, efficiency 100 (mantissa 100, exponent 0)
            write(load, name, bytes([flags, 4, 100, 0]) + raw)
            # 7 leaves, efficiency 50
            write(load, name + "-7-50", bytes([flags | 8, 7, 50, 0]) + raw)
            head = "\n".join(body.split("\n")[:12]).encode("latin-1")
            # all reals, then alternating integer and real reads
            write(tokenizer, name + "-real", bytes([flags & 1, 0x00]) + head)
            write(tokenizer, name + "-mixed", bytes([(flags & 1) | 2, 0x55]) + head)


if __name__ == "__main__":
    main()
