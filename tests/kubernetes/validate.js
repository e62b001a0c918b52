// Validates every document of a Kubernetes manifest against the Kubernetes API schemas of npm's
// kubernetes-models (offline: the schemas come with the package). Prints one line per document;
// exits 1 at the first that does not validate, saying where and why.
//
//   node validate.js MANIFEST.yaml
"use strict";
const fs = require("fs");
const yaml = require("js-yaml");
const models = {
  "v1/PersistentVolumeClaim": require("kubernetes-models/v1").PersistentVolumeClaim,
  "batch/v1/Job": require("kubernetes-models/batch/v1").Job,
};

const file = process.argv[2];
let failed = false;
for (const doc of yaml.loadAll(fs.readFileSync(file, "utf8"))) {
  const kind = `${doc.apiVersion}/${doc.kind}`;
  const Model = models[kind];
  try {
    if (!Model) throw new Error(`no schema here for ${kind}`);
    new Model(doc).validate();
    console.log(`${file}: ${kind} ${doc.metadata.name}: valid`);
  } catch (e) {
    console.error(`${file}: ${kind}: ${e.message}`);
    failed = true;
  }
}
process.exit(failed ? 1 : 0);
