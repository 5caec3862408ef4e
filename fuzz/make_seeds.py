#!/usr/bin/env python3
"""Writes the fuzzers' seed inputs into corpus/<fuzzer>/, one file each.

Run from anywhere: python3 fuzz/make_seeds.py. The files are committed; this
script only keeps them readable and easy to redo. Find seeds are encoded as
Find_fuzz.cpp's header comment lays out its input.
"""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent


def write(fuzzer, name, data):
    folder = HERE / "corpus" / fuzzer
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


# The command line, raw as the program receives it.
command_lines = {
    "quoted_blanks": b'printf "Error, error, ERROR"',
    "quoted_middle": b'a "b c" d',
    "empty_quotes": b'"" x "" a""b """"',
    "unclosed_quote": b'echo "unclosed quote  with  blanks',
    "tabs_and_crlf": b'a\tb\t"c\td"\r\n',
    "high_bytes": b'caf\xc3\xa9 \xff\x80 "\xe9 t\xe9"',
    "windows_path": b'"C:\\Program Files\\Tool\\tool.exe" -x /y a:b',
    "posix_path": b'/usr/bin/env ./run.sh ../x/y.tar.gz',
    "control_chars": b'\x01a\x1fb\x7f c\x00d\x0b',
    "backslashes": b'say\\"hi\\" back\\\\slash\\',
    "blanks_around": b'   leading and trailing   ',
    "empty": b'',
}
for name, data in command_lines.items():
    write("CommandLine", name, data)

# The child's output, raw. The first byte also sets how often the output is
# repeated (1 + byte % 8), so a 0x07 or 0x0f first byte runs past 8192 bytes.
lines = b"".join(b"%04d 0123456789abcdef\r\n" % i for i in range(60))
captured = {
    "crlf": b"line1\r\nline2\r\n",
    "nul": b"abc\0def\r\n",
    "only_crs": b"\r\r\r",
    "high_bytes": b"\x80\xe9\xff\x1b[0m\t\r\n",
    "error_error": b"Error, error, ERROR\r\n",
    "cr_then_nul": b"a\r\0b\r",
    "past_limit": b"\x07" + lines,
    "past_limit_nul": b"\x0f" + lines + b"\0tail",
    "big_chunks": b"\xff\xc0\x80\x87" + lines,
    "empty": b"",
}
for name, data in captured.items():
    write("Capture", name, data)


def unit(u):
    if u < 0x80:
        return bytes([u])
    if 0xD830 <= u <= 0xD83F:
        return bytes([0x80 + u - 0xD830])
    if 0xDE00 <= u <= 0xDE0F:
        return bytes([0x90 + u - 0xDE00])
    if 0xC0 <= u <= 0xDF:
        return bytes([0xA0 + u - 0xC0])
    return bytes([0xC0, u & 0xFF, u >> 8])


def units(text):
    raw = text.encode("utf-16-le", "surrogatepass")
    return [raw[i] | raw[i + 1] << 8 for i in range(0, len(raw), 2)]


ENTER, ESCAPE, BACKSPACE, COPY_ALL = b"\x0d", b"\x1b", b"\x08", b"\xe8"


def key(ch):
    """A typed character: ASCII as itself, anything else as a wide key."""
    return b"".join(bytes([u]) if u < 0x80 else b"\xc0" + unit(u) for u in units(ch))


def click(start, length):
    return bytes([0xF0, start, length])


def find(text, ops, start=0, length=0):
    us = units(text)
    assert len(us) < 256
    return bytes([len(us)]) + b"".join(unit(u) for u in us) + bytes([start, length]) + b"".join(ops)


finds = {
    "error_steps": find("Error, error, ERROR\n", [b"error", ENTER * 4]),
    "no_overlap": find("aaaa\n", [b"aa", ENTER * 3]),
    "growing": find("abx abc abd\n", [b"abcz"]),
    "backspace": find("one two\n", [b"o", BACKSPACE, b"w", ENTER, b"\x16"]),
    "escape": find("alpha beta\n", [b"bet", ESCAPE, b"a"], 6, 3),
    "from_caret": find("abc abc abc\n", [b"a", click(4, 3), b"x", ENTER], 8, 0),
    "accents": find("\u00c9t\u00e9 x STRA\u00dfE\n", [key("\u00e9"), ESCAPE, b"stra", key("\u00df"), b"e"]),
    "surrogates": find("\U0001F600 \udc00\ude00\n", [key("\ude00"), ENTER, ESCAPE, key("\U0001F600"), ENTER]),
    "lone_halves": find("\x01\t\ud83d\ud83d\ude00x\ude00\ud83d", [key("\ud83d"), ENTER, ENTER, BACKSPACE, key("\ude00"), ENTER]),
    "copy_all": find("line one\nline two\n", [COPY_ALL, b"l", ENTER, COPY_ALL, ENTER, b"two"], 3, 4),
    "empty_view": find("", [b"a", ENTER, COPY_ALL]),
}
for name, data in finds.items():
    write("Find", name, data)
