#!/usr/bin/env node
// Validates .gltf and .glb files with the reference glTF validator (npm package gltf-validator).
//
//   node tools/validate-gltf.js [--modules DIR] FILE...
//
// DIR is the node_modules folder that holds gltf-validator (default: $GLTF_VALIDATOR_MODULES, else
// build/tools/node_modules beside this folder; `make validator` installs it there). Prints one line per
// file with the report's error, warning, information and hint counts, and the messages of errors and
// warnings. Exit code: 0 when no file has an error, 1 when one does, 2 on bad usage or a missing validator.
'use strict';
const fs = require('fs');
const path = require('path');

function usage(msg) {
  if (msg) console.error('validate-gltf: ' + msg);
  console.error('usage: node validate-gltf.js [--modules DIR] FILE...');
  process.exit(2);
}

const args = process.argv.slice(2);
let modules = process.env.GLTF_VALIDATOR_MODULES || path.join(__dirname, '..', 'build', 'tools', 'node_modules');
const files = [];
for (let i = 0; i < args.length; ++i) {
  if (args[i] === '--modules') {
    if (i + 1 >= args.length) usage('--modules needs a folder');
    modules = args[++i];
  } else if (args[i].startsWith('-')) {
    usage('unknown option ' + args[i]);
  } else {
    files.push(args[i]);
  }
}
if (files.length === 0) usage('no file given');

let validator;
try {
  validator = require(path.resolve(modules, 'gltf-validator'));
} catch (e) {
  console.error('validate-gltf: the gltf-validator package is not installed in ' + path.resolve(modules) +
                ' (run `make validator`, or npm install --prefix <build>/tools gltf-validator)');
  process.exit(2);
}

async function validateFile(file) {
  const bytes = new Uint8Array(fs.readFileSync(file));
  const report = await validator.validateBytes(bytes, {
    uri: path.basename(file),
    maxIssues: 0,
    writeTimestamp: false,
    externalResourceFunction: (uri) =>
      new Promise((resolve, reject) => {
        fs.readFile(path.resolve(path.dirname(file), decodeURIComponent(uri)), (err, data) =>
          err ? reject(err.toString()) : resolve(new Uint8Array(data)));
      }),
  });
  const is = report.issues;
  console.log(`${file}: ${is.numErrors} errors, ${is.numWarnings} warnings, ${is.numInfos} infos, ${is.numHints} hints`);
  for (const m of is.messages) {
    if (m.severity <= 1) {
      const kind = m.severity === 0 ? 'error' : 'warning';
      console.log(`  ${kind} ${m.code}: ${m.message}${m.pointer ? ' (' + m.pointer + ')' : ''}`);
    }
  }
  return is.numErrors;
}

(async () => {
  let failed = 0;
  for (const file of files) {
    try {
      if ((await validateFile(file)) > 0) ++failed;
    } catch (e) {
      console.log(`${file}: cannot be validated: ${e}`);
      ++failed;
    }
  }
  console.log(`${files.length - failed} passed, ${failed} failed`);
  process.exit(failed ? 1 : 0);
})();
