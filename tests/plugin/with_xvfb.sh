#!/bin/sh
# Runs a command on an X server of its own: Xvfb picks a free display number itself
# (-displayfd), so tests started at the same moment never share or race for a display.
# -noreset: by default the server resets once its last client has gone, and a client
# that connects while it does (the next editor's window, moments later) has its
# connection reset; on a busy machine that window is wide.
# Usage: with_xvfb.sh <command> [arguments]
dir=$(mktemp -d) || exit 1
Xvfb -displayfd 3 -screen 0 2800x1800x24 -nolisten tcp -noreset 3>"$dir/display" 2>"$dir/log" &
server=$!
i=0
while [ ! -s "$dir/display" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
if [ ! -s "$dir/display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$dir/log" >&2
  kill $server 2>/dev/null
  rm -rf "$dir"
  exit 1
fi
DISPLAY=":$(cat "$dir/display")"
export DISPLAY
"$@"
status=$?
kill $server 2>/dev/null
wait $server 2>/dev/null
rm -rf "$dir"
exit $status
