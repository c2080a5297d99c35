#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Starts or stops the test run's own PulseAudio server with a null sink.
#   pulse_server.sh start DIR   starts it, socket DIR/native, pid in DIR/pid
#   pulse_server.sh stop DIR    stops the server started by "start", by its process id
# The sink is "sorvanto_null"; its monitor records what the program plays.
set -u
cmd=${1:?start or stop}
dir=${2:?directory}
case "$cmd" in
start)
    command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >&2; exit 1; }
    if [[ -f "$dir/pid" ]] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; then
        kill "$(cat "$dir/pid")" 2>/dev/null; sleep 0.5
    fi
    rm -rf "$dir"; mkdir -p "$dir/runtime" "$dir/state"; chmod 700 "$dir/runtime"
    export XDG_RUNTIME_DIR="$dir/runtime" PULSE_STATE_PATH="$dir/state" HOME="$dir/state"
    unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS
    pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disallow-exit \
        --load="module-null-sink sink_name=sorvanto_null rate=48000 norewinds=1" \
        --load="module-native-protocol-unix socket=$dir/native auth-anonymous=1" \
        >"$dir/log" 2>&1 &
    echo $! >"$dir/pid"
    for _ in $(seq 1 100); do
        if PULSE_SERVER="unix:$dir/native" pactl info >/dev/null 2>&1; then
            PULSE_SERVER="unix:$dir/native" pactl set-default-sink sorvanto_null
            echo "PulseAudio test server up, pid $(cat "$dir/pid")"; exit 0
        fi
        sleep 0.1
    done
    echo "PulseAudio test server did not come up:" >&2; cat "$dir/log" >&2; exit 1 ;;
stop)
    if [[ -f "$dir/pid" ]]; then
        pid=$(cat "$dir/pid"); kill "$pid" 2>/dev/null
        for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -9 "$pid" 2>/dev/null; rm -f "$dir/pid"
    fi
    exit 0 ;;
*) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
