#!/usr/bin/env bash
# Builds Vantrel and starts it. The build puts the delivered database beside the program only
# when none is there, so your own Vantrel.vt is never replaced.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j2 --target vantrel
exec build/bin/vantrel
