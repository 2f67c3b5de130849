#!/bin/bash
# Checks the layout: every arrow between top folders runs down the floors
# that scripts/check_layout.py names (what ships, the field's stand-ins, the
# host, what tests share, the tests, the scripts), nothing outside a
# subsystem reaches into its tests folder, and no include climbs out of its
# folder. Prints each offence and the floors; exit 1 when there is one. Run
# by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
exec /usr/bin/python3 scripts/check_layout.py
