#!/bin/sh
# Runs `wakeweave demo` and `wakeweave eval` into a fresh folder and checks every glTF file they wrote with
# the reference validator.
# usage: validate_demo.sh WAKEWEAVE VALIDATOR_SCRIPT NODE_MODULES WORKDIR
# Fails, with a message, when Node.js or the validator package is missing: it never passes unchecked.
set -u
wakeweave=$1 script=$2 modules=$3 work=$4

if ! command -v node >/dev/null 2>&1; then
  echo "FAIL: Node.js (the node command) is missing; install nodejs (make deps)" >&2
  exit 1
fi
if [ ! -f "$modules/gltf-validator/package.json" ]; then
  echo "FAIL: the npm package gltf-validator is missing from $modules; run make validator" >&2
  exit 1
fi

rm -rf "$work"
mkdir -p "$work"
if ! "$wakeweave" demo --out "$work/out" >"$work/demo.log" 2>&1; then
  echo "FAIL: wakeweave demo failed:" >&2
  cat "$work/demo.log" >&2
  exit 1
fi
cat "$work/demo.log"

# And `wakeweave eval` writing .gltf (embedded buffer) and .glb of a turned, moving node.
cat >"$work/scene.json" <<'SCENE'
{ "animationRange": [0, 50],
  "nodes": [{ "name": "Ring 1",
    "position": { "keys": [[0, [0, 0, 0]], [50, [30, 10, 5]]] },
    "rotation": { "keys": [[0, [0, 0, 1, 0]], [50, [1, 0, 1, 135]]] },
    "object": { "type": "circle", "radius": 3 },
    "modifiers": [{ "class": "Wakeweave", "params": { "old_frames": 8, "generateAgeMap": true } }] }] }
SCENE
for out in eval.gltf eval.glb; do
  if ! "$wakeweave" eval "$work/scene.json" --frame 30 -o "$work/out/$out" >>"$work/demo.log" 2>&1; then
    echo "FAIL: wakeweave eval -o $out failed:" >&2
    cat "$work/demo.log" >&2
    exit 1
  fi
done

files=$(find "$work/out" -name '*.glb' -o -name '*.gltf' | sort)
if [ -z "$files" ]; then
  echo "FAIL: the demo wrote no glTF file into $work/out" >&2
  exit 1
fi
# shellcheck disable=SC2086
node "$script" --modules "$modules" $files
