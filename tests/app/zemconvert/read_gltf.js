// A small glTF reader of the tests, apart from the writer: prints, for each file named, each
// primitive of the default scene's meshes and the corners it draws in index order, as text lines:
//   file PATH / scene NAME / node NAME / mesh NAME
//   primitive MODE MATERIAL_NAME R G B A METALLIC DOUBLE_SIDED
//   x y z [nx ny nz]      (one line per index)
'use strict';
const fs = require('fs');
const path = require('path');

const sizes = {5121: 1, 5123: 2, 5125: 4, 5126: 4};
const widths = {SCALAR: 1, VEC3: 3};
function dump(file, lines) {
    const bytes = fs.readFileSync(file);
    let json;
    let glbBinary = null;
    if (bytes.readUInt32LE(0) === 0x46546c67) {  // "glTF"
        const jsonLength = bytes.readUInt32LE(12);
        json = JSON.parse(bytes.subarray(20, 20 + jsonLength).toString('utf8'));
        const at = 20 + jsonLength;
        if (at < bytes.length) glbBinary = bytes.subarray(at + 8, at + 8 + bytes.readUInt32LE(at));
    } else {
        json = JSON.parse(bytes.toString('utf8'));
    }

    const buffers = (json.buffers || []).map((buffer) => {
        if (buffer.uri === undefined) return glbBinary;
        const data = 'data:application/octet-stream;base64,';
        if (buffer.uri.startsWith(data)) return Buffer.from(buffer.uri.slice(data.length), 'base64');
        return fs.readFileSync(path.resolve(path.dirname(file), decodeURIComponent(buffer.uri)));
    });

    const read = function (accessorIndex) {
        const accessor = json.accessors[accessorIndex];
        const view = json.bufferViews[accessor.bufferView];
        const buffer = buffers[view.buffer];
        const size = sizes[accessor.componentType];
        const width = widths[accessor.type];
        const stride = view.byteStride || size * width;
        const start = (view.byteOffset || 0) + (accessor.byteOffset || 0);
        const values = [];
        for (let i = 0; i < accessor.count; ++i) {
            const item = [];
            for (let k = 0; k < width; ++k) {
                const at = start + i * stride + k * size;
                if (accessor.componentType === 5126) item.push(buffer.readFloatLE(at));
                else if (size === 1) item.push(buffer.readUInt8(at));
                else if (size === 2) item.push(buffer.readUInt16LE(at));
                else item.push(buffer.readUInt32LE(at));
            }
            values.push(width === 1 ? item[0] : item);
        }
        return values;
    };

    lines.push('file ' + file);
    const scene = json.scenes[json.scene || 0];
    lines.push('scene ' + (scene.name || ''));
    for (const nodeIndex of scene.nodes || []) {
        const node = json.nodes[nodeIndex];
        lines.push('node ' + (node.name || ''));
        if (node.mesh === undefined) continue;
        const mesh = json.meshes[node.mesh];
        lines.push('mesh ' + (mesh.name || ''));
        for (const primitive of mesh.primitives) {
            const material = json.materials[primitive.material];
            const pbr = material.pbrMetallicRoughness || {};
            const colour = pbr.baseColorFactor || [1, 1, 1, 1];
            const metallic = pbr.metallicFactor === undefined ? 1 : pbr.metallicFactor;
            lines.push(['primitive', primitive.mode === undefined ? 4 : primitive.mode, material.name, ...colour, metallic,
                        material.doubleSided ? 1 : 0].join(' '));
            const positions = read(primitive.attributes.POSITION);
            const normals = primitive.attributes.NORMAL === undefined ? null : read(primitive.attributes.NORMAL);
            for (const index of read(primitive.indices)) {
                lines.push(positions[index].concat(normals ? normals[index] : []).join(' '));
            }
        }
    }
}

const lines = [];
for (const file of process.argv.slice(2)) dump(file, lines);
process.stdout.write(lines.join('\n') + '\n');
