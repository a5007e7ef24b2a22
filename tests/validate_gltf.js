// Runs the Khronos glTF validator on one .gltf or .glb file, its external buffers read from beside it.
// Prints one JSON line with the counts of issues and of what the file draws; exits 0 only when
// there is no error and no warning, 1 when there are, 2 when the file could not be validated.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

const file = process.argv[2];
const bytes = new Uint8Array(fs.readFileSync(file));
validator
    .validateBytes(bytes, {
        uri: path.basename(file),
        maxIssues: 0,
        externalResourceFunction: (uri) =>
            new Promise((resolve, reject) => {
                const where = path.resolve(path.dirname(file), decodeURIComponent(uri));
                fs.readFile(where, (err, data) => (err ? reject(err.toString()) : resolve(new Uint8Array(data))));
            }),
    })
    .then((report) => {
        const issues = report.issues;
        const serious = issues.messages.filter((m) => m.severity <= 1);
        console.log(JSON.stringify({
            errors: issues.numErrors,
            warnings: issues.numWarnings,
            infos: issues.numInfos,
            drawCalls: report.info.drawCallCount,
            materials: report.info.materialCount,
            vertices: report.info.totalVertexCount,
            triangles: report.info.totalTriangleCount,
            lines: report.info.totalLineCount,
            messages: serious.slice(0, 20),
        }));
        process.exit(issues.numErrors === 0 && issues.numWarnings === 0 ? 0 : 1);
    })
    .catch((error) => {
        console.error(String(error));
        process.exit(2);
    });
