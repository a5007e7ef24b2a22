# The README's picture of a ZEM model in Blender: imported by the add-on, seen from the front as the viewer's first frame sees it.
"""Run by blender-picture.sh: blender -b --factory-startup --python blender_picture.py -- MODEL OUTPUT.png"""
import math
import sys

import addon_utils
import bpy

model, output = sys.argv[sys.argv.index("--") + 1:]
addon_utils.enable("io_scene_zem", default_set=True)
for obj in list(bpy.data.objects):
    bpy.data.objects.remove(obj)
bpy.ops.import_scene.zem(filepath=model, smooth=True)

# The viewer's eye: 500 units in front of the model along its z, which is Blender's -Y, with a
# vertical field of view of 45 degrees, in a 640 x 480 picture.
camera = bpy.data.objects.new("eye", bpy.data.cameras.new("eye"))
camera.location = (0, -500, 0)
camera.rotation_euler = (math.radians(90), 0, 0)
camera.data.sensor_fit = "VERTICAL"
camera.data.angle = math.radians(45)
camera.data.clip_end = 3000
bpy.context.collection.objects.link(camera)
scene = bpy.context.scene
scene.camera = camera
scene.render.engine = "BLENDER_WORKBENCH"
scene.render.resolution_x, scene.render.resolution_y = 640, 480
scene.render.resolution_percentage = 100
scene.display.shading.light = "STUDIO"
scene.display.shading.color_type = "MATERIAL"
scene.world.color = (0, 0, 0)
scene.render.filepath = output
bpy.ops.render.render(write_still=True)
