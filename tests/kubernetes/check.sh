#!/usr/bin/env bash
# The Kubernetes manifest (cluster/quillon-indexed-job.yaml) against the Kubernetes API schemas,
# offline: npm's kubernetes-models (pinned) and js-yaml are installed into a folder of the build
# once (Node.js and npm from Debian's packages when there is no npm), then validate.js checks
# every document, and the manifest is checked for what the cluster recipe needs: its logs folder
# made, a source list used, the volume's access mode ReadWriteMany.
#
#   tests/kubernetes/check.sh [folder for the npm packages]      (default build/kubernetes)
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
modules=${1:-$repo/build/kubernetes}
manifest=$repo/cluster/quillon-indexed-job.yaml
KUBERNETES_MODELS_VERSION=4.5.1  # the last whose Node.js is Debian 12's (5.x needs Node.js 22)
JS_YAML_VERSION=4.1.0

fail() { echo "kubernetes check FAILED: $*" >&2; exit 1; }

if ! command -v npm >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends nodejs npm \
        >/dev/null
fi
mkdir -p "$modules"
if [ "$(cat "$modules/versions" 2>/dev/null)" != "$KUBERNETES_MODELS_VERSION $JS_YAML_VERSION" ]; then
    npm install --prefix "$modules" --no-audit --no-fund --no-save --loglevel=error \
        "kubernetes-models@$KUBERNETES_MODELS_VERSION" "js-yaml@$JS_YAML_VERSION" >/dev/null
    echo "$KUBERNETES_MODELS_VERSION $JS_YAML_VERSION" >"$modules/versions"
fi

NODE_PATH="$modules/node_modules" node "$repo/tests/kubernetes/validate.js" "$manifest" ||
    fail "the manifest does not validate"
grep -q "accessModes: \[ReadWriteMany\]" "$manifest" || fail "the volume is not ReadWriteMany"
grep -q "mkdir -p /data/logs &&" "$manifest" || fail "the logs folder is not made"
grep -q "SourceList=/data/lists/" "$manifest" || fail "the pods walk the tree instead of a list"
echo "kubernetes check passed: $manifest"
