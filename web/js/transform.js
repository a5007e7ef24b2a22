// The frame's matrices and light in single precision, computed as the desktop renderer computes its
// fixed-function state: the same operations, in the same order, rounded to float after each one.
// The shaders then repeat the renderer's per-vertex arithmetic on exactly these values.

const f32 = Math.fround;

// Column-major 4 x 4 matrices, as OpenGL stores them: m[column * 4 + row].
function identityMatrix() {
  return [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
}

// a * b, every term rounded, summed from the left.
function multiplyGeneral(a, b) {
  const p = new Array(16);
  for (let i = 0; i < 4; i++) {
    const a0 = a[i], a1 = a[4 + i], a2 = a[8 + i], a3 = a[12 + i];
    for (let j = 0; j < 4; j++) {
      const b0 = b[4 * j], b1 = b[4 * j + 1], b2 = b[4 * j + 2], b3 = b[4 * j + 3];
      p[4 * j + i] = f32(f32(f32(f32(a0 * b0) + f32(a1 * b1)) + f32(a2 * b2)) + f32(a3 * b3));
    }
  }
  return p;
}

// a * b for two affine matrices: their last rows are known, and are left out of the sums.
function multiplyAffine(a, b) {
  const p = new Array(16);
  for (let i = 0; i < 3; i++) {
    const a0 = a[i], a1 = a[4 + i], a2 = a[8 + i], a3 = a[12 + i];
    for (let j = 0; j < 3; j++) p[4 * j + i] = f32(f32(f32(a0 * b[4 * j]) + f32(a1 * b[4 * j + 1])) + f32(a2 * b[4 * j + 2]));
    p[12 + i] = f32(f32(f32(f32(a0 * b[12]) + f32(a1 * b[13])) + f32(a2 * b[14])) + a3);
  }
  p[3] = p[7] = p[11] = 0;
  p[15] = 1;
  return p;
}

function translateZ(m, z) {
  const t = m.slice();
  for (let i = 0; i < 4; i++) t[12 + i] = f32(f32(f32(f32(m[i] * 0) + f32(m[4 + i] * 0)) + f32(m[8 + i] * z)) + m[12 + i]);
  return t;
}

// A turn of degrees about the X (axis 0) or Y (axis 1) axis, multiplied onto the affine m. The
// angle is a float, and so is the argument of the sine and cosine.
function rotate(m, degrees, axis) {
  const angle = f32(f32(degrees) * Math.PI / 180);
  const s = sinf(angle);
  const c = cosf(angle);
  const r = identityMatrix();
  if (axis === 0) {
    r[5] = c;
    r[10] = c;
    r[9] = -s;
    r[6] = s;
  } else {
    r[0] = c;
    r[10] = c;
    r[8] = s;
    r[2] = -s;
  }
  return multiplyAffine(m, r);
}

// The perspective of a 45 degree vertical field, computed in double and then rounded.
function perspective(aspect, near, far) {
  const radians = 45 / 2 * Math.PI / 180;
  const cotangent = Math.cos(radians) / Math.sin(radians);
  const depth = far - near;
  const m = identityMatrix();
  m[0] = f32(cotangent / aspect);
  m[5] = f32(cotangent);
  m[10] = f32(-(far + near) / depth);
  m[11] = -1;
  m[14] = f32(-2 * near * far / depth);
  m[15] = 0;
  return m;
}

function normalize3(v) {
  const length = f32(f32(f32(v[0] * v[0]) + f32(v[1] * v[1])) + f32(v[2] * v[2]));
  if (length === 0) return v.slice();
  const inverse = f32(1 / f32(Math.sqrt(length)));
  return [f32(v[0] * inverse), f32(v[1] * inverse), f32(v[2] * inverse)];
}

// The directional light (given in eye space) taken into object space, where the renderer lights a
// model turned and moved without scaling: through the transposed rotation, then normalised; the
// half vector between it and the eye's Z axis, also carried into object space.
function objectSpaceLight(modelview, light) {
  const m = modelview;
  const position = [0, 1, 2].map((i) =>
    f32(f32(f32(f32(m[4 * i] * light[0]) + f32(m[4 * i + 1] * light[1])) + f32(m[4 * i + 2] * light[2])) + f32(0 * light[3])));
  const eyeZ = [f32(f32(0 * m[0] + 0 * m[1]) + m[2]), f32(f32(0 * m[4] + 0 * m[5]) + m[6]), f32(f32(0 * m[8] + 0 * m[9]) + m[10])];
  const direction = normalize3(position);
  const sum = [f32(direction[0] + eyeZ[0]), f32(direction[1] + eyeZ[1]), f32(direction[2] + eyeZ[2])];
  return { direction, half: normalize3(sum) };
}

// A translation multiplied onto the affine m, as the renderer's glTranslate does.
function translate(m, x, y, z) {
  const t = m.slice();
  for (let i = 0; i < 4; i++) t[12 + i] = f32(f32(f32(f32(m[i] * x) + f32(m[4 + i] * y)) + f32(m[8 + i] * z)) + m[12 + i]);
  return t;
}

const kNarrowestAspect = 4 / 3;  // the first window's shape: narrower windows widen the field instead

// Everything a frame needs: the model-view-projection matrix and the light, for a view of
// width x height pixels turned by rotX and rotY degrees at distance units along the eye's Z axis.
// A framed view (zemrender --fit's placing) adds its eye-space shift, its depth range and the
// point it turns about; without them the matrices are the viewer's own. A window narrower than
// the first one sees all that the first one saw, with more above and below.
function frameTransform(view, width, height) {
  const aspect = width / (height === 0 ? 1 : height);
  let projection = perspective(aspect, view.nearPlane || 1, view.farPlane || 3000);
  if (aspect < kNarrowestAspect) {
    projection = perspective(kNarrowestAspect, view.nearPlane || 1, view.farPlane || 3000);
    projection[5] = f32(projection[0] * aspect);
  }
  let modelview = identityMatrix();
  const shift = view.shift;
  if (shift && (shift[0] || shift[1] || shift[2])) modelview = translate(modelview, f32(shift[0]), f32(shift[1]), f32(shift[2]));
  modelview = translateZ(modelview, f32(view.distance));
  modelview = rotate(modelview, view.rotX, 0);
  modelview = rotate(modelview, view.rotY, 1);
  const pivot = view.pivot;
  if (pivot && (pivot[0] || pivot[1] || pivot[2])) modelview = translate(modelview, f32(-pivot[0]), f32(-pivot[1]), f32(-pivot[2]));
  const light = objectSpaceLight(modelview, [500, 500, 1000, 0]);
  return { mvp: multiplyGeneral(projection, modelview), light: light.direction, half: light.half };
}
