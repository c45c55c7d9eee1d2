#!/bin/bash
# Builds what is missing and runs the Zent loader on your display, with the target unit
# simulator (zent-unit) on a pseudo-terminal as COM1, so Download has a partner to program.
# Set ZENT_COM1 yourself (for example ZENT_COM1=/dev/ttyUSB0) to use a real unit instead;
# ZENT_UNIT_ARGS gives the simulator other options (default --paced --stay: real line rate,
# and it keeps answering after the application started, so you can download again).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: there is no display (DISPLAY is not set)."
  echo "zent-loader opens a window, so run this from a graphical session (or over ssh -X)."
  echo "Without a display, the window is tested under Xvfb by: ctest -R gui_download (in build/)."
  exit 1
fi

bash scripts/setup.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" >/dev/null
cmake --build build --target zent-loader zent-unit

unit_pid=
cleanup() { [ -n "$unit_pid" ] && kill "$unit_pid" 2>/dev/null || true; }
trap cleanup EXIT

if [ -z "${ZENT_COM1:-}" ]; then
  unit_out=$(mktemp)
  # shellcheck disable=SC2086
  build/bin/zent-unit ${ZENT_UNIT_ARGS:---paced --stay} >"$unit_out" 2>&1 &
  unit_pid=$!
  for _ in $(seq 1 50); do [ -s "$unit_out" ] && break; sleep 0.1; done
  ZENT_COM1=$(head -n 1 "$unit_out")
  if [ ! -e "$ZENT_COM1" ]; then
    echo "run.sh: zent-unit did not start:"; cat "$unit_out"; exit 1
  fi
  export ZENT_COM1
  echo "run.sh: the unit simulator answers on $ZENT_COM1 (COM1); its log: $unit_out"
fi

build/bin/zent-loader "$@"
