"""EBCDIC tables and frames as vortcp puts them on the wire.

asc_fija / ebc_fija are copies of the program's built-in tables (ASCII to
EBCDIC and EBCDIC to ASCII; they are not inverse at sixteen entries, so
from_ebcdic(to_ebcdic(x)) is not always x).

A frame is ten decimal length characters, zero-filled, counting themselves and
the payload, then the payload. The digits are EBCDIC (0xF0-0xF9) or ASCII.
"""

_EBC_FIJA = """
20 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F
10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F
C0 C1 C2 C3 C4 C5 C6 C7 C8 C9 CE DE A6 A7 AC A9
D0 D1 D2 D3 D4 D5 D6 D7 D8 D9 F0 F1 F2 F3 F4 F5
20 DC 91 83 85 FF 86 B3 87 89 5B 2E 3C 28 2B 7C
26 82 92 93 8A A1 96 8B 98 99 5D 24 2A 29 3B AA
2D 2F BB 27 B7 7F F6 F7 C7 F9 F1 2C 25 5F 3E 3F
E0 90 E3 E4 E5 E6 E7 E8 E9 23 3A D1 40 60 3D 22
F8 61 62 63 64 65 66 67 68 69 94 97 8C 8D 8E 8F
E2 6A 6B 6C 6D 6E 6F 70 71 72 FC 9B 9C 9D 9E 9F
84 CD 73 74 75 76 77 78 79 7A AD A8 AB AE AF BA
B0 B1 B2 FA B4 B5 B6 B7 B8 B9 5E 21 BC BD BE BF
7B 41 42 43 44 45 46 47 48 49 CA CB CC 95 A2 CF
7D 4A 4B 4C 4D 4E 4F 50 51 52 DA DB 81 DD A3 DF
5C E1 53 54 55 56 57 58 59 5A EA EB EC ED EE EF
30 31 32 33 34 35 36 37 38 39 88 FB 9A FD FE 85
"""

_ASC_FIJA = """
00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F
10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F
40 BB 7F 69 5B 6C 50 7D 4D 5D 5C 4E 6B 60 4B 61
F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 7A 5E 4C 7E 6E 6F
7C C1 C2 C3 C4 C5 C6 C7 C8 C9 D1 D2 D3 D4 D5 D6
D7 D8 D9 E2 E3 E4 E5 E6 E7 E8 E9 4A E0 5A BA 6D
7D 81 82 83 84 85 86 87 88 89 91 92 93 94 95 96
97 98 99 A2 A3 A4 A5 A6 A7 A8 A9 C0 4F D0 64 65
68 DC 51 43 A0 44 46 48 FA 49 54 57 8C 8D 8E 8F
71 42 52 53 8A CD 56 8B 58 59 FC 9B 9C 9D 9E 9F
45 55 CE DE 6A 7B 2C 2D AB 2F 5F AC 2E AA AD AE
B0 B1 B2 47 B4 B5 B6 B7 B8 B9 AF 62 BC BD BE BF
20 21 22 23 24 25 26 27 28 29 CA CB CC A1 2A CF
30 31 32 33 34 35 36 37 38 39 DA DB 41 DD 2B DF
70 E1 90 72 73 74 75 76 77 78 EA EB EC ED EE EF
3A 3B 3C 3D 3E 3F 66 67 80 69 B3 FB 9A FD FE 45
"""

ebc_fija = bytes.fromhex(_EBC_FIJA)  # EBCDIC to ASCII, 256 bytes
asc_fija = bytes.fromhex(_ASC_FIJA)  # ASCII to EBCDIC, 256 bytes
assert len(ebc_fija) == 256 and len(asc_fija) == 256

MAX_FRAME = 30000  # a frame, length characters included


def as_bytes(data):
    """bytes unchanged; str encoded byte for byte (latin-1)."""
    if isinstance(data, str):
        return data.encode("latin-1")
    return bytes(data)


def to_ebcdic(data):
    """ASCII text (str or bytes) to EBCDIC bytes through asc_fija."""
    return as_bytes(data).translate(asc_fija)


def from_ebcdic(data):
    """EBCDIC bytes to ASCII bytes through ebc_fija."""
    return as_bytes(data).translate(ebc_fija)


def frame(payload, ebcdic_digits=True):
    """One frame around `payload` (bytes or str, sent as given: convert it
    first with to_ebcdic when the payload travels in EBCDIC)."""
    payload = as_bytes(payload)
    digits = b"%010d" % (len(payload) + 10)
    if ebcdic_digits:
        digits = to_ebcdic(digits)
    return digits + payload


def ebcdic_frame(text):
    """The frame of an ASCII text sent wholly in EBCDIC (digits and payload),
    as the transfer side of vortcp sends and receives it."""
    return frame(to_ebcdic(text), ebcdic_digits=True)


def frame_length(digits, ebcdic_digits=True):
    """The frame length that ten length characters give, or None when they
    are not ten decimal digits."""
    digits = as_bytes(digits)
    if ebcdic_digits:
        digits = from_ebcdic(digits)
    if len(digits) != 10 or not digits.isdigit():
        return None
    return int(digits)


def split_frames(data, ebcdic_digits=True):
    """Cuts a byte stream into frames: returns (list of payloads, rest), the
    rest being an incomplete last frame. Raises ValueError on a length field
    that is not ten digits or counts less than 10."""
    data = as_bytes(data)
    payloads = []
    while len(data) >= 10:
        n = frame_length(data[:10], ebcdic_digits)
        if n is None or n < 10:
            raise ValueError("bad frame length field %r" % data[:10])
        if len(data) < n:
            break
        payloads.append(data[10:n])
        data = data[n:]
    return payloads, data


def show(data):
    """A readable one-line form of wire bytes: the hexadecimal dump and the
    text read both as ASCII and through ebc_fija."""
    data = as_bytes(data)

    def printable(b):
        return "".join(chr(c) if 32 <= c < 127 else "." for c in b)

    return "%d bytes hex=%s ascii=%r ebcdic=%r" % (
        len(data), data.hex(" "), printable(data), printable(from_ebcdic(data)))
