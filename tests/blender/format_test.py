# The add-on's format module held to the C++ code: the loader on every sample, test and fuzz-corpus file, the writer's text, the palette match.
"""Run with plain python3; ZEM_ORACLE names the C++ tool that prints the loader's view and the
palette match, ZEM_SOURCE_DIR the source tree, ZEM_BUILD_DIR the build with zemgen."""

import glob
import os
import random
import struct
import subprocess
import sys
import tempfile
import unittest

SOURCE = os.environ["ZEM_SOURCE_DIR"]
ORACLE = os.environ["ZEM_ORACLE"]
# The module alone: the package's __init__ needs Blender.
sys.path.insert(0, os.path.join(SOURCE, "blender", "io_scene_zem"))
import zem_format  # noqa: E402


def oracle_views(paths):
    """The loader's view of each file, as zem_oracle prints it: {path: text}."""
    out = subprocess.run([ORACLE, "load", *paths], check=True, capture_output=True).stdout.decode("latin-1")
    views, current = {}, None
    for line in out.splitlines(keepends=True):
        if line.startswith("file "):
            current = line[5:-1]
            views[current] = ""
        else:
            views[current] += line
    return views


def python_view(data):
    try:
        return zem_format.dump(zem_format.parse(data))
    except zem_format.ZemError as error:
        return "error %s\n" % error


def sample_models():
    return sorted(glob.glob(os.path.join(SOURCE, "models", "*.zem")))


def generated_models(folder):
    """zemgen's models beside the samples: the largest random model the format holds, a terrain."""
    zemgen = os.path.join(os.environ["ZEM_BUILD_DIR"], "zemgen")
    made = []
    for name, arguments in (("random.zem", ["random", "32767", "65534", "7"]), ("terrain.zem", ["terrain"])):
        path = os.path.join(folder, name)
        with open(path, "wb") as f:
            subprocess.run([zemgen, *arguments], check=True, stdout=f)
        made.append(path)
    return made


class LoaderAgreement(unittest.TestCase):
    def assert_same_views(self, paths):
        views = oracle_views(paths)
        self.assertEqual(len(views), len(paths))
        for path in paths:
            with open(path, "rb") as f:
                self.assertEqual(python_view(f.read()), views[path], path)

    def test_fuzz_corpus_taken_and_refused_alike(self):
        corpus = sorted(glob.glob(os.path.join(SOURCE, "fuzz", "corpus", "*")))
        self.assertGreater(len(corpus), 200)
        self.assert_same_views(corpus)
        # Both kinds are there: files the loader takes and files it refuses, with several messages.
        views = oracle_views(corpus)
        refusals = {v for v in views.values() if v.startswith("error ")}
        self.assertGreater(len(refusals), 5)
        self.assertGreater(sum(not v.startswith("error ") for v in views.values()), 20)

    def test_sample_and_generated_models(self):
        with tempfile.TemporaryDirectory() as folder:
            self.assert_same_views(sample_models() + generated_models(folder))

    def test_every_prefix_of_the_small_samples(self):
        # A model cut anywhere runs out of text in every place the scan can be.
        with tempfile.TemporaryDirectory() as folder:
            paths = []
            for sample in sample_models():
                with open(sample, "rb") as f:
                    data = f.read()
                if len(data) > 2000:
                    continue
                for end in range(len(data)):
                    path = os.path.join(folder, "%s.%d" % (os.path.basename(sample), end))
                    with open(path, "wb") as f:
                        f.write(data[:end])
                    paths.append(path)
            self.assert_same_views(paths)

    def test_hand_made_edge_cases(self):
        cases = [
            b"MYSHAPES tetra_shape = { 0, 1, 0 }; VECTOR {{ 7, -5, 3 }} SPOLY {",
            b"SHAPE \x80\xff  my t_shape { 0, 1 , 5 } VECTOR { { 1,2,3} {4, 5, 6 } } SPOLY {",
            b"SHAPE a_shape { 0, 2, 1 } VECTOR { { 1, 2, -32768 }, { 99999999999999999999999, -65536, 40000 } }"
            b" SPOLY { { 300, 2, { 1, 0 }} }",
            b"SHAPE a_shape { 0, 1, 2 } VECTOR { { 1, 2, 3 } } SPOLY { { 1, 6, { 0,0,0,0,0,0 } }, { 1, 1, { 9 } } }",
            b"SHAPE a_shape { 0, 1, 1 } VECTOR { { 1, 2, 3 } } SPOLY { { 1, 3, { 0, 65536, -1 } } }",
            # The first fault is the one reported, whatever follows.
            b"SHAPE a_shape { 0, 1, 3 } VECTOR { { 1, 2, 3 } } SPOLY { { 1, 3, { 0, 0, 0 } }, { 1, 3, { 0, 7, 0 } },"
            b" { 1, 7, { 0,0,0,0,0,0,0 } } }",
            b"SHAPE a_shape { 0, 1, 2 } VECTOR { { 1, 2, 3 } } SPOLY { { 1, 6, { 0,0,0,0,0,0 } }, { 1, 3, { 0, 7, 0 } } }",
            b"SHAPE a_shape { 0, 1, 1 } VECTOR { { 1, 2, 3 } } SPOLY { { 1, 3, { 0, 0",
            b"SHAPE a_shape { 0, 1, 1 } VECTOR { { +1, - 2, 3\0 } } SPOLY { { 1, 0, { } } }",
            b"SHAPE a_shape { 0, -1, 1 }",
            b"SHAPE a_shape { 0, 4294967297, 0 } VECTOR { { 1, 2, 3 } } SPOLY {",
            b"SHAPE a_shape { 0, 1, 0 } VECTOR { {" + b"9" * 6000 + b", -" + b"0" * 5000 + b"7, 3 } } SPOLY {",
        ]
        with tempfile.TemporaryDirectory() as folder:
            paths = []
            for i, text in enumerate(cases):
                paths.append(os.path.join(folder, "case%d.zem" % i))
                with open(paths[-1], "wb") as f:
                    f.write(text)
            self.assert_same_views(paths)


class Writer(unittest.TestCase):
    def test_samples_written_as_zemconvert_writes_them(self):
        # The samples come from the C++ writer: the Python writer gives back the same bytes.
        for sample in sample_models():
            with open(sample, "rb") as f:
                data = f.read()
            self.assertEqual(zem_format.format_model(zem_format.parse(data)).encode(), data, sample)

    def test_written_models_load_as_written(self):
        rng = random.Random(3)
        vertices = [(-32768, -32768, 32767), (32767, 32767, -32768), (0, 0, 0)] + [
            tuple(rng.randint(-32768, 32767) for _ in range(3)) for _ in range(50)]
        polygons = [(0, ()), (255, (1, 2)), (31, (0, 1, 2, 3, 4))] + [
            (rng.randint(0, 255), tuple(rng.randrange(len(vertices)) for _ in range(rng.randint(2, 5))))
            for _ in range(100)]
        model = zem_format.Model(zem_format.safe_name("a VECTOR SPOLY_shape name"), vertices, polygons)
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "written.zem")
            with open(path, "w") as f:
                f.write(zem_format.format_model(model))
            self.assertEqual(oracle_views([path])[path], zem_format.dump(model))

    def test_names_made_safe_as_zemconvert_makes_them(self):
        pairs = [("My VECTOR_shape.001", "x"), ("\u00e9t\u00e9 SPOLYSPOLY", "x"), ("...", "cube"), ("", ""),
                 ("x" * 300, "x"), ("Suzanne", "monkey"), ("_shape_shape", "VECTOR")]
        text = "".join("%s\n%s\n" % pair for pair in pairs)
        answer = subprocess.run([ORACLE, "names"], input=text.encode(), check=True, capture_output=True).stdout
        self.assertEqual([zem_format.safe_name(*pair) for pair in pairs], answer.splitlines())


def next_float32(value, steps):
    """The single-precision number steps representable values away from value."""
    bits = struct.unpack("<i", struct.pack("<f", value))[0]
    return struct.unpack("<f", struct.pack("<i", bits + steps))[0]


def boundary_colours():
    """Colours on either side of where the nearest entry changes, between pairs of entries, a few
    single-precision steps apart: where the shown colour's rounding decides."""
    rng = random.Random(5)
    linear = [[zem_format.linear_from_srgb(c) for c in entry] for entry in zem_format.PALETTE]
    found = []
    for _ in range(60):
        a, b = rng.sample(linear, 2)
        mix = lambda t: [x + (y - x) * t for x, y in zip(a, b)]  # noqa: E731
        low, high = 0.0, 1.0
        if zem_format.nearest_palette_entry(mix(low)) == zem_format.nearest_palette_entry(mix(high)):
            continue
        for _ in range(60):
            middle = (low + high) / 2
            if zem_format.nearest_palette_entry(mix(middle)) == zem_format.nearest_palette_entry(mix(low)):
                low = middle
            else:
                high = middle
        centre = mix(low)
        for channel in range(3):
            for step in range(-12, 13):
                colour = [zem_format._float32(c) for c in centre]
                if colour[channel] > 0:
                    colour[channel] = next_float32(colour[channel], step)
                found.append(tuple(colour))
    return found


class PaletteMatch(unittest.TestCase):
    def test_same_entry_as_zemconvert_across_colours(self):
        rng = random.Random(11)
        steps = [i / 16 for i in range(17)]
        colours = [(r, g, b) for r in steps for g in steps for b in steps]
        colours += [tuple(rng.random() for _ in range(3)) for _ in range(5000)]
        # The palette's own colours in linear light, and either side of them, where ties are near.
        for entry in zem_format.PALETTE:
            linear = [zem_format.linear_from_srgb(c) for c in entry]
            colours += [tuple(c + d for c in linear) for d in (-1e-4, 0.0, 1e-4)]
        colours += [(-1.0, 2.0, 0.5), (float("nan"), 0.2, 0.3), (float("inf"), float("-inf"), 0.0)]
        colours += boundary_colours()
        # Both sides see the colours as Blender holds them, in single precision.
        colours = [tuple(zem_format._float32(c) for c in colour) for colour in colours]
        text = "".join("%.9g %.9g %.9g\n" % c for c in colours)
        answer = subprocess.run([ORACLE, "palette"], input=text.encode(), check=True, capture_output=True).stdout
        expected = [int(line) for line in answer.split()]
        self.assertEqual(len(expected), len(colours))
        mine = [zem_format.nearest_palette_entry(c) for c in colours]
        mismatches = [(c, e, m) for c, e, m in zip(colours, expected, mine) if e != m]
        self.assertEqual(mismatches, [])
        self.assertGreater(len(set(expected)), 25)  # nearly every entry is somebody's nearest


if __name__ == "__main__":
    unittest.main()
