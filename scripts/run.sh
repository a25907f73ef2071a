#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and opens the bundled example: in the
# window when a display is there, else with the command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build/release -DCMAKE_BUILD_TYPE=Release
example=examples/mirror200.srf
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x build/release/window/doroziri ]]; then
  exec build/release/window/doroziri "$example"
fi
exec build/release/cli/doroziri-cli "$example"
