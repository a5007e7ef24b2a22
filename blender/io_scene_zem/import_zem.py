# The import: a ZEM model read by the format module and built into one mesh object, its materials and its segment edges.
import bpy

from . import zem_format

# Attributes that carry what a mesh cannot say by itself back to the export: each face's and each
# segment's place in the file (counted from 1, so that 0 marks what was added in Blender) and the
# segments' colours, since an edge has no material.
FACE_ORDER = "zem_order"
SEGMENT_ORDER = "zem_segment_order"
SEGMENT_COLOUR = "zem_segment_colour"
SEGMENT_FIRST = "zem_segment_first"  # the vertex the file names first: Blender may turn an edge round


def blender_position(vertex, scale):
    """Blender's axes for a vertex of the loader's view, so that Blender's front view (looking
    along +Y, Z up) shows what the viewer's first frame shows (looking along -z, y up)."""
    x, y, z = vertex
    return (x * scale, -z * scale, y * scale)


def material_for(colour):
    """The material named after a palette entry; an existing one of that name is shared."""
    name = "ZEM %d" % colour
    material = bpy.data.materials.get(name)
    if material is not None:
        return material
    material = bpy.data.materials.new(name)
    red, green, blue = (zem_format.linear_from_srgb(c) for c in zem_format.PALETTE[colour % len(zem_format.PALETTE)])
    material.diffuse_color = (red, green, blue, 1.0)  # the solid view's colour
    material.use_nodes = True
    shader = material.node_tree.nodes.get("Principled BSDF")
    if shader is not None:
        shader.inputs["Base Color"].default_value = (red, green, blue, 1.0)
    return material


class _Plan:
    """What of the model Blender can hold, and what it leaves out, decided before the scene is touched."""

    def __init__(self, model):
        self.faces, self.face_colours, self.face_order = [], [], []
        self.segments = {}  # (low, high) vertex pair: (order, colour) of its first segment
        self.points = 0  # polygons of 0 or 1 index, which the viewer draws nothing for
        self.repeated = 0  # faces and segments with a corner twice, which a Blender mesh cannot hold
        self.doubled = 0  # segments over a pair that an earlier segment joins already
        for number, (colour, indices) in enumerate(model.polygons):
            if len(indices) < 2:
                self.points += 1
            elif len(set(indices)) < len(indices):
                self.repeated += 1
            elif len(indices) == 2:
                key = (min(indices), max(indices))
                if key in self.segments:
                    self.doubled += 1
                else:
                    self.segments[key] = (number + 1, colour, indices[0])
            else:
                self.faces.append(indices)
                self.face_colours.append(colour)
                self.face_order.append(number + 1)

    def notes(self):
        def counted(count, what):
            return "%d %s%s" % (count, what, "" if count == 1 else "s")

        notes = []
        if self.points:
            notes.append(counted(self.points, "polygon") + " of fewer than 2 indices left out: "
                         "the viewer draws nothing for them")
        if self.repeated:
            notes.append(counted(self.repeated, "polygon") + " that name a vertex twice left out: "
                         "a Blender mesh cannot hold them")
        if self.doubled:
            notes.append(counted(self.doubled, "segment") + " left out that repeat an earlier one")
        return notes


def _fill_mesh(mesh, model, plan, scale):
    segment_keys = list(plan.segments)
    mesh.from_pydata([blender_position(v, scale) for v in model.vertices], segment_keys, plan.faces)
    colours = sorted(set(plan.face_colours))
    slot = {colour: i for i, colour in enumerate(colours)}
    for colour in colours:
        mesh.materials.append(material_for(colour))
    mesh.polygons.foreach_set("material_index", [slot[c] for c in plan.face_colours])
    mesh.attributes.new(FACE_ORDER, "INT", "FACE").data.foreach_set("value", plan.face_order)
    if segment_keys:
        # from_pydata keeps the segments' edges but may merge them with the faces' edges and
        # reorder them: each is found again by its vertex pair.
        orders = [0] * len(mesh.edges)
        segment_colours = [0] * len(mesh.edges)
        firsts = [0] * len(mesh.edges)
        for edge in mesh.edges:
            a, b = edge.vertices
            found = plan.segments.get((min(a, b), max(a, b)))
            if found is not None:
                orders[edge.index], segment_colours[edge.index], firsts[edge.index] = found
        mesh.attributes.new(SEGMENT_ORDER, "INT", "EDGE").data.foreach_set("value", orders)
        mesh.attributes.new(SEGMENT_COLOUR, "INT", "EDGE").data.foreach_set("value", segment_colours)
        mesh.attributes.new(SEGMENT_FIRST, "INT", "EDGE").data.foreach_set("value", firsts)
    mesh.update()


def load(operator, context, filepath, smooth=False, scale=1.0):
    try:
        model = zem_format.read(filepath)
    except zem_format.ZemError as error:
        operator.report({"ERROR"}, str(error))
        return {"CANCELLED"}
    plan = _Plan(model)
    name = model.name.decode("utf-8", "replace") or "ZEM model"
    mesh = bpy.data.meshes.new(name)
    try:
        _fill_mesh(mesh, model, plan, scale)
        mesh.polygons.foreach_set("use_smooth", [smooth] * len(mesh.polygons))
        obj = bpy.data.objects.new(name, mesh)
    except Exception:
        # Nothing half-made stays behind; the materials are complete ones and may be shared.
        bpy.data.meshes.remove(mesh)
        raise
    context.collection.objects.link(obj)
    for other in context.selected_objects:
        other.select_set(False)
    obj.select_set(True)
    context.view_layer.objects.active = obj
    for note in plan.notes():
        operator.report({"WARNING"}, note)
    return {"FINISHED"}
