# The export: mesh objects gathered in world space into one ZEM model, checked against the format's limits, written whole or not at all.
import math
import os
import re
import tempfile

from . import zem_format
from .import_zem import FACE_ORDER, SEGMENT_COLOUR, SEGMENT_FIRST, SEGMENT_ORDER

_PALETTE_NAME = re.compile(r"ZEM (\d{1,3})(\.\d+)?$")  # Blender adds .001 to a name already taken
_DEFAULT_COLOUR = (0.8, 0.8, 0.8)  # the base colour Blender gives a face without a material


class ExportRefused(Exception):
    """The scene cannot be written as a model; str() says why and what to do."""


def _round(value):
    """Half away from zero, as zemconvert rounds."""
    return int(math.floor(abs(value) + 0.5)) * (1 if value >= 0 else -1)


def material_colour(material):
    """The palette entry of a material: its ZEM name, else the entry nearest to its base colour."""
    if material is None:
        return zem_format.nearest_palette_entry(_DEFAULT_COLOUR)
    named = _PALETTE_NAME.match(material.name)
    if named and int(named.group(1)) <= 255:
        return int(named.group(1))
    colour = material.diffuse_color
    if material.use_nodes and material.node_tree is not None:
        shader = next((n for n in material.node_tree.nodes if n.type == "BSDF_PRINCIPLED"), None)
        if shader is not None:
            colour = shader.inputs["Base Color"].default_value
    return zem_format.nearest_palette_entry(tuple(colour)[:3])


def _attribute(mesh, name, domain, size):
    found = mesh.attributes.get(name)
    if found is None or found.domain != domain or found.data_type != "INT":
        return [0] * size
    values = [0] * size
    found.data.foreach_get("value", values)
    return values


class _Gathered:
    """The model so far: vertices in the loader's view, and polygons with the keys that order them."""

    def __init__(self, scale):
        self.scale = scale
        self.vertices = []
        self.polygons = []  # (sort key, colour, indices)
        self.reach = 0.0  # the largest distance from 0 along an axis, in model units

    def add_vertices(self, mesh):
        coordinates = [0.0] * (3 * len(mesh.vertices))
        mesh.vertices.foreach_get("co", coordinates)
        s = self.scale
        for i in range(0, len(coordinates), 3):
            x, y, z = coordinates[i] * s, coordinates[i + 2] * s, -coordinates[i + 1] * s
            if not all(map(math.isfinite, (x, y, z))):
                raise ExportRefused("a vertex lies at no finite position: the model cannot be written")
            self.reach = max(self.reach, abs(x), abs(y), abs(z))
            self.vertices.append((_round(x), _round(y), _round(z)))

    def add_mesh(self, number, mesh, materials, mirrored):
        """mirrored: the object's transform turns space inside out, so its faces' corners are
        reversed (from the same first corner) to keep them facing outwards."""
        first = len(self.vertices)
        self.add_vertices(mesh)
        slot_colours = [material_colour(m) for m in materials] or [material_colour(None)]
        faces = len(mesh.polygons)
        starts, totals, slots = [0] * faces, [0] * faces, [0] * faces
        mesh.polygons.foreach_get("loop_start", starts)
        mesh.polygons.foreach_get("loop_total", totals)
        mesh.polygons.foreach_get("material_index", slots)
        corners = [0] * len(mesh.loops)
        mesh.loops.foreach_get("vertex_index", corners)
        loop_edges = [0] * len(mesh.loops)
        mesh.loops.foreach_get("edge_index", loop_edges)
        face_order = _attribute(mesh, FACE_ORDER, "FACE", faces)
        natural = 0
        for f in range(faces):
            colour = slot_colours[min(slots[f], len(slot_colours) - 1)]
            ring = [first + v for v in corners[starts[f]:starts[f] + totals[f]]]
            if mirrored:
                ring = ring[:1] + ring[:0:-1]
            # More than five corners: a fan of triangles from the first corner.
            pieces = [ring] if len(ring) <= zem_format.MAX_INDICES else [
                [ring[0], ring[k], ring[k + 1]] for k in range(1, len(ring) - 1)]
            for piece in pieces:
                self.polygons.append((self._key(number, face_order[f], natural), colour, tuple(piece)))
                natural += 1
        self._add_segments(number, mesh, set(loop_edges), slot_colours[0], first, natural)

    def _add_segments(self, number, mesh, face_edges, loose_colour, first, natural):
        edges = len(mesh.edges)
        ends = [0] * (2 * edges)
        mesh.edges.foreach_get("vertices", ends)
        orders = _attribute(mesh, SEGMENT_ORDER, "EDGE", edges)
        colours = _attribute(mesh, SEGMENT_COLOUR, "EDGE", edges)
        firsts = _attribute(mesh, SEGMENT_FIRST, "EDGE", edges)
        for e in range(edges):
            # Imported segments keep their place even along a face's edge; other loose edges join them.
            if orders[e] > 0:
                colour = colours[e] & 0xFF
            elif e not in face_edges:
                colour = loose_colour
            else:
                continue
            a, b = ends[2 * e], ends[2 * e + 1]
            if orders[e] > 0 and firsts[e] == b:
                a, b = b, a
            indices = (first + a, first + b)
            self.polygons.append((self._key(number, orders[e], natural), colour, indices))
            natural += 1

    @staticmethod
    def _key(number, order, natural):
        # What the file ordered keeps its place; what Blender added follows, in Blender's order.
        return (number, order if order > 0 else math.inf, natural)

    def model(self, name):
        self.check_limits()
        polygons = [(colour, indices) for _, colour, indices in sorted(self.polygons, key=lambda p: p[0])]
        return zem_format.Model(name, self.vertices, polygons)

    def check_limits(self):
        way_out = ("reduce it with the Decimate modifier (with Apply Modifiers), or export another format "
                   "and let zemconvert simplify it")
        if len(self.vertices) > zem_format.MAX_VERTICES:
            raise ExportRefused("%d vertices are more than the %d a ZEM model holds: %s" % (
                len(self.vertices), zem_format.MAX_VERTICES, way_out))
        if len(self.polygons) > zem_format.MAX_POLYGONS:
            raise ExportRefused("%d polygons are more than the %d a ZEM model holds: %s" % (
                len(self.polygons), zem_format.MAX_POLYGONS, way_out))
        if any(not -32768 <= c <= 32767 for v in self.vertices for c in v):
            fits = 32767 / (self.reach / self.scale)
            raise ExportRefused("positions reach %.6g units at scale %g, beyond the 16-bit range of -32768 to 32767: "
                                "export with a scale of %.6g or less" % (self.reach, self.scale, fits))


def objects_to_export(context, use_selection):
    chosen = context.selected_objects if use_selection else context.scene.objects
    return [obj for obj in chosen if obj.type == "MESH"]


def gather(context, objects, use_modifiers, scale):
    depsgraph = context.evaluated_depsgraph_get()
    gathered = _Gathered(scale)
    for number, obj in enumerate(objects):
        source = obj.evaluated_get(depsgraph) if use_modifiers else obj
        mesh = source.to_mesh()
        try:
            mesh.transform(obj.matrix_world)
            gathered.add_mesh(number, mesh, [slot.material for slot in obj.material_slots],
                              obj.matrix_world.determinant() < 0)
        finally:
            source.to_mesh_clear()
    return gathered


def write_beside(filepath, text):
    """Writes to a new file beside the target and renames it over the target at the end."""
    folder = os.path.dirname(os.path.abspath(filepath))
    handle, temporary = tempfile.mkstemp(dir=folder, prefix="." + os.path.basename(filepath) + ".", suffix=".tmp")
    try:
        with os.fdopen(handle, "w", encoding="ascii", newline="\n") as f:
            f.write(text)
            f.flush()
            os.fsync(f.fileno())
        try:
            mode = os.stat(filepath).st_mode & 0o7777
        except OSError:
            umask = os.umask(0)
            os.umask(umask)
            mode = 0o666 & ~umask
        os.chmod(temporary, mode)
        os.replace(temporary, filepath)
    except BaseException:
        os.unlink(temporary)
        raise


def save(operator, context, filepath, use_selection=False, use_modifiers=True, scale=1.0):
    objects = objects_to_export(context, use_selection)
    for obj in objects:
        # What is being edited reaches the mesh only when edit mode hands it over.
        if obj.mode == "EDIT":
            obj.update_from_editmode()
    if not objects:
        operator.report({"ERROR"}, "no mesh objects to export" + (" among the selected" if use_selection else ""))
        return {"CANCELLED"}
    stem = os.path.splitext(os.path.basename(filepath))[0]
    name = zem_format.safe_name(objects[0].name if len(objects) == 1 else stem, stem)
    try:
        model = gather(context, objects, use_modifiers, scale).model(name)
        write_beside(filepath, zem_format.format_model(model))
    except ExportRefused as refusal:
        operator.report({"ERROR"}, str(refusal))
        return {"CANCELLED"}
    except OSError as error:
        operator.report({"ERROR"}, "%s: %s" % (filepath, error.strerror or error))
        return {"CANCELLED"}
    return {"FINISHED"}
