#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets under tests/fuzz/corpus/.

The seeds are committed; run this again only to change them. Reproducers of
findings are added to the corpus folders by hand (never rewritten here)."""

import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent / "corpus"

LONG_REPLY, SHORT_REPLY = 0x86, 0x06
ADDRESS = bytes([0xA6, 0x05, 0x01, 0x02, 0x03])  # echoed long address


def xor(data):
    x = 0
    for b in data:
        x ^= b
    return x


def long_reply(command, data, rc=0, status=0, preambles=2, count=None):
    body = bytes([LONG_REPLY]) + ADDRESS + bytes([command])
    body += bytes([len(data) + 2 if count is None else count, rc, status]) + bytes(data)
    return b"\xff" * preambles + body + bytes([xor(body)])


def short_reply(command, data, rc=0, status=0, poll=0, preambles=2):
    body = bytes([SHORT_REPLY, 0x80 | poll, command, len(data) + 2, rc, status]) + bytes(data)
    return b"\xff" * preambles + body + bytes([xor(body)])


def flip(frame, at=-2, bit=0x01):
    """One bit flipped in a data byte: the checksum no longer matches."""
    b = bytearray(frame)
    b[at] ^= bit
    return bytes(b)


def f32(v):
    return struct.pack(">f", v)


def write(target, name, data):
    folder = HERE / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# Command 0 reply data: 254, manufacturer, type, preambles, revisions, flags, device ID.
IDENTITY = bytes([254, 0x26, 0x05, 5, 5, 1, 1, 0, 0, 0x01, 0x02, 0x03])
# Loop current and percent of range (command 2).
CURRENT = f32(4.2) + f32(1.25)
# Command 3: current, then four variables (unit, value).
VARIABLES = f32(12.0) + bytes([12]) + f32(5e-5) + bytes([32]) + f32(21.5) + \
    bytes([39]) + f32(1e20) + bytes([57]) + f32(-3.25)
GENERIC = (f32(1.0) + bytes([0x01])) * 5  # 25 bytes: floats and small codes

# ---- fuzz_reply_checks: [received][work area]
REPLY_SEEDS = {
    "standard_good": long_reply(3, VARIABLES),
    "standard_checksum_wrong": flip(long_reply(3, VARIABLES)),
    "short_good": short_reply(0, IDENTITY),
    "discovery_good_at_1": b"\x00" + short_reply(0, IDENTITY, preambles=1),
    "rosemount644_cmd31_count13": long_reply(31, bytes([0x0C, 0x2B]) + bytes(9)),
    "krohne_count14": long_reply(130, bytes(range(12))),
    "abb_count6": long_reply(190, bytes([0, 0x0D, 0x03, 0])),
    "error_status_only": long_reply(15, b"", rc=64),
    "no_status_bytes": long_reply(15, b"", count=1)[:-1],
}
for name, frame in REPLY_SEEDS.items():
    write("fuzz_reply_checks", name, bytes([len(frame)]) + frame)
# A reply cut after its response code, over a whole earlier one.
whole = long_reply(39, bytes([0]))
write("fuzz_reply_checks", "cut_after_9_over_whole", bytes([9]) + whole)

# ---- fuzz_window_readers: [code hi][code lo][n][reply chunk][older contents]
READERS = {
    49: short_reply(0, IDENTITY),
    100: short_reply(0, IDENTITY),
    102: long_reply(2, CURRENT),
    103: long_reply(3, VARIABLES),
    112: long_reply(12, bytes(range(0x41, 0x59))),
    113: long_reply(13, bytes(range(0x20, 0x32)) + bytes([31, 12, 126])),
    114: long_reply(14, bytes([1, 2, 3, 12]) + f32(850.0) + f32(-200.0) + f32(0.1)),
    115: long_reply(15, bytes([0, 0, 12]) + f32(100.0) + f32(0.0) + f32(0.4) +
                    bytes([251, 250, 0x26])),
    116: long_reply(16, bytes([0x01, 0xE2, 0x40])),
    140: long_reply(140, bytes([0x00, 0x01, 0x02])),
    521: long_reply(130, bytes([0x01, 0x03]) + bytes(range(10))),
    525: long_reply(190, bytes([0x00, 0x0D, 0x03, 0x00])),
    1181: long_reply(31, bytes([0x0C, 0x2B, 0x00, 0x03, 0x04]) + bytes(6)),
    2145: long_reply(170, bytes([0x12, 0x34, 0x05, 0x00])),
    2149: long_reply(170, bytes([0x12, 0x34]) + f32(-0.5)),
}
for code in (1131, 1140, 1150, 1160, 1170, 1188, 1191, 1193, 2147):
    READERS[code] = long_reply(31 if code < 2000 else 170, GENERIC)
# The HART 7 device page: command 9 (extended status, two slots, time stamp),
# 33, 54, 50/51, 20/22, 7/6, 0 to the long address, 38, 72, 41, 42, 90, 89, 95.
SLOT = bytes([0, 66, 19]) + f32(42.5) + bytes([0xC0])
HART7_IDENTITY = bytes([254, 0x11, 0xB7, 5, 7, 2, 3, 0x10, 0, 0x3A, 0x5C, 0x8C, 5, 4, 0, 7, 3,
                        0, 0x11, 0, 0x11, 1])
READERS.update({
    3200: long_reply(9, bytes([0x03]) + SLOT + SLOT + bytes([0, 7, 0x53, 0])),
    3201: long_reply(33, bytes([0, 32]) + f32(25.5) + bytes([1, 39]) + f32(4.2)),
    3202: long_reply(54, bytes([3, 2, 0xD6, 0x87, 32]) + f32(150.0) + f32(-40.0) + f32(2.0) +
                     f32(10.0) + bytes([64, 250, 0, 0, 0x0C, 0x80, 0])),
    3203: long_reply(50, bytes([0, 1, 2, 3])),
    3204: long_reply(51, bytes([0, 3, 2, 1])),
    3205: long_reply(20, b"FT-205 Speisewasser Durchflu\xdf K2"),
    3206: long_reply(22, b"FT-206".ljust(32, b"\0")),
    3207: long_reply(7, bytes([5, 1])),
    3208: long_reply(6, bytes([5, 0])),
    3209: long_reply(0, HART7_IDENTITY),
    3210: long_reply(38, bytes([0, 8])),
    3211: long_reply(72, b""),
    3212: long_reply(41, b""),
    3213: long_reply(42, b""),
    3214: long_reply(90, bytes([1, 1, 124, 0, 7, 0x53, 0, 1, 1, 124, 0, 0, 0, 0, 3])),
    3215: long_reply(89, bytes([1, 14, 3, 124, 0, 7, 0x53, 0])),
    3216: long_reply(95, bytes([0, 14, 0, 13, 0, 0])),
})


def window_seed(code, chunk, older=b""):
    return struct.pack(">HB", code, len(chunk)) + chunk + older


for code, good in READERS.items():
    write("fuzz_window_readers", f"{code}_good", window_seed(code, good))
    write("fuzz_window_readers", f"{code}_checksum_wrong", window_seed(code, flip(good)))
    # The reply cut in its data, over a whole reply that arrived before.
    write("fuzz_window_readers", f"{code}_cut_over_good", window_seed(code, good[:12], good))
# An error reply with its two status bytes only, after a good one: the loop
# current of the earlier reply must not be shown.
write("fuzz_window_readers", "102_not_implemented_over_good",
      window_seed(102, long_reply(2, b"", rc=64), READERS[102]))
write("fuzz_window_readers", "115_short_error_over_good",
      window_seed(115, long_reply(15, bytes(3), rc=2), READERS[115]))
# Backup (command 39): the reply cut after its byte count, over a whole one
# whose response code says success.
backup = long_reply(39, bytes([0x00]))
write("fuzz_window_readers", "139_cut_9_over_success", window_seed(139, backup[:10], backup))
write("fuzz_window_readers", "139_good", window_seed(139, backup))
write("fuzz_window_readers", "134_write_protected", window_seed(134, long_reply(34, f32(2.0), rc=7)))
write("fuzz_window_readers", "523_krohne_write_12", window_seed(523, long_reply(131, b"", rc=12)))
# A HART 7 write refused (a counter mismatch, 38) after a good reply, and a
# warning that still carries the data (30, command 9 cut short).
write("fuzz_window_readers", "3210_mismatch_over_good",
      window_seed(3210, long_reply(38, b"", rc=9), READERS[3210]))
write("fuzz_window_readers", "3200_truncated_warning",
      window_seed(3200, long_reply(9, bytes([0x03]) + SLOT + bytes([0, 7, 0x53, 0]), rc=30)))
write("fuzz_window_readers", "3211_not_implemented", window_seed(3211, long_reply(72, b"", rc=64)))

# ---- fuzz_text_numbers: [conversion][text]
TEXT_SEEDS = {
    "float_4.2": b"\x00" + b"4.2",
    "float_negative_point": b"\x00" + b"-.5",
    "float_tiny": b"\x00" + b"0." + b"0" * 44 + b"1",
    "float_huge": b"\x00" + b"9" * 40,
    "int_max": b"\x01" + b"2147483647",
    "int_min_less_one": b"\x01" + b"-2147483649",
    "wirefloat_100": b"\x02" + b"100",
    "uint24_max": b"\x03" + b"16777215",
    "uint24_over": b"\x03" + b"16777216",
    "date_last_year": b"\x04" + b"31/12/2155",
    "date_before_1900": b"\x04" + b"1/1/1899",
    "packed_tag_lower": bytes([5]) + b"abc",
    "packed_message_utf8": bytes([5 + 7 * 2]) + "Grüße".encode(),
    # Found by this target: an over-long 'a' (C1 A1) was packed as 'A'.
    "finding_packed_overlong_a": bytes([5 + 7]) + b"\xc1\xa1",
    "float_text_5e-5": b"\x06" + f32(5e-5),
    "float_text_1e20": b"\x06" + f32(1e20),
    "float_text_negative_tiny": b"\x06" + f32(-1.5e-38),
    "float_text_marker": b"\x06" + bytes([0x7F, 0xC0, 0, 0]),
    "float_text_snan": b"\x06" + bytes([0x7F, 0xA0, 0, 0]),
}
for name, data in TEXT_SEEDS.items():
    write("fuzz_text_numbers", name, data)

# ---- fuzz_typed_frame: the typed text
TYPED_SEEDS = {
    "command_0": b"02 80 00 00",
    "trailing_spaces": b"02 80  ",
    "no_spaces": b"0280",
    "leftover_digit": b"02 80 0",
    "lower_case": b"0a 80",
    "sixteen_bytes": b" ".join(b"%02X" % i for i in range(16)),
    "fullwidth_digit": b"0\xff\xff\x10",
}
for name, data in TYPED_SEEDS.items():
    write("fuzz_typed_frame", name, data)

# ---- fuzz_frame_parser: bytes off the line
request = b"\xff" * 5 + bytes([0x82, 0xA6, 0x05, 0x01, 0x02, 0x03, 0x03, 0x00, 0x23])
FRAME_SEEDS = {
    "request_then_reply": request + long_reply(3, VARIABLES),
    "short_request": b"\xff\xff\x02\x80\x00\x00\x82",
    "reply_cut": long_reply(3, VARIABLES)[:14],
    "garbage_between": b"\x00\x11" + short_reply(0, IDENTITY) + b"\xff\xff\x07\x01",
    "burst_with_expansion": b"\xff\xff" + bytes([0xC1, 0x26, 0x05, 0x01, 0x02, 0x03, 0x00,
                                                   0x03, 0x04, 0x00, 0x00, 0x41, 0x80]),
    "command_31": long_reply(31, bytes([0x0C, 0x2B, 0x01])),
}
for name, data in FRAME_SEEDS.items():
    write("fuzz_frame_parser", name, data)
