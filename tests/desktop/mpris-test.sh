#!/usr/bin/env bash
# Drives a live mivola run through MPRIS with busctl, on a session bus of its own
# (run it under dbus-run-session) and the X display of the test run.
# Usage: mpris-test.sh MIVOLA DISK
# Exit 77 (skipped) without a display, a session bus or the client tools.
set -uo pipefail
mivola=$1
disk=$2
for tool in busctl xdotool; do
  command -v "$tool" >/dev/null || { echo "no $tool: skipped"; exit 77; }
done
[ -n "${DISPLAY:-}" ] || { echo "no X display: skipped"; exit 77; }
[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || { echo "no session bus: skipped"; exit 77; }

name=org.mpris.MediaPlayer2.org.mivola.Mivola
path=/org/mpris/MediaPlayer2
player=org.mpris.MediaPlayer2.Player
log=$(mktemp)
pid=
failures=0
monitor=
signals=
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null
  [ -n "$monitor" ] && kill "$monitor" 2>/dev/null
  rm -f "$log" "$signals"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
property() { busctl --user get-property "$name" "$path" "$1" "$2" 2>&1; }
call() { busctl --user call "$name" "$path" "$1" "$2"; }
# Waits up to $2 seconds for a line matching $1 in the log.
wait_log() {
  local pattern=$1 deadline=$((SECONDS + $2))
  until grep -q -- "$pattern" "$log"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}
playing_count() { grep -c '^Playing: ' "$log"; }
# Keys are polled: hold each long enough for a frame to see it, on our window.
# Focusing a window that is being remapped (going fullscreen) fails: try again.
press() {
  local window
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    window=$(xdotool search --name '^Mivola' | tail -1)
    [ -n "$window" ] && xdotool windowfocus --sync "$window" 2>/dev/null && break
    sleep 0.5
  done
  xdotool keydown "$1"; sleep 0.4; xdotool keyup "$1"
}

"$mivola" "$disk" >"$log" 2>&1 &
pid=$!
# The options dialog: Enter starts the show.
for _ in $(seq 50); do xdotool search --name '^Mivola' >/dev/null 2>&1 && break; sleep 0.2; done
press Return
wait_log "^\[mpris\] $name" 60 || { cat "$log"; fail "the bus name was not taken"; exit 1; }

# Every PropertiesChanged the player sends, for the checks below.
signals=$(mktemp)
busctl --user monitor --match "type='signal',path='$path',member='PropertiesChanged'" >"$signals" 2>&1 &
monitor=$!
sleep 0.5
changes() { grep -c "\"$1\"" "$signals"; }

# During the intro the controls are off, and say so.
[[ $(property $player CanGoNext) == "b false" ]] || fail "CanGoNext during the intro: $(property $player CanGoNext)"
call $player Next
sleep 1
[ "$(playing_count)" -eq 0 ] || fail "a Next during the intro changed the song"

press space
# A loaded machine can lose the key on its way: once more before giving up.
wait_log '^Playing: 0' 30 || { press space; wait_log '^Playing: 0' 30; } ||
  fail "the interface did not start the first song"
sleep 0.5
[[ $(property $player CanGoNext) == "b true" ]] || fail "CanGoNext in the interface"
[[ $(property $player PlaybackStatus) == 's "Playing"' ]] || fail "status: $(property $player PlaybackStatus)"
first=$(property $player Metadata)
[[ $first == *'/song/0"'* && $first == *xesam:title* && $first == *'mpris:artUrl" s "file:///'* ]] \
  || fail "metadata of song 0: $first"

# Next changes the song, like the amplifier's button; the metadata follows and
# clients are told.
metadata_changes=$(changes Metadata)
call $player Next
wait_log '^Playing: 1' 10 || fail "Next did not play song 1"
sleep 0.3
[ "$(changes Metadata)" -gt "$metadata_changes" ] || fail "no PropertiesChanged for Metadata after Next"
second=$(property $player Metadata)
[[ $second == *'/song/1"'* ]] || fail "metadata after Next: $second"
[[ $second != "$first" ]] || fail "the metadata did not change"

# A press during the carousel's turn is used up: two quick calls change one song.
sleep 1.2
before=$(playing_count)
call $player Next
call $player Next
sleep 1.5
[ $(($(playing_count) - before)) -eq 1 ] || fail "two Next calls within a turn changed $(($(playing_count) - before)) songs"

# The keyboard's media keys do the same.
sleep 0.5
before=$(playing_count)
press XF86AudioPrev
sleep 1
[ $(($(playing_count) - before)) -eq 1 ] || fail "the previous-track key did not change the song"

# PlayPause uses the player's pause, both ways.
status_changes=$(changes PlaybackStatus)
call $player PlayPause
sleep 0.5
[[ $(property $player PlaybackStatus) == 's "Paused"' ]] || fail "PlayPause did not pause"
[ "$(changes PlaybackStatus)" -gt "$status_changes" ] || fail "no PropertiesChanged for the pause"
call $player PlayPause
sleep 0.5
[[ $(property $player PlaybackStatus) == 's "Playing"' ]] || fail "PlayPause did not resume"

# Quit closes the window as its close button does: a normal shutdown.
call org.mpris.MediaPlayer2 Quit
for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$pid" 2>/dev/null; then
  fail "Quit did not end the run"
else
  wait "$pid"; code=$?
  pid=
  [ $code -eq 0 ] || fail "exit status $code after Quit"
  grep -q '^Bye bye' "$log" || fail "no shutdown after Quit"
fi
[ $failures -eq 0 ] || { echo "--- log"; grep -v '^\(Loaded\|Unloaded\|\[d3d\]\)' "$log"; }
exit $((failures > 0))
