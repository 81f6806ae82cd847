#!/usr/bin/env bash
# The main job: installs what is missing, builds, and runs the service
# command-line tool against the compiled-in endpoint. (The community server
# and the desktop client take over this script as they land.)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh
bash scripts/build.sh build/release
./build/release/tools/varnel-call/varnel-call --list
