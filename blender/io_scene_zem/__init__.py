# The add-on's face to Blender: bl_info, the import and export operators with their options, their menu entries.
bl_info = {
    "name": "ZEM model format",
    "author": "zemview maintainers",
    "version": (0, 4, 0),
    "blender": (3, 4, 0),
    "location": "File > Import-Export",
    "description": "Import and export ZEM polygon models, exactly as zemview loads them",
    "category": "Import-Export",
}

if "bpy" in locals():
    # A reload of the add-on (F3 > Reload Scripts) reloads its modules too, format first.
    import importlib

    for module in ("zem_format", "import_zem", "export_zem"):
        if module in locals():
            importlib.reload(locals()[module])

import bpy
from bpy.props import BoolProperty, FloatProperty, StringProperty
from bpy_extras.io_utils import ExportHelper, ImportHelper

from . import export_zem, import_zem, zem_format  # noqa: F401 (zem_format for the reload above)


class ImportZem(bpy.types.Operator, ImportHelper):
    """Load a ZEM model as one mesh object"""

    bl_idname = "import_scene.zem"
    bl_label = "Import ZEM"
    bl_options = {"REGISTER", "UNDO"}

    filename_ext = ".zem"
    filter_glob: StringProperty(default="*.zem", options={"HIDDEN"})
    smooth: BoolProperty(name="Smooth Shading", description="Shade faces smooth instead of flat", default=False)
    scale: FloatProperty(name="Scale", description="Blender units for one model unit",
                         default=1.0, min=1e-6, max=1e6, soft_min=0.001, soft_max=1000.0)

    def execute(self, context):
        return import_zem.load(self, context, self.filepath, smooth=self.smooth, scale=self.scale)


class ExportZem(bpy.types.Operator, ExportHelper):
    """Save the mesh objects as one ZEM model, in world space"""

    bl_idname = "export_scene.zem"
    bl_label = "Export ZEM"

    filename_ext = ".zem"
    filter_glob: StringProperty(default="*.zem", options={"HIDDEN"})
    use_selection: BoolProperty(name="Selection Only", description="Export the selected objects only", default=False)
    use_modifiers: BoolProperty(name="Apply Modifiers", description="Export the meshes as their modifiers leave them",
                                default=True)
    scale: FloatProperty(name="Scale", description="Model units for one Blender unit; positions are rounded "
                         "to whole units and must stay within -32768 to 32767",
                         default=1.0, min=1e-6, max=1e6, soft_min=0.001, soft_max=1000.0)

    def execute(self, context):
        return export_zem.save(self, context, self.filepath, use_selection=self.use_selection,
                               use_modifiers=self.use_modifiers, scale=self.scale)


def menu_import(self, context):
    self.layout.operator(ImportZem.bl_idname, text="ZEM (.zem)")


def menu_export(self, context):
    self.layout.operator(ExportZem.bl_idname, text="ZEM (.zem)")


classes = (ImportZem, ExportZem)


def register():
    for cls in classes:
        bpy.utils.register_class(cls)
    bpy.types.TOPBAR_MT_file_import.append(menu_import)
    bpy.types.TOPBAR_MT_file_export.append(menu_export)


def unregister():
    bpy.types.TOPBAR_MT_file_import.remove(menu_import)
    bpy.types.TOPBAR_MT_file_export.remove(menu_export)
    for cls in reversed(classes):
        bpy.utils.unregister_class(cls)


if __name__ == "__main__":
    register()
