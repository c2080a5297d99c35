#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds a Release build in build/ and starts the player on the demo
# phrase set that the build writes into the program directory.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DSORVANTO_TESTS=OFF -DSORVANTO_BENCH=ON
cmake --build build --parallel
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" && -z "${QT_QPA_PLATFORM:-}" ]]; then
    cat >&2 <<'MSG'
There is no display to show the window on. Run it anyway with one of:
  QT_QPA_PLATFORM=offscreen ./run.sh     (no window; the program runs headless)
  xvfb-run -a ./run.sh                   (a virtual X display)
MSG
    echo "The build is ready: build/sorvanto" >&2
    exit 0
fi
exec build/sorvanto "$@"
