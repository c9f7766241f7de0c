#!/usr/bin/env python3
"""Writes the golden type-2 payloads in valid/ and reject/.

valid/NAME.fano decodes to valid/NAME.out (n = its size; positions that get no byte leave
zeros at the end). Files named encoder_* are also what the encoder must write, byte for
byte, for NAME.out; they come from the small encoder below, written from the format's
rules and independent of the C++ one. reject/NAME.fano
are payloads the decoder must refuse or stop on. Run from this folder; the outputs are
checked in, so a change to them shows in review.
"""
import os
import random


def bits_to_bytes(bits):
    bits = [c for c in bits if c in "01"]
    out = bytearray((len(bits) + 7) // 8)
    for i, c in enumerate(bits):
        if c == "1":
            out[i // 8] |= 0x80 >> (i % 8)
    return bytes(out)


def field(value, count):
    return format(value, "0%db" % count) if count else ""


def leaf(value):
    return "1" + field(value, 8)


def encode(data):
    """The frame's tree and codes: values by count (ties by value), split rule, pre-order."""
    counts = [0] * 256
    for b in data:
        counts[b] += 1
    table = sorted(range(256), key=lambda v: -counts[v])  # stable: ties stay ascending
    codes = {}
    tree = []

    def build(start, end, code, depth):
        while True:
            if start == end:
                tree.append(leaf(table[start]))
                codes[table[start]] = field(code, depth)
                return
            tree.append("0")
            total = sum(counts[v] for v in table[start:end + 1])
            i, s = start, 0
            while i < end:
                s += counts[table[i]]
                i += 1
                if s > total // 2:
                    break
            if s > 0:
                tree.append("1")
                build(start, i - 1, code * 2, depth + 1)
            else:
                tree.append("0")
            if s == total:
                tree.append("0")
                return
            tree.append("1")
            start, code, depth = i, code * 2 + 1, depth + 1

    build(0, 255, 0, 0)
    return bits_to_bytes("".join(tree) + "".join(codes[b] for b in data))


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def full_tree(depth):
    """A complete tree of inner nodes down to `depth`, with leaves 0, 1, 2, ... there."""
    counter = [0]

    def node(d):
        if d == depth:
            counter[0] += 1
            return leaf((counter[0] - 1) % 256)
        return "0" + "1" + node(d + 1) + "1" + node(d + 1)

    return node(0)


def right_chain(depth, value):
    """Inner nodes with an absent left slot, `depth` of them, then a leaf: code of 1s."""
    return "0 0 1 " * depth + leaf(value)


def main():
    os.makedirs("valid", exist_ok=True)
    os.makedirs("reject", exist_ok=True)
    rng = random.Random(2050)

    frames = {
        "encoder_abc": b"abc",
        "encoder_ba": b"ba",
        "encoder_0123": bytes([0, 1, 2, 3]),
        "encoder_repeat_1000": bytes([0x80]) * 1000,
        "encoder_all_256_values": bytes(range(256)),
        "encoder_counts_3_2_1": bytes([5, 9, 200, 5, 9, 5]),
        "encoder_noise_3000": bytes(rng.randrange(256) for _ in range(3000)),
        "encoder_skewed_5000": bytes((rng.choice([0, 0, 0, 1, 255, 2, 254]) +
                                      (rng.randrange(256) if rng.random() < 0.02 else 0)) % 256
                                     for _ in range(5000)),
    }
    for name, data in frames.items():
        write("valid/%s.fano" % name, encode(data))
        write("valid/%s.out" % name, data)

    # A one-leaf tree: value 0x41 has the empty code, so no bit follows the tree.
    write("valid/single_leaf.fano", bits_to_bytes(leaf(0x41)))
    write("valid/single_leaf.out", b"A" * 10)
    # The a b c payload with two bytes of garbage after it: never looked at.
    write("valid/trailing_garbage.fano", encode(b"abc") + b"\xff\xff")
    write("valid/trailing_garbage.out", b"abc")
    # The deepest code allowed: 32 inner nodes (left slots absent) then the leaf 0x7E, whose
    # code is 32 one bits; two of them.
    write("valid/code_of_32_bits.fano", bits_to_bytes(right_chain(32, 0x7E) + "1" * 64))
    write("valid/code_of_32_bits.out", b"\x7e\x7e")
    # Root: inner node, left slot the a/b node, right slot absent. Code bits 1 x lead into the
    # absent slot: no byte for that position, two bits consumed. Codes: 00 a, 1 1 none, 01 b.
    write("valid/absent_slot_skips_a_position.fano",
          bits_to_bytes("0 1 0 1" + leaf(0x61) + "1" + leaf(0x62) + "0" + "00 11 01"))
    write("valid/absent_slot_skips_a_position.out", b"ab\x00")

    # Inner node, left slot absent, right slot absent: no leaf at all.
    write("reject/no_leaf.fano", bits_to_bytes("0 0 0"))
    write("reject/empty.fano", b"")
    # 512 leaves at depth 9: the 257th leaf is one too many.
    write("reject/too_many_leaves.fano", bits_to_bytes(full_tree(9)))
    # A leaf at depth 33.
    write("reject/leaf_deeper_than_32.fano", bits_to_bytes(right_chain(33, 0x7E) + "1" * 66))
    # The a b c tree cut after 20 of its 36 bits.
    write("reject/truncated_tree.fano", encode(b"abc")[:3])
    # The a b c tree and codes, decoded as 64 positions: the payload ends first.
    write("reject/payload_ends_early.fano", encode(b"abc"))


if __name__ == "__main__":
    main()
