# The add-on's checks inside Blender: enabled from an install tree, import and export held to the C++ loader's view of each file.
"""Run by addon.sh: blender -b --factory-startup --python-exit-code 1 --python addon_checks.py.

ZEM_ADDON_SCRIPTS is the installed scripts folder, ZEM_ORACLE the C++ tool that prints the
loader's view, ZEM_SOURCE_DIR the source tree, ZEM_BUILD_DIR the build with zemrender, ZEM_SCRATCH a
folder for written files. Blender's workbench renders with OpenGL, so a display is needed."""

import glob
import math
import os
import subprocess
import sys
import traceback

import addon_utils
import bpy

SOURCE = os.environ["ZEM_SOURCE_DIR"]
ORACLE = os.environ["ZEM_ORACLE"]
SCRATCH = os.environ["ZEM_SCRATCH"]
ADDON_SCRIPTS = os.environ["ZEM_ADDON_SCRIPTS"]
ZEMRENDER = os.path.join(os.environ["ZEM_BUILD_DIR"], "zemrender")

checks = []


def check(function):
    checks.append(function)
    return function


def oracle(paths):
    """The loader's view of each file: {path: lines}, "error LINE" for a refused one."""
    out = subprocess.run([ORACLE, "load", *paths], check=True, capture_output=True).stdout.decode("latin-1")
    views, current = {}, None
    for line in out.splitlines():
        if line.startswith("file "):
            current = line[5:]
            views[current] = []
        else:
            views[current].append(line)
    return views


def oracle_one(path):
    return oracle([path])[path]


def body(view):
    """A view without its name line: the name follows the object, the rest must not change."""
    return [line for line in view if not line.startswith("name ")]


def clear_scene():
    for collection in (bpy.data.objects, bpy.data.meshes, bpy.data.materials):
        for block in list(collection):
            collection.remove(block)


def import_zem(path, **options):
    before = set(bpy.data.objects)
    bpy.ops.import_scene.zem(filepath=path, **options)
    (obj,) = set(bpy.data.objects) - before
    return obj


def export_zem(path, **options):
    bpy.ops.export_scene.zem(filepath=path, **options)
    return oracle_one(path)


def refusal(operator, **options):
    """The report of an operator that refuses, as Blender raises it in the background."""
    try:
        operator(**options)
    except RuntimeError as error:
        return str(error)
    raise AssertionError("not refused: %r" % (options,))


def expect(condition, what):
    if not condition:
        raise AssertionError(what)


def expect_equal(got, wanted, what):
    if got != wanted:
        raise AssertionError("%s: got %r, wanted %r" % (what, got, wanted))


def kept_polygons(view):
    """The polygon lines of a loaded view that a Blender mesh holds: not those of 0 or 1 index, not
    those with a corner twice, not a segment over a pair an earlier segment joins."""
    kept, pairs = [], set()
    for line in view:
        if not line.startswith("p "):
            continue
        numbers = [int(n) for n in line.split()[1:]]
        indices = numbers[2:]
        if len(indices) < 2 or len(set(indices)) < len(indices):
            continue
        if len(indices) == 2:
            if frozenset(indices) in pairs:
                continue
            pairs.add(frozenset(indices))
        kept.append(line)
    return kept


def round_trip(path, view):
    """Import, export untouched; the loader sees the same vertices, polygons, colours and segments."""
    clear_scene()
    obj = import_zem(path)
    vertices = [line for line in view if line.startswith("v ")]
    expect_equal(len(obj.data.vertices), len(vertices), path + ": vertices imported")
    out = os.path.join(SCRATCH, "round.zem")
    written = export_zem(out)
    polygons = kept_polygons(view)
    wanted = ["vertices %d" % len(vertices)] + vertices + ["polygons %d" % len(polygons)] + polygons
    expect_equal(body(written), wanted, path + ": round trip")


@check
def enabled_from_the_installed_folder():
    expect(not addon_utils.check("io_scene_zem")[1], "the add-on stays disabled until enabled")
    module = addon_utils.enable("io_scene_zem", default_set=True)
    expect(module is not None, "the add-on enables")
    expect(module.__file__.startswith(ADDON_SCRIPTS), "enabled from the install tree: " + module.__file__)
    expect(hasattr(bpy.ops.import_scene, "zem") and hasattr(bpy.ops.export_scene, "zem"), "operators registered")
    for menu in (bpy.types.TOPBAR_MT_file_import, bpy.types.TOPBAR_MT_file_export):
        expect(any(getattr(f, "__module__", "").startswith("io_scene_zem") for f in menu._dyn_ui_initialize()),
               "menu entry in " + menu.__name__)


@check
def samples_import_as_the_loader_reads_them():
    from io_scene_zem import zem_format

    samples = sorted(glob.glob(os.path.join(SOURCE, "models", "*.zem")))
    expect(len(samples) >= 5, "the sample models are there")
    views = oracle(samples)
    for path in samples:
        clear_scene()
        obj = import_zem(path)
        view = views[path]
        vertices = [tuple(int(n) for n in line.split()[1:]) for line in view if line.startswith("v ")]
        positions = [tuple(v.co) for v in obj.data.vertices]
        # Blender's X right, Y away from the front view, Z up: the loader's x, -z and y.
        expect_equal(positions, [(x, -z, y) for x, y, z in vertices], path + ": positions")
        faces = [line.split()[1:] for line in view if line.startswith("p ") and int(line.split()[2]) >= 3]
        mesh = obj.data
        got = [(mesh.materials[p.material_index].name, list(p.vertices)) for p in mesh.polygons]
        expect_equal(got, [("ZEM " + f[0], [int(i) for i in f[2:]]) for f in faces], path + ": faces and colours")
        for material in mesh.materials:
            entry = zem_format.PALETTE[int(material.name.split()[1]) % 32]
            linear = tuple(zem_format.linear_from_srgb(c) for c in entry)
            base = tuple(material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value)[:3]
            expect(all(abs(a - b) < 1e-6 for a, b in zip(base, linear)), material.name + ": linear base colour")
        expect_equal(obj.name, bytes.fromhex(view[0].split()[1]).decode(), path + ": object named after the shape")
        round_trip(path, view)


@check
def a_model_of_the_formats_size_round_trips():
    # zemgen's terrain: 31,684 vertices and 62,658 triangles, near both limits.
    path = os.path.join(SCRATCH, "terrain.zem")
    with open(path, "wb") as f:
        subprocess.run([os.path.join(os.environ["ZEM_BUILD_DIR"], "zemgen"), "terrain"], check=True, stdout=f)
    round_trip(path, oracle_one(path))


@check
def the_fuzz_corpus_taken_alike_and_refused_with_the_loaders_line():
    corpus = sorted(glob.glob(os.path.join(SOURCE, "fuzz", "corpus", "*")))
    views = oracle(corpus)
    taken = refused = 0
    for path in corpus:
        view = views[path]
        if view[0].startswith("error "):
            clear_scene()
            blocks = len(bpy.data.meshes), len(bpy.data.objects), len(bpy.data.materials)
            report = refusal(bpy.ops.import_scene.zem, filepath=path)
            expect(view[0][len("error "):] in report, "%s: report %r" % (path, report))
            expect_equal((len(bpy.data.meshes), len(bpy.data.objects), len(bpy.data.materials)), blocks,
                         path + ": nothing half-made left")
            refused += 1
        else:
            round_trip(path, view)
            taken += 1
    expect(taken > 20 and refused > 20, "both kinds: %d taken, %d refused" % (taken, refused))


@check
def segments_keep_their_place_direction_and_colour():
    # A segment along a face's edge, one turned against the face, colours beyond 31, a point.
    path = os.path.join(SCRATCH, "segments.zem")
    with open(path, "w") as f:
        f.write("SHAPE s_shape = { 0, 4, 6 }; VECTOR s_vector[] = { { 0, 0, 0 }, { 100, 0, 0 }, { 0, 100, 0 },"
                " { 0, 0, 100 } }; SPOLY s_spoly[] = { { 40, 2, { 1, 0 } }, { 3, 3, { 0, 1, 2 } },"
                " { 7, 1, { 3 } }, { 255, 2, { 2, 3 } }, { 9, 4, { 0, 1, 3, 2 } }, { 1, 2, { 3, 0 } } };\n")
    round_trip(path, oracle_one(path))


@check
def what_is_left_out_is_reported():
    # Blender prints an operator's reports on standard output in the background: addon.sh compares
    # the lines between the two marks with what this model should be told.
    path = os.path.join(SCRATCH, "left-out.zem")
    with open(path, "w") as f:
        f.write("SHAPE l_shape = { 0, 3, 9 }; VECTOR l_vector[] = { { 0, 0, 0 }, { 9, 0, 0 }, { 0, 9, 0 } };"
                " SPOLY l_spoly[] = { { 1, 0, { } }, { 1, 1, { 2 } }, { 1, 0, { } }, { 2, 3, { 0, 1, 1 } },"
                " { 3, 2, { 2, 2 } }, { 1, 2, { 0, 1 } }, { 1, 2, { 1, 0 } }, { 1, 2, { 0, 1 } }, { 1, 3, { 0, 1, 2 } } };\n")
    clear_scene()
    print("reports of left-out.zem:", flush=True)
    obj = import_zem(path)
    print("end of reports", flush=True)
    expect_equal((len(obj.data.polygons), len(obj.data.edges)), (1, 3), "one face, its edges, one segment among them")


@check
def axes_put_the_viewers_first_frame_in_the_front_view():
    # The viewer looks along -z with y up (its y is the file's, negated); Blender's front view
    # looks along +Y with Z up. A vertex written (10, 20, 30) is seen at 10 right, 20 down, 30 near.
    path = os.path.join(SCRATCH, "axes.zem")
    with open(path, "w") as f:
        f.write("SHAPE a_shape = { 0, 1, 0 }; VECTOR a_vector[] = { { 10, 20, 30 } }; SPOLY a_spoly[] = { };\n")
    clear_scene()
    obj = import_zem(path, scale=0.5)
    expect_equal(tuple(obj.data.vertices[0].co), (5.0, -15.0, -10.0), "the vertex in Blender's axes at scale 0.5")
    expect_equal(body(export_zem(os.path.join(SCRATCH, "axes-out.zem"), scale=2.0)),
                 ["vertices 1", "v 10 -20 30", "polygons 0"], "back at scale 2")


def front_view_mask(path, by_alpha):
    """Where a picture shows the model, row by row from the top: the pixels that are not the
    black background, or (by_alpha) those that are not transparent."""
    image = bpy.data.images.load(path)
    width, height = image.size
    pixels = list(image.pixels)
    bpy.data.images.remove(image)
    # Blender's pixels start at the bottom row.
    def shows(at):
        return pixels[at + 3] > 0.5 if by_alpha else sum(pixels[at:at + 3]) > 0.03

    mask = [[shows(4 * (y * width + x)) for x in range(width)] for y in range(height)]
    return mask[::-1]


def overlap(a, b):
    both = sum(p and q for row_a, row_b in zip(a, b) for p, q in zip(row_a, row_b))
    either = sum(p or q for row_a, row_b in zip(a, b) for p, q in zip(row_a, row_b))
    return both / either


@check
def the_front_view_renders_what_zemview_shows_first():
    # zemrender draws the viewer's first frame; Blender renders the import through a camera where
    # the front view looks from, with the viewer's field of view. The tetrahedron's apex points
    # down in the viewer, so a wrong turn or flip of the axes shows.
    model = os.path.join(SOURCE, "models", "tetra.zem")
    viewer = os.path.join(SCRATCH, "viewer.png")
    subprocess.run([ZEMRENDER, model, viewer], check=True)
    clear_scene()
    import_zem(model)
    scene = bpy.context.scene
    camera = bpy.data.objects.new("eye", bpy.data.cameras.new("eye"))
    camera.location = (0, -500, 0)  # the viewer's eye, 500 units in front of the model
    camera.rotation_euler = (math.pi / 2, 0, 0)  # Blender's front view: looking along +Y, Z up
    camera.data.sensor_fit = "VERTICAL"
    camera.data.angle = math.radians(45)
    scene.collection.objects.link(camera)
    scene.camera = camera
    scene.render.engine = "BLENDER_WORKBENCH"
    scene.render.resolution_x, scene.render.resolution_y, scene.render.resolution_percentage = 640, 480, 100
    scene.render.film_transparent = True
    scene.render.image_settings.color_mode = "RGBA"
    scene.render.filepath = os.path.join(SCRATCH, "blender.png")
    bpy.ops.render.render(write_still=True)
    seen, shown = front_view_mask(scene.render.filepath, True), front_view_mask(viewer, False)
    expect(sum(map(sum, shown)) > 20000, "zemrender shows the model")
    expect(overlap(seen, shown) > 0.95, "the same outline: overlap %.3f" % overlap(seen, shown))
    expect(overlap(seen[::-1], shown) < 0.5, "and not upside down: overlap %.3f" % overlap(seen[::-1], shown))


@check
def shading_as_asked():
    clear_scene()
    flat = import_zem(os.path.join(SOURCE, "models", "cube.zem"))
    smooth = import_zem(os.path.join(SOURCE, "models", "cube.zem"), smooth=True)
    expect(not any(p.use_smooth for p in flat.data.polygons), "flat by default")
    expect(all(p.use_smooth for p in smooth.data.polygons), "smooth when asked")


def expected_vertices(objects, scale, evaluated):
    """The loader's view of the objects' vertices as the export should write them, in world space."""
    from io_scene_zem.export_zem import _round

    depsgraph = bpy.context.evaluated_depsgraph_get()
    lines = []
    for obj in objects:
        source = obj.evaluated_get(depsgraph) if evaluated else obj
        mesh = source.to_mesh()
        for v in mesh.vertices:
            world = obj.matrix_world @ v.co
            lines.append("v %d %d %d" % (_round(world.x * scale), _round(world.z * scale), _round(-world.y * scale)))
        source.to_mesh_clear()
    return lines


@check
def the_monkey_exported_in_world_space():
    clear_scene()
    bpy.ops.mesh.primitive_monkey_add(location=(1, 2, 3), rotation=(0.3, 0.2, 0.1))
    monkey = bpy.context.object
    view = export_zem(os.path.join(SCRATCH, "monkey.zem"), scale=100.0)
    expect_equal(view[1:509], ["vertices 507"] + expected_vertices([monkey], 100.0, False), "monkey vertices")
    polygons = [line.split()[2:] for line in view if line.startswith("p ")]
    expect_equal([[int(i) for i in p[1:]] for p in polygons], [list(p.vertices) for p in monkey.data.polygons],
                 "monkey polygons in Blender's order and winding")
    expect_equal(bytes.fromhex(view[0].split()[1]), b"Suzanne", "named after the one object")


@check
def ngons_split_into_fans():
    clear_scene()
    bpy.ops.mesh.primitive_circle_add(vertices=8, radius=100, fill_type="NGON")
    ring = list(bpy.context.object.data.polygons[0].vertices)
    view = export_zem(os.path.join(SCRATCH, "ngon.zem"))
    polygons = [[int(n) for n in line.split()[3:]] for line in view if line.startswith("p ")]
    expect_equal(polygons, [[ring[0], ring[k], ring[k + 1]] for k in range(1, 7)], "a fan of six triangles")


@check
def mirrored_and_edited_objects_keep_their_faces_outwards():
    clear_scene()
    bpy.ops.mesh.primitive_plane_add(size=100)
    plane = bpy.context.object
    ring = list(plane.data.polygons[0].vertices)
    plane.scale.x = -1
    view = export_zem(os.path.join(SCRATCH, "mirrored.zem"))
    corners = [[int(n) for n in line.split()[3:]] for line in view if line.startswith("p ")]
    expect_equal(corners, [[ring[0], ring[3], ring[2], ring[1]]], "a mirrored face turned back")
    plane.scale.x = 1
    # Moved in edit mode, not yet handed over to the mesh.
    bpy.ops.object.mode_set(mode="EDIT")
    bpy.ops.mesh.select_all(action="SELECT")
    bpy.ops.transform.translate(value=(0, 0, 7))
    view = export_zem(os.path.join(SCRATCH, "edited.zem"), use_modifiers=False)
    bpy.ops.object.mode_set(mode="OBJECT")
    expect(all(line.split()[2] == "7" for line in view if line.startswith("v ")), "the edit exported: %r" % view)


@check
def several_objects_with_and_without_modifiers():
    clear_scene()
    bpy.ops.mesh.primitive_cube_add(size=20, location=(100, 0, 0))
    cube = bpy.context.object
    array = cube.modifiers.new("array", "ARRAY")
    array.count = 3
    bpy.ops.mesh.primitive_ico_sphere_add(radius=30, location=(-50, 40, 10), rotation=(0.5, 0, 1))
    sphere = bpy.context.object
    sphere.modifiers.new("subdivision", "SUBSURF").levels = 1
    objects = [o for o in bpy.context.scene.objects if o.type == "MESH"]
    for use_modifiers in (True, False):
        view = export_zem(os.path.join(SCRATCH, "several.zem"), use_modifiers=use_modifiers, scale=10.0)
        vertices = expected_vertices(objects, 10.0, use_modifiers)
        expect_equal(view[1:2 + len(vertices)], ["vertices %d" % len(vertices)] + vertices,
                     "vertices with modifiers %s" % use_modifiers)
    expect_equal(len(expected_vertices([cube], 1, True)), 24, "the array made three cubes")
    bpy.ops.object.select_all(action="DESELECT")
    sphere.select_set(True)
    view = export_zem(os.path.join(SCRATCH, "selected.zem"), use_selection=True)
    expect_equal(view[1:2], ["vertices %d" % len(expected_vertices([sphere], 1, True))], "the selection only")


@check
def colours_from_zem_names_else_the_nearest_entry():
    from io_scene_zem import zem_format

    clear_scene()
    bpy.ops.mesh.primitive_plane_add(size=100)
    plane = bpy.context.object
    bpy.ops.mesh.primitive_plane_add(size=100, location=(0, 0, 200))  # no material: Blender's default grey
    chosen = []
    for name, colour in (("ZEM 12.001", (0, 0, 1, 1)), ("ZEM 300", (0.9, 0.02, 0.02, 1)), ("Leaf", (0.05, 0.6, 0.1, 1))):
        material = bpy.data.materials.new(name)
        material.use_nodes = True
        material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = colour
        plane.data.materials.clear()
        plane.data.materials.append(material)
        view = export_zem(os.path.join(SCRATCH, "colour.zem"))
        chosen.append([int(line.split()[1]) for line in view if line.startswith("p ")])
    # The nearest entry itself is held to zemconvert's by format_test.py.
    grey = zem_format.nearest_palette_entry((0.8, 0.8, 0.8))
    expect_equal(chosen, [[12, grey], [zem_format.nearest_palette_entry((0.9, 0.02, 0.02)), grey],
                          [zem_format.nearest_palette_entry((0.05, 0.6, 0.1)), grey]], "colours of the two planes")


def triangles_over(vertex_count, faces):
    """A mesh of distinct triangles over few vertices: many polygons, few vertices."""
    triples = []
    for a in range(vertex_count):
        for b in range(a + 1, vertex_count - 1):
            triples.append((a, b, b + 1))
            if len(triples) == faces:
                return triples
    raise ValueError("too few vertices")


@check
def limits_refused_with_the_way_out_and_nothing_written():
    clear_scene()
    target = os.path.join(SCRATCH, "limits.zem")
    with open(target, "w") as f:
        f.write("before\n")
    bpy.ops.mesh.primitive_cube_add(size=100)
    bpy.context.object.modifiers.new("subdivision", "SUBSURF").levels = 7
    report = refusal(bpy.ops.export_scene.zem, filepath=target)
    for words in ("32768", "Decimate", "zemconvert"):
        expect(words in report, "the vertex refusal names %s: %r" % (words, report))
    export_zem(target, use_modifiers=False)  # the same cube without its subdivision fits

    clear_scene()
    for faces, fits in ((65534, True), (65535, False)):
        mesh = bpy.data.meshes.new("many")
        mesh.from_pydata([(i, (i * 7) % 13, (i * 5) % 11) for i in range(400)], [], triangles_over(400, faces))
        obj = bpy.data.objects.new("many", mesh)
        bpy.context.collection.objects.link(obj)
        if fits:
            expect_equal(export_zem(target)[-1].split()[0], "p", "65534 polygons written")
            os.replace(target, target + ".ok")
        else:
            report = refusal(bpy.ops.export_scene.zem, filepath=target)
            expect("65534" in report and "Decimate" in report, "the polygon refusal: %r" % report)
        bpy.data.objects.remove(obj)
        bpy.data.meshes.remove(mesh)

    clear_scene()
    mesh = bpy.data.meshes.new("far")
    mesh.from_pydata([(0, 0, -32768), (32767, 32768, 0), (40000, 0, 0)], [], [])
    bpy.context.collection.objects.link(bpy.data.objects.new("far", mesh))
    with open(target, "w") as f:
        f.write("before\n")
    report = refusal(bpy.ops.export_scene.zem, filepath=target)
    expect("scale" in report and "32767" in report, "the range refusal names the scale: %r" % report)
    with open(target) as f:
        expect_equal(f.read(), "before\n", "a refused export leaves the target as it was")
    mesh.vertices[2].co.x = 32767
    expect_equal(body(export_zem(target))[:4], ["vertices 3", "v 0 -32768 0", "v 32767 0 -32768", "v 32767 0 0"],
                 "the 16-bit range's ends")
    mesh.vertices.foreach_set("co", [float("nan")] * 9)
    mesh.update()
    expect("finite" in refusal(bpy.ops.export_scene.zem, filepath=target), "a position that is no number refused")
    expect_equal(sorted(os.listdir(SCRATCH)).count("limits.zem"), 1, "one target")
    expect(not [n for n in os.listdir(SCRATCH) if n.endswith(".tmp")], "no temporary file left")


def main():
    # Blender finds the installed add-on in the preferences' scripts folder, as it would in /usr/share.
    bpy.context.preferences.filepaths.script_directory = ADDON_SCRIPTS
    bpy.utils.refresh_script_paths()
    failures = 0
    for function in checks:
        try:
            function()
            print("ok", function.__name__)
        except Exception:
            failures += 1
            print("FAIL", function.__name__)
            traceback.print_exc()
            sys.stdout.flush()
    if failures:
        print("%d checks failed" % failures)
        raise SystemExit(1)
    print("all %d checks passed" % len(checks))


main()
