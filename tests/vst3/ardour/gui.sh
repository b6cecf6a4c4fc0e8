#!/bin/sh
# Plays the user in Ardour's own window: on a session with the instrument on a MIDI track,
# opens the instrument's editor from the mixer strip, drags the tone selector two
# positions up, lets Ardour save the session and checks there that the Tone parameter
# moved. Runs on an X server of its own with openbox, isolated in a folder of its own;
# a screenshot of each step goes into the picture folder.
# Usage: gui.sh <bundle> <scripts folder> <picture folder>
# Exit 77 (skipped) when a tool it needs is missing.
set -u
bundle=$1 scripts=$2 pictures=$3

for tool in ardour ardour7-lua openbox Xvfb xdotool xwininfo; do
  command -v "$tool" >/dev/null 2>&1 || { echo "SKIPPED: $tool is not installed"; exit 77; }
done
# Debian's Python, which has PIL, whatever other Python comes first on PATH.
python=/usr/bin/python3
"$python" -c 'import PIL' 2>/dev/null || { echo "SKIPPED: $python has no PIL"; exit 77; }

work=$(mktemp -d "${TMPDIR:-/tmp}/corva-ardour-gui.XXXXXX") || exit 1
groups=""
cleanup() {
  for g in $groups; do kill -- "-$g" 2>/dev/null; done
  sleep 1
  for g in $groups; do kill -9 -- "-$g" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
# Starts a program in a process group of its own, which cleanup ends.
start() {
  setsid "$@" &
  groups="$groups $!"
}
fail() {
  echo "FAIL: $*"
  shot failure
  tail -20 "$work/ardour.log" 2>/dev/null
  exit 1
}
shot() { [ -n "${DISPLAY:-}" ] && "$python" "$scripts/screenshot.py" "$pictures/ardour-gui-$1.png" ${2:-} 2>/dev/null; }
# The first window whose name matches $1, waiting up to $2 seconds.
window() {
  i=0
  while [ "$i" -lt $(($2 * 4)) ]; do
    id=$(xdotool search --name "$1" 2>/dev/null | head -1)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.25
    i=$((i + 1))
  done
  return 1
}
# Sets X and Y to the screen position of window $1's top-left corner, W and H to its size.
place() {
  info=$(xwininfo -id "$1") || return 1
  X=$(echo "$info" | sed -n 's/.*Absolute upper-left X: *//p')
  Y=$(echo "$info" | sed -n 's/.*Absolute upper-left Y: *//p')
  W=$(echo "$info" | sed -n 's/.*Width: *//p')
  H=$(echo "$info" | sed -n 's/.*Height: *//p')
}
# The Tone value in the saved session.
tone() { grep -o '<Controllable name="Tone"[^>]*>' "$session/corva.ardour" | sed -n 's/.* value="\([^"]*\)".*/\1/p' | head -1; }

export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
       XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME/.vst3" "$XDG_CONFIG_HOME/ardour7" "$XDG_RUNTIME_DIR" "$pictures"
chmod 700 "$XDG_RUNTIME_DIR"
unset VST3_PATH
# The first run counts as done (no new-user wizard), and the engine starts on the dummy
# audio system without asking.
touch "$XDG_CONFIG_HOME/ardour7/.a7"
cat >"$XDG_CONFIG_HOME/ardour7/config" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<Ardour>
  <Config>
    <Option name="hide-dummy-backend" value="0"/>
    <Option name="try-autostart-engine" value="1"/>
  </Config>
  <Extra>
    <AudioMIDISetup>
      <EngineStates>
        <State backend="None (Dummy)" driver="Normal Speed" device="Silence" input-device="" output-device=""
               sample-rate="48000" buffer-size="1024" n-periods="0" input-latency="0" output-latency="0"
               lm-input="" lm-output="" active="1" use-buffered-io="0" midi-option="1 in, 1 out, Silence" lru="1">
          <MIDIDevices/>
        </State>
      </EngineStates>
    </AudioMIDISetup>
  </Extra>
</Ardour>
EOF

# Ardour trusts its scan cache only when it is newer than the module, to the second.
cp -R "$bundle" "$HOME/.vst3/" || exit 1
touch -d '-10 seconds' "$HOME/.vst3/Corva.vst3/Contents/x86_64-linux/Corva.so"
LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -f -v "$HOME/.vst3/Corva.vst3" 2>&1 |
  grep -q 'Found Plugin: Tembrix Audio Corva-1' || { echo "FAIL: the scanner did not find the instrument"; exit 1; }

# The session, made headless; Ardour's Lua tool fails now and then while making a track.
session=""
for attempt in 1 2 3; do
  log="$work/session-$attempt.log"
  stdbuf -oL timeout 120 ardour7-lua "$scripts/session.lua" "$work/session-$attempt" save >"$log" 2>&1
  if grep -q '^CORVA-PASS' "$log"; then session="$work/session-$attempt"; break; fi
  grep 'CORVA-' "$log"
done
[ -n "$session" ] || { echo "FAIL: no session could be made"; exit 1; }
track=$(sed -n 's/^CORVA-TRACK //p' "$log")
before=$(tone)
echo "session with track $track, Tone $before"

# Its own X server, which picks a free display itself, and a window manager.
start Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log"
i=0
while [ ! -s "$work/display" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i + 1)); done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"
start openbox --sm-disable
sleep 1
start ardour -n -a "$session/corva.ardour" >"$work/ardour.log" 2>&1

main=$(window "corva - Ardour" 90)
if [ -z "$main" ] && setup=$(window "Audio/MIDI Setup" 1); then
  # The engine did not start by itself: start it from the set-up dialog (Start sits in its
  # bottom-right corner).
  shot setup
  place "$setup"
  xdotool mousemove $((X + W - 58)) $((Y + H - 30)) click 1
  main=$(window "corva - Ardour" 60)
fi
[ -n "$main" ] || fail "Ardour's main window never came up"
sleep 2
shot editor-window

# The mixer, then a double click on the instrument, the strip's first processor.
xdotool windowactivate --sync "$main" >/dev/null 2>&1
xdotool key --window "$main" alt+m
sleep 2
shot mixer
place "$main"
plugwin=""
for dy in 186 180 192; do
  xdotool mousemove $((X + 339)) $((Y + dy)) click --repeat 2 --delay 80 1
  plugwin=$(window "$track: Tembrix Audio Corva-1" 5) && break
done
[ -n "$plugwin" ] || fail "the instrument's window did not open from the mixer strip"
sleep 2
# The editor is a child window inside Ardour's plug-in window.
at=$(xwininfo -tree -id "$plugwin" | grep '"Corva-1"' | head -1 | awk '{print $NF}')
[ -n "$at" ] || fail "no editor inside the instrument's window"
ex=$(echo "$at" | cut -d+ -f2)
ey=$(echo "$at" | cut -d+ -f3)
shot opened "$plugwin"

# Drag the tone selector (at 108, 121 in the 648-pixel editor) up by 48 pixels: two
# positions.
tx=$((ex + 108)) ty=$((ey + 121))
xdotool mousemove $tx $ty sleep 0.2 mousedown 1 sleep 0.1 mousemove $tx $((ty - 10)) sleep 0.1 \
  mousemove $tx $((ty - 30)) sleep 0.1 mousemove $tx $((ty - 48)) sleep 0.2 mouseup 1
sleep 1
shot dragged "$plugwin"

# Ardour saves what it holds of the parameter; wait for the save to land.
after=$before
for attempt in 1 2 3 4 5; do
  xdotool windowactivate --sync "$main" >/dev/null 2>&1
  xdotool key --window "$main" ctrl+s
  sleep 2
  after=$(tone)
  [ "$after" != "$before" ] && break
done
echo "Tone before the drag: $before, after: $after"
[ "$after" = 3 ] || fail "the drag did not reach Ardour's Tone parameter (it holds $after)"
echo PASS
