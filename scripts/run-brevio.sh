#!/bin/bash
# Starts Brevio from a build's program folder. When no camera is attached the
# demo document camera stands in, so that every mode can be tried.
set -u
bin=${1:?usage: run-brevio.sh PROGRAM_FOLDER [ARGUMENTS]}
shift

if [ -z "${DISPLAY:-}" ]; then
  echo "Brevio needs a graphical session (DISPLAY is not set): run 'make run' in a terminal on the desktop." >&2
  exit 1
fi
# The windows, hot keys and screen capture work on X (XWayland included).
export QT_QPA_PLATFORM=xcb

if [ -z "${BREVIO_DEMO_CAMERA:-}" ] &&
   [ "$(BREVIO_DEMO_CAMERA= "$bin/brevio-camera" list 2>/dev/null | head -n 1)" = "no camera" ]; then
  echo "No camera attached: Brevio starts with the demo document camera."
  export BREVIO_DEMO_CAMERA=1
fi
exec "$bin/Brevio" "$@"
