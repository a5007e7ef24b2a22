// Runs the Khronos glTF validator on .gltf and .glb files, their external buffers read from beside them.
// Prints one JSON line per file with the counts of issues and of what the file draws; exits 0 only
// when no file has an error or a warning, 1 when one has, 2 when a file could not be validated.
'use strict';
const fs = require('fs');
const path = require('path');
const validator = require('gltf-validator');

function validate(file) {
    const bytes = new Uint8Array(fs.readFileSync(file));
    return validator
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
            console.log(JSON.stringify({
                errors: issues.numErrors,
                warnings: issues.numWarnings,
                infos: issues.numInfos,
                drawCalls: report.info.drawCallCount,
                materials: report.info.materialCount,
                vertices: report.info.totalVertexCount,
                triangles: report.info.totalTriangleCount,
                messages: issues.messages.filter((m) => m.severity <= 1).slice(0, 20),
            }));
            return issues.numErrors === 0 && issues.numWarnings === 0;
        });
}

(async () => {
    let clean = true;
    for (const file of process.argv.slice(2)) clean = (await validate(file)) && clean;
    process.exit(clean ? 0 : 1);
})().catch((error) => {
    console.error(String(error));
    process.exit(2);
});
