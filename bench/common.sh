# shellcheck shell=bash
# Shared by bench/soak and bench/performance (sourced, not run): a private folder, an X
# display when there is none, the player copied beside an ini of its own, the virtual dongle,
# and the clean-up of everything started here.
#
# The player reads Kestrune.ini next to its executable, so it is copied into the folder
# with an ini that names the virtual dongle; the user's build/Kestrune.ini stays untouched.
# The operation log goes to the folder too (XDG_DATA_HOME). Sound goes to ALSA's null
# device (a HOME of the folder's own with an .asoundrc, and an XDG_RUNTIME_DIR without a
# sound server), so a sound card or a sound server on the machine does not change the
# figures. Whatever the benchmark compares against gets the same environment.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KESTRUNE_BUILD:-$bench_root/build}
demo=$build/demo
work=""
bench_pids=()

bench_die() {
    echo "${0##*/}: $*" >&2
    exit 1
}

bench_need_command() {
    local c
    for c in "$@"; do
        command -v "$c" >/dev/null 2>&1 ||
            bench_die "$c is missing: run scripts/setup (it installs what the benchmarks need)"
    done
}

bench_need_build() {
    local f
    for f in "$@"; do
        [[ -x "$build/$f" ]] ||
            bench_die "$build/$f is missing: build it first (./run, or ninja -C $build $f)"
    done
}

# The demo media, made by scripts/make-demo when missing (as ./run does).
bench_need_demo() {
    if [[ ! -s "$demo/demo.mp4" || ! -s "$demo/demo.csv" ]]; then
        bench_need_command ffmpeg
        "$bench_root/scripts/make-demo" "$demo" >&2
    fi
}

# Processes started here, ended in the reverse order at exit.
bench_track() {
    bench_pids+=("$@")
}

# Ends one process: SIGTERM, up to `seconds` for it to go, then SIGKILL. Reaps it when it
# is a child of this shell, and forgets it (its number may be given to another process).
bench_stop() {
    local pid=$1 seconds=${2:-10} i kept=()
    for i in "${bench_pids[@]}"; do
        [[ "$i" == "$pid" ]] || kept+=("$i")
    done
    bench_pids=("${kept[@]}")
    kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null || true; return 0; }
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < seconds * 10; i++)); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "${0##*/}: process $pid did not end within $seconds s of SIGTERM; killing it" >&2
        kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
}

bench_cleanup() {
    local status=$? i
    trap - EXIT INT TERM HUP
    while ((${#bench_pids[@]} > 0)); do
        bench_stop "${bench_pids[-1]}" 5
    done
    if [[ -n "$work" && -d "$work" ]]; then
        if [[ -n "${KESTRUNE_BENCH_KEEP:-}" ]]; then
            echo "${0##*/}: files kept in $work" >&2
        else
            rm -rf "$work"
        fi
    fi
    exit "$status"
}

# The private folder; everything started from here on is ended at exit.
bench_begin() {
    work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-$1.XXXXXX")
    trap bench_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM HUP
    mkdir -p "$work/bin" "$work/home" "$work/share" "$work/runtime" "$work/serial"
    chmod 700 "$work/runtime"
    printf '%s\n' 'pcm.!default { type null }' 'ctl.!default { type null }' >"$work/home/.asoundrc"
    export HOME=$work/home XDG_DATA_HOME=$work/share XDG_RUNTIME_DIR=$work/runtime
    export KESTRUNE_SERIAL_DIR=$work/serial
    unset PULSE_SERVER
}

# An Xvfb display of our own: with "own" always, with "when-needed" unless there is a
# display already.
bench_display() {
    [[ "${1:-}" != own && -n "${DISPLAY:-}" ]] && return 0
    bench_need_command Xvfb
    local number=$work/display i
    : >"$number"
    Xvfb -displayfd 9 -screen 0 1280x800x24 -nolisten tcp 9>"$number" 2>"$work/xvfb.log" &
    bench_track $!
    for ((i = 0; i < 100; i++)); do
        [[ -s "$number" ]] && break
        sleep 0.1
    done
    [[ -s "$number" ]] || bench_die "Xvfb did not start (see $work/xvfb.log)"
    DISPLAY=:$(tr -dc '0-9' <"$number")
    export DISPLAY
}

# The player in $work/bin with its ini; LOG_LEVEL from KESTRUNE_BENCH_LOG_LEVEL (default 0,
# no debug window, as a user runs it).
bench_player() {
    cp -f "$build/Kestrune" "$work/bin/Kestrune"
    cat >"$work/bin/Kestrune.ini" <<EOF
[DEBUG]
LOG_LEVEL=${KESTRUNE_BENCH_LOG_LEVEL:-0}

[USB_DONGLE]
DEVICE_NAME=Kestrune_Virtual_Dongle

[COM_PORT]
BAUD_RATE=9600
PARITY=0
DATA_BITS=8
STOP_BITS=0
EOF
    # shellcheck disable=SC2034  # for the script that sources this file
    player=$work/bin/Kestrune
}

# The virtual dongle in $work/serial, recording into $1; returns when its link is there.
bench_devsim() {
    local record=$1 out=$work/devsim.out i
    "$build/kestrune-devsim" --dir "$work/serial" --record "$record" >"$out" 2>&1 &
    devsim_pid=$!
    bench_track "$devsim_pid"
    for ((i = 0; i < 50; i++)); do
        grep -qs '^devsim: link' "$out" && return 0
        sleep 0.1
    done
    bench_die "the virtual dongle did not start: $(head -c 500 "$out")"
}

# The operation logs under $XDG_DATA_HOME in UTF-8 (they are written in code page 932).
bench_operation_log() {
    local file
    for file in "$XDG_DATA_HOME/QUAMBERPlayer/log"/log_*.csv; do
        [[ ! -e "$file" ]] || iconv -f CP932 -t UTF-8 "$file"
    done
}

# Seconds since the epoch of an operation-log stamp "YYYY/MM/DD,hh:mm:ss.mmm" (local time).
bench_log_epoch() {
    local day=${1%%,*} clock=${1#*,}
    date -d "${day//\//-} $clock" +%s.%3N
}

# Waits until the operation log has a line containing $1; up to $2 seconds.
bench_wait_log() {
    local text=$1 seconds=$2 i
    for ((i = 0; i < seconds * 10; i++)); do
        [[ "$(bench_operation_log)" == *"$text"* ]] && return 0
        sleep 0.1
    done
    return 1
}
