#!/usr/bin/env bash
# Runs a command with an X display: the one in DISPLAY, or else a private Xvfb on a free display number.
set -euo pipefail

if [ -n "${DISPLAY:-}" ]; then exec "$@"; fi

number_file=$(mktemp)
# -noreset: after its last client leaves, Xvfb would otherwise reset and refuse the next one for a
# moment, which a test that starts a program just then would see as no display at all.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$number_file" >/dev/null 2>&1 &
xvfb=$!
# Waited for, so that no server is left running (or exiting) once the command is done.
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null || true; rm -f "$number_file"' EXIT
for _ in $(seq 100); do
  [ -s "$number_file" ] && break
  sleep 0.1
done
[ -s "$number_file" ] || { echo "Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$number_file")"
"$@"
