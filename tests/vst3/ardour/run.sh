#!/bin/sh
# Runs the instrument in Ardour's headless tools, isolated in a folder of its own.
# Usage: run.sh scan|session <bundle> <scripts folder> [note|trigger]
set -u
mode=$1 bundle=$2 scripts=$3 how=${4:-note}

work=$(mktemp -d "${TMPDIR:-/tmp}/corva-ardour.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_CACHE_HOME="$work/home/.cache" \
       XDG_DATA_HOME="$work/home/.local/share" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME/.vst3" "$XDG_CONFIG_HOME/ardour7/scripts" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset VST3_PATH

# Ardour trusts its scan cache only when it is newer than the module, to the second.
cp -R "$bundle" "$HOME/.vst3/" || exit 1
touch -d '-10 seconds' "$HOME/.vst3/Corva.vst3/Contents/x86_64-linux/Corva.so"

scan=$(LD_LIBRARY_PATH=/usr/lib/ardour7 /usr/lib/ardour7/ardour-vst3-scanner -f -v "$HOME/.vst3/Corva.vst3" 2>&1)
echo "$scan"
# The scanner exits 0 even when it rejects a module: judge it by what it says.
echo "$scan" | grep -q 'Found Plugin: Tembrix Audio Corva-1' || { echo "FAIL: the scanner did not find the instrument"; exit 1; }
echo "$scan" | grep -q 'Saved VST3 plugin cache' || { echo "FAIL: the scanner saved no cache"; exit 1; }
for attr in 'n_inputs="0"' 'n_outputs="2"' 'n_midi_inputs="1"' 'category="Instrument|Synth"' \
            'uid="F2AEE70D00DE4F4E5462727851764372"'; do
  echo "$scan" | grep -qF "$attr" || { echo "FAIL: the scan cache lacks $attr"; exit 1; }
done
[ "$mode" = scan ] && { echo PASS; exit 0; }

cp "$scripts/probe.lua" "$XDG_CONFIG_HOME/ardour7/scripts/corva_probe.lua"
# Ardour itself fails now and then while creating a track; a fresh session is the cure.
# Ardour itself fails now and then while creating a track, and may hang while closing a
# reopened session after the checks are done: a fresh session is the cure for the first,
# and the outcome is read from the log as soon as it is there.
for attempt in 1 2 3 4 5; do
  out="$work/session-$attempt.log"
  stdbuf -oL ardour7-lua "$scripts/session.lua" "$work/session-$attempt" "$how" >"$out" 2>&1 &
  pid=$!
  waited=0
  while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 240 ]; do
    grep -q '^CORVA-\(PASS\|FAIL\)' "$out" && sleep 2 && break
    sleep 0.5
    waited=$((waited + 1))
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  grep 'CORVA-' "$out"
  if grep -q '^CORVA-PASS' "$out"; then echo PASS; exit 0; fi
  if grep -q '^CORVA-FAIL' "$out"; then tail -20 "$out"; exit 1; fi
  echo "attempt $attempt ended early; retrying"
  tail -5 "$out"
done
echo "FAIL: Ardour never completed the session"
exit 1
