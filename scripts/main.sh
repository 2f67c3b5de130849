#!/bin/bash
# The main job: install the toolchain, build both deliverables into dist/,
# then show them at work under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
bash scripts/demo.sh
