# shellcheck shell=bash
# Shared by the scripts in bench/ (sourced, not run): a private folder, an X
# display when there is none, the player copied beside an ini of its own, the virtual dongle,
# and the clean-up of everything started here (with scripts/lib.sh).
#
# The player reads Kestrune.ini next to its executable, so it is copied into the folder
# with an ini that names the virtual dongle; the user's build/Kestrune.ini stays untouched.
# The operation log goes to the folder too (XDG_DATA_HOME). Sound goes to ALSA's null
# device (a HOME of the folder's own with an .asoundrc, and an XDG_RUNTIME_DIR without a
# sound server), so a sound card or a sound server on the machine does not change the
# figures. Whatever the benchmark compares against gets the same environment.

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=scripts/lib.sh
source "$bench_root/scripts/lib.sh"
build=${KESTRUNE_BUILD:-$bench_root/build}
demo=$build/demo
work=""

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

# Builds the programs $@ in $build with the benchmarks switched on (./run leaves them off); a
# new $build is configured as ./run does it. What the build prints goes to standard error.
bench_build() {
    local settings=(-DKESTRUNE_BENCH=ON)
    bench_need_command cmake
    [[ -f "$build/CMakeCache.txt" ]] ||
        settings+=(-G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUNE_TESTS=OFF)
    if ! grep -qs '^KESTRUNE_BENCH:BOOL=ON$' "$build/CMakeCache.txt"; then
        cmake -S "$bench_root" -B "$build" "${settings[@]}" >/dev/null ||
            bench_die "cmake failed in $build"
    fi
    cmake --build "$build" -j"$(nproc)" --target "$@" >&2 || bench_die "the build in $build failed"
}

# The demo media, made by scripts/make-demo when missing (as ./run does).
bench_need_demo() {
    if [[ ! -s "$demo/demo.mp4" || ! -s "$demo/demo.csv" ]]; then
        bench_need_command ffmpeg
        "$bench_root/scripts/make-demo" "$demo" >&2
    fi
}

bench_cleanup() {
    local status=$?
    trap - EXIT INT TERM HUP
    stop_tracked_processes
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
    make_null_alsa_home "$work/home"
    export HOME=$work/home XDG_DATA_HOME=$work/share XDG_RUNTIME_DIR=$work/runtime
    export KESTRUNE_SERIAL_DIR=$work/serial
    unset PULSE_SERVER
}

# An Xvfb display of our own: with "own" always, with "when-needed" unless there is a
# display already.
bench_display() {
    [[ "${1:-}" != own && -n "${DISPLAY:-}" ]] && return 0
    bench_need_command Xvfb
    start_xvfb 1280x800x24 "$work/xvfb.log" || bench_die "Xvfb did not start (see $work/xvfb.log)"
}

# The player in $work/bin with its ini; LOG_LEVEL from KESTRUNE_BENCH_LOG_LEVEL (default 0,
# no debug window, as a user runs it).
bench_player() {
    cp -f "$build/Kestrune" "$work/bin/Kestrune"
    write_player_ini "$work/bin/Kestrune.ini" "${KESTRUNE_BENCH_LOG_LEVEL:-0}" dongle
    # shellcheck disable=SC2034  # for the script that sources this file
    player=$work/bin/Kestrune
}

# The virtual dongle in $work/serial (its process in devsim_pid), recording into $1; returns
# when its link is there.
bench_devsim() {
    local out=$work/devsim.out
    start_devsim --errors-too "$out" "$build/kestrune-devsim" --dir "$work/serial" --record "$1" ||
        bench_die "the virtual dongle did not start: $(head -c 500 "$out")"
}

# The picture-sync media (scripts/make-picture-sync-media) in $picture_media, made when
# missing; picture_media_list holds the media's names, or $@ when given. With --seconds N
# first, the long program stream and DVD of N seconds for the drift runs.
bench_need_picture_media() {
    bench_need_command ffmpeg dvdauthor spumux genisoimage
    local length=()
    picture_media=$build/picture-sync
    picture_media_list=(mp4 mkv ts mpg dvd iso menu menu-list)
    if [[ ${1:-} == --seconds ]]; then
        length=("$2")
        picture_media=$build/picture-sync-$2
        picture_media_list=(mpg dvd)
        shift 2
    fi
    # shellcheck disable=SC2034 # read by the scripts that call this
    [[ $# -eq 0 ]] || picture_media_list=("$@")
    "$bench_root/scripts/make-picture-sync-media" "$picture_media" "${length[@]}" >&2
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

# The player $1's main window, as soon as it shows: of its shown windows with the product's
# name (the panels over the video have it too), the first larger than 300x300.
bench_main_window() {
    local id i
    for ((i = 0; i < 200; i++)); do
        for id in $(xdotool search --onlyvisible --pid "$1" --name '^QUAMBERPlayer$' 2>/dev/null); do
            if xdotool getwindowgeometry "$id" |
                awk '/Geometry:/ { split($2, s, "x"); exit !(s[1] > 300 && s[2] > 300) }'; then
                echo "$id"
                return 0
            fi
        done
        sleep 0.05
    done
}

# Keys to the player's window $1 (xdotool key names), as a user types them.
bench_press() {
    local window=$1
    shift
    xdotool windowactivate --sync "$window" key --delay 150 "$@"
}

# Opens the first menu of the player $1's menu bar (DVDメニュー) with a click on it, then
# types the keys $2... into it: the menu bar does not take Alt from the keyboard here (Alt
# alone leaves the focus where it was, and the arrows go to the sliders).
bench_menu_bar() {
    local window=$1
    shift
    xdotool windowactivate --sync "$window" mousemove --window "$window" 20 8 click 1 \
        sleep 0.3 key --delay 150 "$@"
}
