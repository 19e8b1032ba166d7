#!/usr/bin/env bash
# Runs a program inside a private D-Bus session that has its own GNOME Keyring,
# created and unlocked with a throwaway password in a temporary home, so the
# tests talk to a real Secret Service and never to the user's keyring.
# Usage: RunWithKeyring.sh <program> [arguments]
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME="$home" XDG_RUNTIME_DIR="$home/run" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config"
unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION
# The daemon leaves with the session's bus when the program ends.
dbus-run-session -- bash -c '
  printf kestrion-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  exec "$@"' keyring "$@" 2> >(grep -v "Failed to set fd limit" >&2)
