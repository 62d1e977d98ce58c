#!/usr/bin/env bash
# Installs the dependencies, makes a release build and starts the program.
# With no display, the program runs under Xvfb when xvfb-run is present, else on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKELVARO_TESTS=OFF
cmake --build build/release -j"$(nproc)" --target kelvaro
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    if command -v xvfb-run >/dev/null 2>&1; then
        exec xvfb-run -a -s "-screen 0 1280x800x24" build/release/kelvaro "$@"
    fi
    export QT_QPA_PLATFORM=offscreen
fi
exec build/release/kelvaro "$@"
