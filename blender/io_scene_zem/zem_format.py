# ZEM model text in Python: the reader that takes and refuses what zemview's loader does, the writer, the palette and its CIEDE2000 match.
"""Reading and writing ZEM model text, with no Blender import, so that plain python3 can test it.

The reader follows the loader step by step: it is a scan for keywords, braces and numbers, not a
grammar, and which texts load (and what they yield) depends on exactly where each search starts.
"""

import math
import re
import struct

NAME_LIMIT = 203  # bytes of a name the loader keeps
MAX_INDICES = 5  # index slots of a polygon record
MAX_VERTICES = 32768  # what 16-bit indices can name
MAX_POLYGONS = 65534

SHAPE_ERROR = "error in SHAPE description"
VECTOR_ERROR = "error in VECTOR description"
POLYGON_ERROR = "error in SPOLY description"

# Display colours, as the viewer hands them to OpenGL: a bright half and its darker repeat.
PALETTE = (
    (0.0, 0.0, 0.0), (0.0, 0.0, 0.6), (0.0, 0.6, 0.0), (0.0, 0.6, 0.6),
    (0.6, 0.0, 0.0), (0.6, 0.0, 0.6), (0.6, 0.5, 0.2), (0.6, 0.6, 0.6),
    (0.3, 0.3, 0.3), (0.3, 0.3, 1.0), (0.3, 1.0, 0.3), (0.3, 1.0, 1.0),
    (1.0, 0.3, 0.3), (1.0, 0.3, 1.0), (1.0, 1.0, 0.3), (1.0, 1.0, 1.0),
    (0.0, 0.0, 0.0), (0.0, 0.0, 0.4), (0.0, 0.4, 0.0), (0.0, 0.4, 0.4),
    (0.4, 0.0, 0.0), (0.4, 0.0, 0.4), (0.4, 0.3, 0.1), (0.4, 0.4, 0.4),
    (0.2, 0.2, 0.2), (0.2, 0.2, 0.8), (0.2, 0.8, 0.2), (0.2, 0.8, 0.8),
    (0.8, 0.2, 0.2), (0.8, 0.2, 0.8), (0.8, 0.8, 0.2), (0.8, 0.8, 0.8),
)


class ZemError(Exception):
    """A model the loader refuses; str() is the loader's own line."""


class Model:
    """The loader's view of a model: y already negated, as the viewer draws it.

    vertices: (x, y, z) 16-bit values; polygons: (colour, indices) with colour 0 to 255 and 0 to 5
    indices into vertices (2 is a segment, 3 to 5 a face)."""

    def __init__(self, name=b"", vertices=None, polygons=None):
        self.name = name  # bytes, at most NAME_LIMIT
        self.vertices = vertices if vertices is not None else []
        self.polygons = polygons if polygons is not None else []


# The C library's white space, an optional sign and digits, as strtol reads them in base 10.
_NUMBER = re.compile(rb"[ \t\n\v\f\r]*([+-]?)([0-9]+)")
_INT64_MAX = (1 << 63) - 1


def _low_bits(value, bits, signed):
    value &= (1 << bits) - 1
    if signed and value >= 1 << (bits - 1):
        value -= 1 << bits
    return value


def negate16(value):
    """-value in 16-bit arithmetic: -32768 stays -32768."""
    return _low_bits(-value, 16, True)


class _Scan:
    """The text up to its first zero byte, read through a cursor that may stand past its end."""

    def __init__(self, data):
        zero = data.find(b"\0")
        self.text = data if zero < 0 else data[:zero]
        self.size = len(self.text)

    def find(self, what, start):
        return -1 if start >= self.size else self.text.find(what, start)

    def number(self, cursor):
        """(value, cursor one character beyond the number); None when cursor stands past the end."""
        if cursor > self.size:
            return None
        match = _NUMBER.match(self.text, cursor)
        if match is None:
            return 0, cursor + 1
        digits = match.group(2).lstrip(b"0")
        # Beyond nineteen digits every value saturates; int() would refuse thousands of them.
        magnitude = int(digits) if 0 < len(digits) <= 19 else (0 if not digits else _INT64_MAX + 2)
        if match.group(1) == b"-":
            value = -min(magnitude, _INT64_MAX + 1)
        else:
            value = min(magnitude, _INT64_MAX)
        return value, match.end() + 1

    def closing_brace(self, cursor):
        if cursor < self.size and self.text[cursor] == 0x7D:
            return cursor
        return self.find(b"}", cursor)


def _header(scan, model):
    keyword = scan.find(b"SHAPE", 0)
    if keyword < 0:
        raise ZemError("not a valid ZEM model")
    start = keyword + 5
    # Control characters, blanks and every byte from 128 up: signed chars of 32 or less.
    while start < scan.size and (scan.text[start] <= 32 or scan.text[start] >= 128):
        start += 1
    suffix = scan.find(b"_shape", start)
    if suffix < 0:
        raise ZemError(SHAPE_ERROR)
    model.name = scan.text[start:start + min(suffix - start, NAME_LIMIT)]
    brace = scan.find(b"{", suffix)
    comma = -1 if brace < 0 else scan.find(b",", brace)
    if comma < 0:
        raise ZemError(SHAPE_ERROR)
    counts = []
    cursor = comma + 1
    for _ in range(2):
        read = scan.number(cursor)
        if read is None:
            raise ZemError(SHAPE_ERROR)
        value, cursor = read
        counts.append(_low_bits(value, 32, True))
    if min(counts) < 0:
        raise ZemError(SHAPE_ERROR)
    return counts


def _open_table(scan, keyword, error, count, braces_per_entry):
    at = scan.find(keyword, 0)
    if at < 0:
        raise ZemError(keyword.decode() + " description missing")
    brace = scan.find(b"{", at)
    # Every entry needs braces of its own: a count the text cannot hold is a text that ran out.
    if brace < 0 or scan.text.count(b"{", brace + 1) // braces_per_entry < count:
        raise ZemError(error)
    return brace


def _read_numbers(scan, cursor, how_many, error):
    values = []
    for _ in range(how_many):
        read = scan.number(cursor)
        if read is None:
            raise ZemError(error)
        value, cursor = read
        values.append(value)
    return values, cursor


def _vertex_table(scan, count):
    cursor = _open_table(scan, b"VECTOR", VECTOR_ERROR, count, 1)
    vertices = []
    for _ in range(count):
        cursor = scan.find(b"{", cursor + 1)
        if cursor < 0:
            raise ZemError(VECTOR_ERROR)
        (x, y, z), cursor = _read_numbers(scan, cursor + 1, 3, VECTOR_ERROR)
        vertices.append((_low_bits(x, 16, True), negate16(_low_bits(y, 16, True)), _low_bits(z, 16, True)))
        cursor = scan.closing_brace(cursor)
        if cursor < 0:
            raise ZemError(VECTOR_ERROR)
    return vertices


def _polygon_table(scan, count, vertex_count):
    cursor = _open_table(scan, b"SPOLY", POLYGON_ERROR, count, 2)
    polygons = []
    fault = None  # the first polygon out of bounds; the table is still read to its end
    for number in range(count):
        cursor = scan.find(b"{", cursor + 1)
        if cursor < 0:
            raise ZemError(POLYGON_ERROR)
        (colour,), cursor = _read_numbers(scan, cursor + 1, 1, POLYGON_ERROR)
        count_start = cursor
        (corners,), cursor = _read_numbers(scan, cursor, 1, POLYGON_ERROR)
        cursor = scan.find(b"{", count_start)
        if cursor < 0:
            raise ZemError(POLYGON_ERROR)
        corners = _low_bits(corners, 8, False)
        if corners > MAX_INDICES and fault is None:
            fault = "%s: polygon %d has %d vertex indices, at most %d are allowed" % (
                POLYGON_ERROR, number, corners, MAX_INDICES)
        written, cursor = _read_numbers(scan, cursor + 1, corners, POLYGON_ERROR)
        indices = tuple(_low_bits(value, 16, True) for value in written)
        for value, index in zip(written, indices):
            if (index < 0 or index >= vertex_count) and fault is None:
                fault = "%s: polygon %d names vertex %d, but the vertex table has %d entries" % (
                    POLYGON_ERROR, number, value, vertex_count)
        polygons.append((_low_bits(colour, 8, False), indices))
        cursor = scan.closing_brace(cursor)  # the index list's
        if cursor >= 0:
            cursor = scan.closing_brace(cursor + 1)  # the entry's
        if cursor < 0:
            raise ZemError(POLYGON_ERROR)
    if fault is not None:
        raise ZemError(fault)
    return polygons


def parse(data):
    """The Model that zemview's loader makes of these bytes; ZemError with its line when it refuses them."""
    scan = _Scan(data)
    model = Model()
    vertex_count, polygon_count = _header(scan, model)
    model.vertices = _vertex_table(scan, vertex_count)
    model.polygons = _polygon_table(scan, polygon_count, vertex_count)
    return model


def read(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        raise ZemError("error: file could not be opened for reading") from None
    return parse(data)


def safe_name(name, fallback="model"):
    """A name the loader reads back as written: identifier characters only, the table keywords
    and the header's suffix with their case changed, as zemconvert names what it imports."""

    def sanitise(text):
        raw = bytearray(text.encode("utf-8")[:NAME_LIMIT])
        for i, byte in enumerate(raw):
            if not (chr(byte).isascii() and (chr(byte).isalnum() or byte == 0x5F)):
                raw[i] = 0x5F
        for word in (b"VECTOR", b"SPOLY", b"_shape"):
            at = raw.find(word)
            while at >= 0:
                for k in range(1, len(word)):
                    raw[at + k] ^= 0x20
                at = raw.find(word, at + len(word))
        return bytes(raw)

    for candidate in (name, fallback):
        safe = sanitise(candidate)
        if safe.strip(b"_"):
            return safe
    return b"model"


def format_model(model):
    """The model as text, in zemconvert's form: the loader reads back exactly this model.

    model.name must already be safe (safe_name); vertices are the loader's view, y negated."""
    name = model.name.decode("ascii")
    lines = ["SHAPE %s_shape = { 0, %d, %d };" % (name, len(model.vertices), len(model.polygons)),
             "VECTOR %s_vector[] = {" % name]
    last = len(model.vertices) - 1
    for i, (x, y, z) in enumerate(model.vertices):
        lines.append("{ %d, %d, %d }%s" % (x, negate16(y), z, "," if i < last else ""))
    lines.append("};")
    lines.append("SPOLY %s_spoly[] = {" % name)
    last = len(model.polygons) - 1
    for p, (colour, indices) in enumerate(model.polygons):
        listed = ", ".join(str(i) for i in indices)
        lines.append("{ %d, %d, { %s%s} }%s" % (colour, len(indices), listed, " " if indices else "",
                                              "," if p < last else ""))
    lines.append("};")
    return "\n".join(lines) + "\n"


def dump(model):
    """One line per fact, the form the C++ dump tool prints, for comparing the two loaders."""
    out = ["name " + model.name.hex(), "vertices %d" % len(model.vertices)]
    out += ["v %d %d %d" % v for v in model.vertices]
    out.append("polygons %d" % len(model.polygons))
    out += ["p %d %d%s" % (c, len(ix), "".join(" %d" % i for i in ix)) for c, ix in model.polygons]
    return "\n".join(out) + "\n"


# Colours: the viewer's palette is display (sRGB) colour; Blender's base colour is linear.

def _clamp01(c):
    return c if 0 < c < 1 else (1.0 if c >= 1 else 0.0)  # NaN to 0


def linear_from_srgb(encoded):
    c = _clamp01(encoded)
    return c / 12.92 if c <= 0.04045 else math.pow((c + 0.055) / 1.055, 2.4)


def srgb_from_linear(linear):
    c = _clamp01(linear)
    return c * 12.92 if c <= 0.0031308 else 1.055 * math.pow(c, 1 / 2.4) - 0.055


def _float32(value):
    return struct.unpack("f", struct.pack("f", value))[0]


def _lab_curve(t):
    delta = 6.0 / 29.0
    return math.cbrt(t) if t > delta * delta * delta else t / (3 * delta * delta) + 4.0 / 29.0


def _lab_from_srgb(red, green, blue):
    r = linear_from_srgb(red)
    g = linear_from_srgb(green)
    b = linear_from_srgb(blue)
    x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047
    y = 0.2126 * r + 0.7152 * g + 0.0722 * b
    z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883
    fx, fy, fz = _lab_curve(x), _lab_curve(y), _lab_curve(z)
    return 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)


_PALETTE_LAB = [_lab_from_srgb(*c) for c in PALETTE]
_NEUTRAL = [c[0] == c[1] == c[2] for c in PALETTE]
# CIELAB chroma from which a colour has a hue and takes none of the palette's greys.
_NEAR_NEUTRAL_CHROMA = 10


def _hue_degrees(b, a):
    if a == 0 and b == 0:
        return 0.0
    h = math.degrees(math.atan2(b, a))
    return h + 360 if h < 0 else h


def colour_difference_2000(lab1, lab2):
    """The CIEDE2000 difference of two CIELAB colours, as zemconvert's import computes it."""
    l1, a1, b1 = lab1
    l2, a2, b2 = lab2
    mean_c7 = ((math.hypot(a1, b1) + math.hypot(a2, b2)) / 2) ** 7
    g = 0.5 * (1 - math.sqrt(mean_c7 / (mean_c7 + 25.0 ** 7)))
    a1p, a2p = (1 + g) * a1, (1 + g) * a2
    c1p, c2p = math.hypot(a1p, b1), math.hypot(a2p, b2)
    h1p, h2p = _hue_degrees(b1, a1p), _hue_degrees(b2, a2p)
    achromatic = c1p * c2p == 0
    dhp = 0.0
    if not achromatic:
        dhp = h2p - h1p
        if dhp > 180:
            dhp -= 360
        elif dhp < -180:
            dhp += 360
    d_l, d_c = l2 - l1, c2p - c1p
    d_h = 2 * math.sqrt(c1p * c2p) * math.sin(math.radians(dhp / 2))
    mean_l, mean_cp = (l1 + l2) / 2, (c1p + c2p) / 2
    mean_h = h1p + h2p
    if not achromatic:
        if abs(h1p - h2p) <= 180:
            mean_h /= 2
        else:
            mean_h = (mean_h + 360 if mean_h < 360 else mean_h - 360) / 2
    t = (1 - 0.17 * math.cos(math.radians(mean_h - 30)) + 0.24 * math.cos(math.radians(2 * mean_h))
         + 0.32 * math.cos(math.radians(3 * mean_h + 6)) - 0.20 * math.cos(math.radians(4 * mean_h - 63)))
    rotation = 30 * math.exp(-((mean_h - 275) / 25) * ((mean_h - 275) / 25))
    mean_cp7 = mean_cp ** 7
    rc = 2 * math.sqrt(mean_cp7 / (mean_cp7 + 25.0 ** 7))
    sl = 1 + 0.015 * (mean_l - 50) * (mean_l - 50) / math.sqrt(20 + (mean_l - 50) * (mean_l - 50))
    sc = 1 + 0.045 * mean_cp
    sh = 1 + 0.015 * mean_cp * t
    rt = -math.sin(math.radians(2 * rotation)) * rc
    lightness, chroma, hue = d_l / sl, d_c / sc, d_h / sh
    return math.sqrt(lightness * lightness + chroma * chroma + hue * hue + rt * chroma * hue)


def nearest_palette_entry(linear_rgb):
    """The entry zemconvert's import picks for a material of this linear colour: the nearest by
    CIEDE2000 to the colour shown, the first of equals (the bright black before the dark one); a
    colour with a hue takes a colour with one."""
    shown = []
    for c in linear_rgb[:3]:
        # zemconvert takes the shown colour in single precision; NaN counts as 0.
        shown.append(_float32(srgb_from_linear(float(c))))
    wanted = _lab_from_srgb(*shown)
    hued = math.hypot(wanted[1], wanted[2]) >= _NEAR_NEUTRAL_CHROMA
    best, best_distance = 0, math.inf
    for i, lab in enumerate(_PALETTE_LAB):
        if hued and _NEUTRAL[i]:
            continue
        distance = colour_difference_2000(lab, wanted)
        if distance < best_distance:
            best, best_distance = i, distance
    return best
