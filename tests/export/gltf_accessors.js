#!/usr/bin/env node
// Decodes the triangles of a .gltf (buffer embedded as a data URI) or .glb with nothing but Node.js, as a
// reader independent of the writer's library: prints JSON {"nodes": [...], "primitives": [{"material",
// "positions", "normals", "indices"}]}, each attribute as a flat list of floats.
//   node gltf_accessors.js FILE
'use strict';
const fs = require('fs');

const file = process.argv[2];
const bytes = fs.readFileSync(file);
let json, bin = null;
if (bytes.readUInt32LE(0) === 0x46546c67) {  // "glTF"
  let at = 12;
  while (at < bytes.length) {
    const len = bytes.readUInt32LE(at), type = bytes.readUInt32LE(at + 4);
    const chunk = bytes.subarray(at + 8, at + 8 + len);
    if (type === 0x4e4f534a) json = JSON.parse(chunk.toString('utf8'));
    else if (type === 0x004e4942) bin = chunk;
    at += 8 + len;
  }
} else {
  json = JSON.parse(bytes.toString('utf8'));
}
const buffers = (json.buffers || []).map((b) => {
  if (b.uri === undefined) return bin;
  const m = /^data:[^,]*;base64,(.*)$/.exec(b.uri);
  if (!m) throw new Error('only embedded buffers are read: ' + b.uri.slice(0, 40));
  return Buffer.from(m[1], 'base64');
});
const sizes = { SCALAR: 1, VEC2: 2, VEC3: 3, VEC4: 4 };
function read(index) {
  const acc = json.accessors[index];
  const view = json.bufferViews[acc.bufferView];
  const buf = buffers[view.buffer];
  const n = acc.count * sizes[acc.type];
  const start = (view.byteOffset || 0) + (acc.byteOffset || 0);
  const out = [];
  for (let i = 0; i < n; ++i) {
    if (acc.componentType === 5126) out.push(buf.readFloatLE(start + 4 * i));
    else if (acc.componentType === 5125) out.push(buf.readUInt32LE(start + 4 * i));
    else throw new Error('component type ' + acc.componentType);
  }
  return out;
}
const primitives = [];
for (const mesh of json.meshes || [])
  for (const p of mesh.primitives)
    primitives.push({
      material: json.materials[p.material].name,
      doubleSided: !!json.materials[p.material].doubleSided,
      positions: read(p.attributes.POSITION),
      normals: p.attributes.NORMAL === undefined ? [] : read(p.attributes.NORMAL),
      indices: read(p.indices),
    });
process.stdout.write(JSON.stringify({ nodes: json.nodes, primitives }));
