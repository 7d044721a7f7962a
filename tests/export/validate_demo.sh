#!/bin/sh
# Runs `wakeweave demo` into a fresh folder and checks every glTF file it wrote with the reference validator.
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

files=$(find "$work/out" -name '*.glb' -o -name '*.gltf' | sort)
if [ -z "$files" ]; then
  echo "FAIL: the demo wrote no glTF file into $work/out" >&2
  exit 1
fi
# shellcheck disable=SC2086
node "$script" --modules "$modules" $files
