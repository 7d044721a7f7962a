#!/usr/bin/env node
// What a glTF viewer shows of a .gltf or .glb file at a time of its animations: every triangle of the
// default scene in world space, read without the program's own glTF library.
//
//   node gltf_shown.js FILE [SECONDS]
//
// Prints JSON: {"triangles": [{"p": [x0, y0, z0, x1, ..., z2], "m": "material name"}, ...],
//               "channels": [{"node": "name", "path": "scale", "interpolation": "STEP"}, ...],
//               "end": the latest key time of any animation}
// Node transforms apply (matrix, or translation, rotation, scale); animated values are sampled at SECONDS
// (default 0): STEP holds a key's value until the next key, LINEAR blends translation and scale (other
// interpolations are refused). A node whose scale is zero hides its subtree, as it does in a viewer.
'use strict';
const fs = require('fs');
const path = require('path');

function fail(msg) {
  console.error('gltf_shown: ' + msg);
  process.exit(2);
}

const [file, timeArg] = process.argv.slice(2);
if (!file) fail('usage: node gltf_shown.js FILE [SECONDS]');
const time = timeArg === undefined ? 0 : Number(timeArg);

const bytes = fs.readFileSync(file);
let gltf, bin = null;
if (bytes.readUInt32LE(0) === 0x46546c67) {  // "glTF"
  let at = 12;
  while (at < bytes.length) {
    const length = bytes.readUInt32LE(at), type = bytes.readUInt32LE(at + 4);
    const chunk = bytes.subarray(at + 8, at + 8 + length);
    if (type === 0x4e4f534a) gltf = JSON.parse(chunk.toString('utf8'));
    else if (type === 0x004e4942) bin = chunk;
    at += 8 + length;
  }
} else {
  gltf = JSON.parse(bytes.toString('utf8'));
}
if (!gltf) fail(file + ': no JSON');

const buffers = (gltf.buffers || []).map((b) => {
  if (b.uri === undefined) return bin;
  const m = /^data:[^;]*;base64,(.*)$/.exec(b.uri);
  if (m) return Buffer.from(m[1], 'base64');
  return fs.readFileSync(path.resolve(path.dirname(file), decodeURIComponent(b.uri)));
});

const kComponents = {SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4, MAT4: 16};
const kReaders = {
  5126: [4, (b, o) => b.readFloatLE(o)],
  5125: [4, (b, o) => b.readUInt32LE(o)],
  5123: [2, (b, o) => b.readUInt16LE(o)],
  5121: [1, (b, o) => b.readUInt8(o)],
};

// An accessor's elements, each an array of its components.
function accessor(index) {
  const a = gltf.accessors[index];
  const view = gltf.bufferViews[a.bufferView];
  const buf = buffers[view.buffer];
  const n = kComponents[a.type];
  const [size, read] = kReaders[a.componentType] || fail('component type ' + a.componentType);
  const stride = view.byteStride || size * n;
  const start = (view.byteOffset || 0) + (a.byteOffset || 0);
  const out = [];
  for (let i = 0; i < a.count; ++i) {
    const e = [];
    for (let c = 0; c < n; ++c) e.push(read(buf, start + i * stride + c * size));
    out.push(e);
  }
  return out;
}

// Animated values at the time, by node and path.
const animated = new Map();
const channels = [];
let end = 0;
for (const anim of gltf.animations || []) {
  for (const ch of anim.channels) {
    const s = anim.samplers[ch.sampler];
    const input = accessor(s.input).map((e) => e[0]);
    const output = accessor(s.output);
    const interpolation = s.interpolation || 'LINEAR';
    end = Math.max(end, input[input.length - 1]);
    channels.push({node: gltf.nodes[ch.target.node].name || '', path: ch.target.path, interpolation});
    let k = 0;
    while (k + 1 < input.length && input[k + 1] <= time) ++k;
    let value = output[k];
    if (interpolation === 'LINEAR' && time > input[k] && k + 1 < input.length && ch.target.path !== 'rotation') {
      const f = (time - input[k]) / (input[k + 1] - input[k]);
      value = value.map((v, c) => v + (output[k + 1][c] - v) * f);
    } else if (interpolation !== 'STEP' && interpolation !== 'LINEAR') {
      fail('interpolation ' + interpolation);
    }
    animated.set(ch.target.node + '/' + ch.target.path, value);
  }
}

// Column-major 4x4 products and the local transform of a node.
function multiply(a, b) {
  const r = new Array(16).fill(0);
  for (let c = 0; c < 4; ++c)
    for (let row = 0; row < 4; ++row)
      for (let k = 0; k < 4; ++k) r[c * 4 + row] += a[k * 4 + row] * b[c * 4 + k];
  return r;
}
function local(index) {
  const node = gltf.nodes[index];
  if (node.matrix) return node.matrix;
  const t = animated.get(index + '/translation') || node.translation || [0, 0, 0];
  const [x, y, z, w] = animated.get(index + '/rotation') || node.rotation || [0, 0, 0, 1];
  const s = animated.get(index + '/scale') || node.scale || [1, 1, 1];
  const r = [1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w),
             2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
             2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)];
  return [r[0] * s[0], r[1] * s[0], r[2] * s[0], 0, r[3] * s[1], r[4] * s[1], r[5] * s[1], 0,
          r[6] * s[2], r[7] * s[2], r[8] * s[2], 0, t[0], t[1], t[2], 1];
}
function hidden(index) {
  const s = animated.get(index + '/scale') || gltf.nodes[index].scale;
  return s !== undefined && s[0] === 0 && s[1] === 0 && s[2] === 0;
}

const triangles = [];
function visit(index, parent) {
  if (hidden(index)) return;
  const world = multiply(parent, local(index));
  const node = gltf.nodes[index];
  if (node.mesh !== undefined) {
    for (const prim of gltf.meshes[node.mesh].primitives) {
      if ((prim.mode === undefined ? 4 : prim.mode) !== 4) continue;
      const pos = accessor(prim.attributes.POSITION);
      const idx = prim.indices === undefined ? pos.map((_, i) => [i]) : accessor(prim.indices);
      const material = prim.material === undefined ? '' : gltf.materials[prim.material].name || '';
      for (let i = 0; i + 2 < idx.length; i += 3) {
        const p = [];
        for (let k = 0; k < 3; ++k) {
          const [x, y, z] = pos[idx[i + k][0]];
          for (let row = 0; row < 3; ++row)
            p.push(world[row] * x + world[4 + row] * y + world[8 + row] * z + world[12 + row]);
        }
        triangles.push({p, m: material});
      }
    }
  }
  for (const c of node.children || []) visit(c, world);
}
const identity = [1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1];
const scene = (gltf.scenes || [])[gltf.scene || 0];
for (const root of scene ? scene.nodes : []) visit(root, identity);
process.stdout.write(JSON.stringify({triangles, channels, end}) + '\n');
