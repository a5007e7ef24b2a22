#!/usr/bin/env bash
# The import example's pictures: a 200,000-triangle knot with a rainbow of vertex colours, written as
# binary PLY and drawn as it is by f3d (a general viewer from Debian) into docs/import-knot-before.png,
# then imported by zemconvert (simplified to the format's limits, fitted to the first view) and drawn
# by zemrender into docs/import-knot.png and docs/import-knot-outline.png.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh test python3 f3d
cmake --preset release >/dev/null
cmake --build --preset release --target zemconvert zemrender >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 - "$work/knot.ply" <<'PYTHON'
import colorsys, math, struct, sys
along, around = 1000, 100
def centre(t):
    return ((2 + 0.8 * math.cos(3 * t)) * math.cos(2 * t), (2 + 0.8 * math.cos(3 * t)) * math.sin(2 * t),
            0.8 * math.sin(3 * t))
vertices = []
for i in range(along):
    t = 2 * math.pi * i / along
    c, ahead = centre(t), centre(t + 1e-4)
    tangent = [a - b for a, b in zip(ahead, c)]
    side = [tangent[1], -tangent[0], 0]
    length = math.hypot(side[0], side[1])
    side = [v / length for v in side]
    normal = [side[1] * tangent[2] - side[2] * tangent[1], side[2] * tangent[0] - side[0] * tangent[2],
              side[0] * tangent[1] - side[1] * tangent[0]]
    length = math.sqrt(sum(v * v for v in normal))
    normal = [v / length for v in normal]
    colour = bytes(int(255 * v) for v in colorsys.hsv_to_rgb(i / along, 1, 1))
    for j in range(around):
        a = 2 * math.pi * j / around
        p = [c[k] + 0.35 * (math.cos(a) * side[k] + math.sin(a) * normal[k]) for k in range(3)]
        vertices.append(struct.pack('<fff', *p) + colour)
faces = []
for i in range(along):
    for j in range(around):
        a, b = i * around + j, i * around + (j + 1) % around
        c, d = (i + 1) % along * around + j, (i + 1) % along * around + (j + 1) % around
        faces += [struct.pack('<Biii', 3, a, c, d), struct.pack('<Biii', 3, a, d, b)]
with open(sys.argv[1], 'wb') as out:
    out.write(('ply\nformat binary_little_endian 1.0\nelement vertex %d\nproperty float x\nproperty float y\n'
               'property float z\nproperty uchar red\nproperty uchar green\nproperty uchar blue\n'
               'element face %d\nproperty list uchar int vertex_indices\nend_header\n'
               % (len(vertices), len(faces))).encode())
    out.write(b''.join(vertices) + b''.join(faces))
PYTHON
# The source, from about the same angle as the pictures of the import below.
bash scripts/with-display.sh f3d "$work/knot.ply" --output docs/import-knot-before.png --resolution 640,480 \
  --bg-color 0,0,0 --camera-elevation-angle 30 --camera-azimuth-angle -20 --scalars --comp=-2
build/zemconvert "$work/knot.ply" "$work/knot.zem"
build/zemrender --rotate-x 30 --rotate-y -20 "$work/knot.zem" docs/import-knot.png
build/zemrender --rotate-x 30 --rotate-y -20 --outline --distance -250 "$work/knot.zem" docs/import-knot-outline.png
