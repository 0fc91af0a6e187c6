#!/usr/bin/env bash
# The window program as a player meets it, under Xvfb, against velmora-devserver.
#
#   bench/e2e_window.sh [--build DIR] [--program FILE] [--dir DIR] [--runs N] [--settle S]
#
#  a. Time from launch to the first window on the display (the splash) of Velmora-TVRN
#     against bench/bare_window (a QLabel in a QApplication), each started by
#     bench/first_map, which reports the first MapNotify.        Goal: at most 2.0 times.
#  b. Once idle with the news page shown: proportional memory (Pss of smaps_rollup) summed
#     over the program and all its descendants (the web engine's helpers).  Goal: < 160 MB.
#  c. Once idle without a network (every server address refuses connections), so the page
#     view is never needed.                                      Goal: < 70 MB.
#     (The program stops at its message that the servers cannot be reached, over the splash.)
#  d. As c, with the main window up: only the page's server is out of reach.  Goal: < 70 MB.
#
# Each figure is the best of N runs (default 3); in (a) the two sides take turns and every
# pair's ratio is printed with the worst. "Idle" is: the main window is up (and, for b, the
# page was fetched and a renderer runs, and ten seconds passed since: the program gives back
# what starting the engine left behind a few seconds after the page loaded), then the sum moved
# by less than 1 MB over three one-second samples. Needs Xvfb (Debian's xvfb), xdpyinfo (x11-utils) and a build tree with
# Velmora-TVRN, velmora, velmora-devserver, bench/bare_window and bench/first_map
# (default build-release, else build). --program measures another Velmora-TVRN (an older
# build, say) with the same tools.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=""
PROGRAM=""
DIR="${TMPDIR:-/tmp}/vm-window-bench"
RUNS=3
SETTLE=60
while (($#)); do
    case "$1" in
        --build) BUILD=$2; shift 2 ;;
        --program) PROGRAM=$2; shift 2 ;;
        --dir) DIR=$2; shift 2 ;;
        --runs) RUNS=$2; shift 2 ;;
        --settle) SETTLE=$2; shift 2 ;;
        *) echo "usage: $0 [--build DIR] [--program FILE] [--dir DIR] [--runs N] [--settle SECONDS]" >&2; exit 2 ;;
    esac
done
if [[ -z $BUILD ]]; then
    BUILD=$ROOT/build-release
    [[ -x $BUILD/bin/Velmora-TVRN ]] || BUILD=$ROOT/build
fi
BUILD=$(cd "$BUILD" && pwd)
for f in bin/velmora bin/velmora-devserver bench/bare_window bench/first_map; do
    [[ -x $BUILD/$f ]] || { echo "missing: $BUILD/$f (cmake --build $BUILD --target $(basename "$f"))" >&2; exit 2; }
done
PROGRAM=${PROGRAM:-$BUILD/bin/Velmora-TVRN}
[[ -x $PROGRAM ]] || { echo "no program at $PROGRAM" >&2; exit 2; }
for tool in Xvfb xdpyinfo; do
    command -v "$tool" >/dev/null || { echo "missing: $tool (apt-get install xvfb x11-utils)" >&2; exit 2; }
done

rm -rf "$DIR"
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
XVFB_PID=""
SERVER_PID=""
APP_PID=""
cleanup() {
    [[ -n $APP_PID ]] && stop_tree "$APP_PID"
    [[ -n $SERVER_PID ]] && kill "$SERVER_PID" 2>/dev/null
    [[ -n $XVFB_PID ]] && kill "$XVFB_PID" 2>/dev/null
    true
}
trap cleanup EXIT

min() { printf '%s\n' "$@" | sort -g | head -n1; }
max() { printf '%s\n' "$@" | sort -g | tail -n1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

# The process and all its descendants, one id a line.
tree() {
    local p=$1 c
    echo "$p"
    for c in $(cat /proc/"$p"/task/*/children 2>/dev/null); do tree "$c"; done
}
# Pss of the tree in kB.
tree_pss() {
    local sum=0 p kb
    for p in $(tree "$1"); do
        kb=$(awk '/^Pss:/ { print $2 }' /proc/"$p"/smaps_rollup 2>/dev/null || true)
        sum=$((sum + ${kb:-0}))
    done
    echo "$sum"
}
tree_count() { tree "$1" | wc -l; }
# Pages are drawn by helpers that an engine helper (the zygote) forked.
renderers() {
    local p n=0 parent
    for p in $(tree "$1"); do
        parent=$(awk '{ print $4 }' /proc/"$p"/stat 2>/dev/null || true)
        [[ -n $parent ]] && tr '\0' ' ' </proc/"$parent"/cmdline 2>/dev/null |
            grep -q QtWebEngineProcess && n=$((n + 1))
    done
    echo "$n"
}
# A process that has not ended (a zombie whose parent is gone counts as ended).
alive() {
    local state
    state=$(awk '{ print $3 }' /proc/"$1"/stat 2>/dev/null || true)
    [[ -n $state && $state != Z ]]
}
group_alive() {
    local p
    for p in $(pgrep -g "$1" 2>/dev/null); do alive "$p" && return 0; done
    return 1
}
# Ends a process group (the program and its helpers).
stop_tree() {
    local pid=$1 i
    kill -TERM -- -"$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
    for i in $(seq 100); do
        alive "$pid" || break
        sleep 0.05
    done
    kill -KILL -- -"$pid" 2>/dev/null || true
    # Helpers of the engine may linger a moment; the next run must be the only instance.
    for i in $(seq 100); do
        group_alive "$pid" || break
        sleep 0.05
    done
    wait "$pid" 2>/dev/null || true
}

# --- display, mirror, server, program folder ---------------------------------------------------
for n in $(seq 90 140); do
    [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
    DISPLAY_NUM=$n
    break
done
Xvfb ":$DISPLAY_NUM" -screen 0 1280x1024x24 -nolisten tcp >"$DIR/xvfb.log" 2>&1 &
XVFB_PID=$!
export DISPLAY=":$DISPLAY_NUM"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.05; done
xdpyinfo >/dev/null 2>&1 || { echo "Xvfb did not start" >&2; cat "$DIR/xvfb.log" >&2; exit 2; }

"$BUILD/bin/velmora" publish "$ROOT/demo/addons" "$DIR/mirror" --set TVRN \
    --changelog "$ROOT/demo/changelog.txt" >"$DIR/publish.log" 2>&1
"$BUILD/bin/velmora-devserver" --mirror "$DIR/mirror" --endpoints "$DIR/endpoints.ini" \
    >"$DIR/server.log" 2>&1 &
SERVER_PID=$!
for _ in $(seq 100); do [[ -s $DIR/endpoints.ini ]] && break; sleep 0.05; done
[[ -s $DIR/endpoints.ini ]] || { echo "velmora-devserver did not start" >&2; cat "$DIR/server.log" >&2; exit 2; }
# No network: every address points at a port nobody listens on.
sed -E 's#=http://[^/]*#=http://127.0.0.1:9#; s#^(CommunityHost|AvatarHost)=.*#\1=127.0.0.1:9#' \
    "$DIR/endpoints.ini" >"$DIR/offline.ini"
# Only the page's server out of reach.
sed -E 's#^EmbedServer=.*#EmbedServer=http://127.0.0.1:9#' "$DIR/endpoints.ini" >"$DIR/nopage.ini"

# A fresh program folder and game for each run: a first start past its wizard and questions.
prepare() {
    local home=$DIR/run
    rm -rf "$home"
    mkdir -p "$home/program" "$home/game" "$home/home" "$home/tmp" "$home/xdg"
    chmod 700 "$home/xdg"
    cp "$PROGRAM" "$home/program/Velmora-TVRN"
    # The page's engine module travels with the program, as in the package's folder.
    if [[ -e $(dirname "$PROGRAM")/velmora-pageview.so ]]; then
        cp "$(dirname "$PROGRAM")/velmora-pageview.so" "$home/program/"
    fi
    printf 'MZ' >"$home/game/Tovrin.exe"
    cat >"$home/program/Velmora.ini" <<INI
[Upload]
FirstRun=0
[Update]
Server=1
[Misc]
NotifyShortcut2=1
[Path]
PathType=1
CustomPath=$home/game/Tovrin.exe
INI
}
run_env() {
    local home=$DIR/run
    env HOME="$home/home" TMPDIR="$home/tmp" XDG_RUNTIME_DIR="$home/xdg" \
        VELMORA_ENDPOINTS="$1" "${@:2}"
}

# --- a. first window ---------------------------------------------------------------------
first_window() {  # prints the seconds; ends the program
    local out t pid
    out=$("${@}") || { echo "first_map failed" >&2; exit 1; }
    t=${out% *}
    pid=${out#* }
    stop_tree "$pid"
    echo "$t"
}
BARE=()
VM=()
PAIRS=()
# One unmeasured start of each warms the page cache.
first_window "$BUILD/bench/first_map" "$BUILD/bench/bare_window" >/dev/null
prepare
first_window run_env "$DIR/endpoints.ini" "$BUILD/bench/first_map" "$DIR/run/program/Velmora-TVRN" >/dev/null
for ((i = 0; i < RUNS; i++)); do
    b=$(first_window "$BUILD/bench/first_map" "$BUILD/bench/bare_window")
    prepare
    v=$(first_window run_env "$DIR/endpoints.ini" "$BUILD/bench/first_map" "$DIR/run/program/Velmora-TVRN")
    BARE+=("$b")
    VM+=("$v")
    PAIRS+=("$(ratio "$v" "$b")")
done

# --- b, c. memory once idle --------------------------------------------------------------
# Starts the program, waits until it idles; prints "kB processes renderers".
idle_pss() {
    local endpoints=$1 want_page=$2 start last=-1 stable=0 kb=0 shown=-1
    prepare
    local before
    before=$(grep -c 'velmora.html' "$DIR/server.log" || true)
    # env and setsid exec in turn: the id is the program's own, leader of its group.
    env HOME="$DIR/run/home" TMPDIR="$DIR/run/tmp" XDG_RUNTIME_DIR="$DIR/run/xdg" \
        VELMORA_ENDPOINTS="$endpoints" setsid "$DIR/run/program/Velmora-TVRN" \
        >"$DIR/app.log" 2>&1 </dev/null &
    APP_PID=$!
    start=$SECONDS
    # The main window: the splash gives way to it after about three seconds.
    sleep 4
    while ((SECONDS - start < SETTLE)); do
        if [[ $want_page == yes ]]; then
            local asked
            asked=$(grep -c 'velmora.html' "$DIR/server.log" || true)
            if ((asked <= before)) || (($(renderers "$APP_PID") == 0)); then
                sleep 1
                continue
            fi
            ((shown >= 0)) || shown=$SECONDS
            if ((SECONDS - shown < 10)); then
                sleep 1
                continue
            fi
        fi
        kb=$(tree_pss "$APP_PID")
        if ((last >= 0 && kb - last < 1024 && last - kb < 1024)); then
            stable=$((stable + 1))
        else
            stable=0
        fi
        last=$kb
        ((stable >= 3)) && break
        sleep 1
    done
    ((stable >= 3)) || echo "warning: not idle after ${SETTLE}s" >&2
    echo "$kb $(tree_count "$APP_PID") $(renderers "$APP_PID")"
    stop_tree "$APP_PID"
    APP_PID=""
}
PAGE=()
PAGE_INFO=()
OFF=()
OFF_INFO=()
NOPAGE=()
NOPAGE_INFO=()
for ((i = 0; i < RUNS; i++)); do
    read -r kb n r < <(idle_pss "$DIR/endpoints.ini" yes)
    PAGE+=("$kb")
    PAGE_INFO+=("$n processes, $r renderer(s)")
    read -r kb n r < <(idle_pss "$DIR/offline.ini" no)
    OFF+=("$kb")
    OFF_INFO+=("$n processes, $r renderer(s)")
    read -r kb n r < <(idle_pss "$DIR/nopage.ini" no)
    NOPAGE+=("$kb")
    NOPAGE_INFO+=("$n processes, $r renderer(s)")
done

# --- report -------------------------------------------------------------------------------
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
echo "Velmora-TVRN window benchmark, best of $RUNS ($PROGRAM, Xvfb $DISPLAY)"
bb=$(min "${BARE[@]}")
vb=$(min "${VM[@]}")
echo "a. first window: Velmora-TVRN $(printf '%.3f' "$vb") s, bare Qt window $(printf '%.3f' "$bb") s:" \
    "ratio $(ratio "$vb" "$bb") (pairs ${PAIRS[*]}, worst $(max "${PAIRS[@]}")); goal <= 2.0"
pb=$(min "${PAGE[@]}")
echo "b. idle, news page shown: $(mb "$pb") MB Pss over the tree ($(printf '%s; ' "${PAGE_INFO[@]}")" \
    "runs $(for k in "${PAGE[@]}"; do mb "$k"; echo -n ' '; done)MB): $(ratio "$(mb "$pb")" 160) of the 160 MB goal"
ob=$(min "${OFF[@]}")
echo "c. idle, no network: $(mb "$ob") MB Pss over the tree ($(printf '%s; ' "${OFF_INFO[@]}")" \
    "runs $(for k in "${OFF[@]}"; do mb "$k"; echo -n ' '; done)MB): $(ratio "$(mb "$ob")" 70) of the 70 MB goal"
nb=$(min "${NOPAGE[@]}")
echo "d. idle, main window without its page: $(mb "$nb") MB Pss over the tree ($(printf '%s; ' "${NOPAGE_INFO[@]}")" \
    "runs $(for k in "${NOPAGE[@]}"; do mb "$k"; echo -n ' '; done)MB): $(ratio "$(mb "$nb")" 70) of the 70 MB goal"
