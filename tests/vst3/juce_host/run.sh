#!/bin/sh
# Runs the JUCE host over a copy of the bundle with a private home and data folder.
set -u
host=$1 bundle=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/corva-juce.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
cp -R "$bundle" "$work/" || exit 1
exec "$host" "$work/$(basename "$bundle")"
