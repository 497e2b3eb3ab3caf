# shellcheck shell=bash
# What the scripts share (sourced, not run): the player's ini, a HOME whose ALSA plays into
# the null device, the virtual dongle, an Xvfb display with a window manager and a
# compositor, and the ending of the processes they start.
#
# Processes started here are tracked; stop_tracked_processes ends them, the last started
# first (a script calls it from its EXIT trap). The kestrune-devsim started last is in
# devsim_pid.

tracked_pids=()

# Remembers processes for stop_tracked_processes.
track_process() {
    tracked_pids+=("$@")
}

# Starts a command in the background with its output thrown away, and tracks it.
start_quiet() {
    "$@" >/dev/null 2>&1 &
    track_process $!
}

# Ends one process: SIGTERM, up to $2 seconds (default 10) for it to go, then SIGKILL with
# the message $3 on standard error. Reaps it when it is a child of this shell, its exit
# status in stopped_status, and forgets it (its number may be given to another process).
# shellcheck disable=SC2034  # stopped_status is for the script that sources this file
stop_process() {
    local pid=$1 seconds=${2:-10} i kept=()
    local message=${3:-"${0##*/}: process $pid did not end within $seconds s of SIGTERM; killing it"}
    for i in "${tracked_pids[@]}"; do
        [[ "$i" == "$pid" ]] || kept+=("$i")
    done
    tracked_pids=("${kept[@]}")
    if kill -0 "$pid" 2>/dev/null; then
        kill -TERM "$pid" 2>/dev/null || true
        for ((i = 0; i < seconds * 10; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        if kill -0 "$pid" 2>/dev/null; then
            echo "$message" >&2
            kill -KILL "$pid" 2>/dev/null || true
        fi
    fi
    stopped_status=0
    wait "$pid" 2>/dev/null || stopped_status=$?
}

# Ends every tracked process, the last started first, each given 5 s to go after SIGTERM.
stop_tracked_processes() {
    while ((${#tracked_pids[@]} > 0)); do
        stop_process "${tracked_pids[-1]}" 5
    done
}

# Writes the player's settings, Kestrune.ini beside its executable, into the file $1 with
# LOG_LEVEL $2; with a third argument "dongle", the serial settings of the virtual dongle too.
write_player_ini() {
    local file=$1 level=$2
    printf '[DEBUG]\nLOG_LEVEL=%s\n' "$level" >"$file"
    [[ "${3:-}" == dongle ]] || return 0
    cat >>"$file" <<'EOF'

[USB_DONGLE]
DEVICE_NAME=Kestrune_Virtual_Dongle

[COM_PORT]
BAUD_RATE=9600
PARITY=0
DATA_BITS=8
STOP_BITS=0
EOF
}

# Makes the folder $1 a HOME whose .asoundrc sends ALSA's default device to the null plug-in.
make_null_alsa_home() {
    mkdir -p "$1"
    printf '%s\n' 'pcm.!default { type null }' 'ctl.!default { type null }' >"$1/.asoundrc"
}

# Starts the virtual dongle: runs $2 (a kestrune-devsim) with the arguments after it in the
# background, its standard output into the file $1 (its standard error too with the option
# --errors-too before $1), and tracks it in devsim_pid. Returns once the dongle has said
# "devsim: link"; 1 if it has not within 5 s.
start_devsim() {
    local errors_too=0 out i
    if [[ "$1" == --errors-too ]]; then
        errors_too=1
        shift
    fi
    out=$1
    shift
    if ((errors_too)); then
        "$@" >"$out" 2>&1 &
    else
        "$@" >"$out" &
    fi
    devsim_pid=$!
    track_process "$devsim_pid"
    for ((i = 0; i < 50; i++)); do
        grep -qs '^devsim: link' "$out" && return 0
        sleep 0.1
    done
    return 1
}

# Starts Xvfb on a display number of its own with the screen $1 (such as 1280x800x24), its
# messages into the file $2 (default /dev/null), tracks it and exports DISPLAY. Returns 1 if
# it has not started within 10 s.
start_xvfb() {
    local number i
    number=$(mktemp)
    Xvfb -displayfd 9 -screen 0 "$1" -nolisten tcp 9>"$number" 2>"${2:-/dev/null}" &
    track_process $!
    for ((i = 0; i < 100; i++)); do
        [[ -s "$number" ]] && break
        sleep 0.1
    done
    if [[ ! -s "$number" ]]; then
        rm -f "$number"
        return 1
    fi
    DISPLAY=:$(tr -dc '0-9' <"$number")
    export DISPLAY
    rm -f "$number"
}

# A desktop on $DISPLAY as users have one: the openbox window manager (it draws the windows'
# frames) and the picom compositor with no shadows or fading. Returns once the window
# manager runs, or after 10 s without it, as programs on a desktop start after it.
start_desktop() {
    local i
    start_quiet openbox --sm-disable
    start_quiet picom --config /dev/null --backend xrender
    for ((i = 0; i < 100; i++)); do
        xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
        sleep 0.1
    done
    return 0
}
