#!/usr/bin/env bash
# The update run as a player waits for it: whole `velmora update --program-dir DIR --no`
# processes against nginx serving a published mirror on loopback.
#
#   bench/e2e_update.sh [--velmora PATH] [--dir DIR] [--runs N]
#                       [--only no-change|install|rss|latency] [--delay-ms MS] [--rate BYTES/S]
#
#  1. No-change run over 10,000 installed 1 KB files (100 add-ons) against
#     `find Interface -type f -printf '%T@ %p\n'`.            Goal: at most 1.3 times find.
#     bench/scan_profile.sh says where the time of such a run goes.
#  2. First install of 2,000 files of 25 KB into an empty game folder against one
#     `curl --config` process fetching the same plain files over one kept-alive connection;
#     incompressible content, and a row with compressible content. Goal: 1.0 times curl's
#     throughput or more.
#  3. Peak resident memory of a first install of 20,000 files.  Goal: at most 64 MiB.
#  4. (--only latency, not in the default run) First install of 200 and 2,000 files of 25 KB
#     through bench/latency_relay (25 ms each way: a 50 ms round trip, like a player's mirror)
#     against `aria2c -j8` fetching the same files through the same relay.
#     Goal: 1.0 times aria2c's throughput or more.
#
# Each figure is the best of N runs (default 3), the two sides taking turns, with the ratio
# of each pair of runs and the worst of them; the page cache is warm. Needs nginx (Debian's nginx-light), curl and GNU time; velmora from a Release
# build (default build-release/bin/velmora).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/fixture.sh
. "$ROOT/bench/fixture.sh"
VELMORA="$ROOT/build-release/bin/velmora"
DIR="${TMPDIR:-/tmp}/vm-e2e-bench"
RUNS=3
ONLY=""
DELAY_MS=25
RATE=0
while (($#)); do
    case "$1" in
        --velmora) VELMORA=$2; shift 2 ;;
        --dir) DIR=$2; shift 2 ;;
        --runs) RUNS=$2; shift 2 ;;
        --only) ONLY=$2; shift 2 ;;
        --delay-ms) DELAY_MS=$2; shift 2 ;;
        --rate) RATE=$2; shift 2 ;;
        *) echo "usage: $0 [--velmora PATH] [--dir DIR] [--runs N] [--only PART] [--delay-ms MS] [--rate B/S]" >&2; exit 2 ;;
    esac
done
for tool in nginx curl /usr/bin/time; do
    command -v "$tool" >/dev/null || PATH=$PATH:/usr/sbin
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[[ -x $VELMORA ]] || { echo "no velmora at $VELMORA (build it in Release)" >&2; exit 2; }
VELMORA=$(cd "$(dirname "$VELMORA")" && pwd)/$(basename "$VELMORA")

rm -rf "$DIR"
mkdir -p "$DIR"
DIR=$(cd "$DIR" && pwd)
NGINX_PID=""
RELAY_PID=""
cleanup() {
    [[ -n $NGINX_PID ]] && kill "$NGINX_PID" 2>/dev/null
    [[ -n $RELAY_PID ]] && kill "$RELAY_PID" 2>/dev/null
    true
}
trap cleanup EXIT

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.4f", b - a }'; }
min() { printf '%s\n' "$@" | sort -g | head -n1; }
max() { printf '%s\n' "$@" | sort -g | tail -n1; }

# Add-ons: $1 folder, $2 add-on count, $3 files per add-on, $4 bytes per file, $5 kind.
make_addons() {
    local out=$1 addons=$2 per=$3 size=$4 kind=$5 a
    local -
    set +o pipefail  # head ends the generators early
    for ((a = 0; a < addons; a++)); do
        mkdir -p "$out/AddOn$a"
        if [[ $kind == random ]]; then
            head -c $((per * size)) /dev/urandom
        else
            # Lua-like text: compresses about 5:1, like real add-on code.
            seq $((a * 100000)) $((a * 100000 + per * size / 20)) |
                awk '{ printf "local v%d = f:GetPoint(%d)\n", $1, $1 % 977 }'
        fi | head -c $((per * size)) |
            split -b "$size" -d -a 5 --additional-suffix=.lua - "$out/AddOn$a/f"
    done
}

PORT=$((20000 + RANDOM % 20000))
MIRROR_PORT=$PORT  # the relay's port while the latency rows run
start_nginx() {
    mkdir -p "$DIR/nginx/logs" "$DIR/nginx/tmp"
    cat >"$DIR/nginx/nginx.conf" <<EOF
worker_processes 1;
pid $DIR/nginx/nginx.pid;
error_log $DIR/nginx/logs/error.log warn;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_requests 1000000;
    keepalive_timeout 60s;
    client_body_temp_path $DIR/nginx/tmp/body;
    proxy_temp_path $DIR/nginx/tmp/proxy;
    fastcgi_temp_path $DIR/nginx/tmp/fastcgi;
    uwsgi_temp_path $DIR/nginx/tmp/uwsgi;
    scgi_temp_path $DIR/nginx/tmp/scgi;
    types { }
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:$PORT;
        root $DIR/mirror;
    }
}
EOF
    nginx -p "$DIR/nginx" -c "$DIR/nginx/nginx.conf" -g 'daemon off;' 2>"$DIR/nginx/logs/stderr" &
    NGINX_PID=$!
    for _ in $(seq 50); do
        curl -s -o /dev/null "http://127.0.0.1:$PORT/" && return 0
        sleep 0.1
    done
    echo "nginx did not start:" >&2
    cat "$DIR/nginx/logs/stderr" >&2
    exit 1
}

# A program folder, a game folder and the endpoints for set $1 (a folder of $DIR).
prepare_set() {
    local set=$1
    rm -rf "$DIR/mirror" "$DIR/program" "$DIR/game" "$DIR/tmp"
    mkdir -p "$DIR/program" "$DIR/game" "$DIR/tmp"
    "$VELMORA" publish "$DIR/$set" "$DIR/mirror" --set TVRN >/dev/null
    printf 'MZ' >"$DIR/game/Tovrin.exe"
    bench_program_ini "$DIR/program" "$DIR/game"
    bench_endpoints_ini "$DIR/endpoints.ini" "$MIRROR_PORT"
    # curl's side: every plain file of the set over one connection.
    (cd "$DIR/$set" && find . -type f | sort) | while read -r f; do
        printf 'url = "http://127.0.0.1:%s/TVRN/Interface/%s"\noutput = "%s/curl/%s"\n' \
            "$PORT" "${f#./}" "$DIR" "${f#./}"
    done >"$DIR/curl.cfg"
    # aria2c's side: the same files, eight at a time (two forks a file: only when measured).
    want_only latency || return 0
    (cd "$DIR/$set" && find . -type f | sort) | while read -r f; do
        printf 'http://127.0.0.1:%s/TVRN/Interface/%s\n  dir=%s/aria/%s\n  out=%s\n' \
            "$MIRROR_PORT" "${f#./}" "$DIR" "$(dirname "${f#./}")" "$(basename "$f")"
    done >"$DIR/aria2.txt"
}

velmora_update() {
    VELMORA_ENDPOINTS="$DIR/endpoints.ini" TMPDIR="$DIR/tmp" \
        "$VELMORA" update --program-dir "$DIR/program" --no >"$DIR/velmora.out" 2>&1 </dev/null
}

fresh_game() { rm -rf "$DIR/game/Interface" "$DIR/game/Interface.obsoleted" "$DIR/tmp"; mkdir -p "$DIR/tmp"; }

# Seconds of one first install (into an empty game folder, nothing staged).
time_first_install() {
    fresh_game
    local t0 t1
    t0=$(now)
    velmora_update || { cat "$DIR/velmora.out" >&2; exit 1; }
    t1=$(now)
    grep -q '更新完成。' "$DIR/velmora.out" || { cat "$DIR/velmora.out" >&2; exit 1; }
    elapsed "$t0" "$t1"
}

time_curl() {
    rm -rf "$DIR/curl"
    local t0 t1
    t0=$(now)
    curl -s --create-dirs --config "$DIR/curl.cfg"
    t1=$(now)
    elapsed "$t0" "$t1"
}

time_aria2() {
    rm -rf "$DIR/aria"
    local t0 t1
    t0=$(now)
    aria2c -q -j8 --allow-overwrite=true --auto-file-renaming=false --file-allocation=none \
        --console-log-level=error -i "$DIR/aria2.txt"
    t1=$(now)
    elapsed "$t0" "$t1"
}

time_no_change() {
    local t0 t1
    t0=$(now)
    velmora_update || { cat "$DIR/velmora.out" >&2; exit 1; }
    t1=$(now)
    grep -q '没有需要更新的文件。' "$DIR/velmora.out" || { cat "$DIR/velmora.out" >&2; exit 1; }
    elapsed "$t0" "$t1"
}

time_find() {
    local t0 t1
    t0=$(now)
    (cd "$DIR/game" && find Interface -type f -printf '%T@ %p\n' >/dev/null)
    t1=$(now)
    elapsed "$t0" "$t1"
}

# Runs the timing commands $1 (velmora) and $2 (the reference) RUNS times each, taking turns;
# $3 "time" gives the ratio velmora / reference, "throughput" reference / velmora, and the
# worst pair is the highest or the lowest of them. Prints "best-velmora best-reference ratio
# velmora-runs, reference-runs, ratios, worst".
paired_runs() {
    local mine=$1 theirs=$2 kind=$3
    local v=() r=()
    for ((i = 0; i < RUNS; i++)); do
        v+=("$($mine)")
        r+=("$($theirs)")
    done
    local expr='v / r' worst=max
    [[ $kind == throughput ]] && expr='r / v' worst=min
    local bv br pairs=()
    bv=$(min "${v[@]}")
    br=$(min "${r[@]}")
    for ((i = 0; i < RUNS; i++)); do
        pairs+=("$(awk -v v="${v[i]}" -v r="${r[i]}" "BEGIN { printf \"%.2f\", $expr }")")
    done
    echo "$bv $br $(awk -v v="$bv" -v r="$br" "BEGIN { printf \"%.2f\", $expr }")" \
        "$(printf '%s,' "${v[@]}")" "$(printf '%s,' "${r[@]}")" \
        "$(printf '%s,' "${pairs[@]}")" "$($worst "${pairs[@]}")"
}

# First install of the set $1 against curl (ratio = velmora's throughput over curl's).
first_install_row() {
    prepare_set "$1"
    time_first_install >/dev/null  # warm-up
    time_curl >/dev/null
    paired_runs time_first_install time_curl throughput
}

# First install of the set $1 through the relay against aria2c -j8 through it.
latency_install_row() {
    prepare_set "$1"
    time_first_install >/dev/null  # warm-up
    time_aria2 >/dev/null
    paired_runs time_first_install time_aria2 throughput
}

start_relay() {
    local relay port
    relay=$(dirname "$VELMORA")/../bench/latency_relay
    [[ -x $relay ]] || { echo "no latency_relay at $relay (build the bench targets)" >&2; exit 2; }
    command -v aria2c >/dev/null || { echo "missing: aria2c (Debian's aria2)" >&2; exit 2; }
    port=$((PORT + 1))
    "$relay" --listen "$port" --to "$PORT" --delay-ms "$DELAY_MS" --rate "$RATE" \
        >"$DIR/relay.out" &
    RELAY_PID=$!
    for _ in $(seq 50); do
        curl -s -o /dev/null "http://127.0.0.1:$port/" && break
        sleep 0.1
    done
    MIRROR_PORT=$port
}

no_change_row() {
    prepare_set "$1"
    fresh_game
    velmora_update
    time_no_change >/dev/null  # warm-up (the cache now holds every file)
    time_find >/dev/null
    paired_runs time_no_change time_find time
}

peak_rss_mib() {
    prepare_set "$1"
    fresh_game
    VELMORA_ENDPOINTS="$DIR/endpoints.ini" TMPDIR="$DIR/tmp" /usr/bin/time -f '%M' \
        -o "$DIR/rss.txt" "$VELMORA" update --program-dir "$DIR/program" --no \
        >"$DIR/velmora.out" 2>&1 </dev/null
    grep -q '更新完成。' "$DIR/velmora.out" || { cat "$DIR/velmora.out" >&2; exit 1; }
    local first
    first=$(awk '{ printf "%.1f", $1 / 1024 }' "$DIR/rss.txt")
    VELMORA_ENDPOINTS="$DIR/endpoints.ini" TMPDIR="$DIR/tmp" /usr/bin/time -f '%M' \
        -o "$DIR/rss.txt" "$VELMORA" update --program-dir "$DIR/program" --no \
        >"$DIR/velmora.out" 2>&1 </dev/null
    grep -q '没有需要更新的文件。' "$DIR/velmora.out" || { cat "$DIR/velmora.out" >&2; exit 1; }
    echo "$first $(awk '{ printf "%.1f", $1 / 1024 }' "$DIR/rss.txt")"
}

want() { [[ -z $ONLY || $ONLY == "$1" ]]; }
# Slow by design (round trips): only when asked for.
want_only() { [[ $ONLY == "$1" ]]; }

echo "preparing data in $DIR ..." >&2
want no-change && make_addons "$DIR/small" 100 100 1024 random
want install && make_addons "$DIR/random" 100 20 25600 random
want install && make_addons "$DIR/text" 100 20 25600 text
want rss && make_addons "$DIR/many" 200 100 1024 random
want_only latency && make_addons "$DIR/wan200" 10 20 25600 random
want_only latency && make_addons "$DIR/wan2000" 100 20 25600 random
start_nginx
want_only latency && start_relay

printf '%-58s %9s %9s %7s %7s\n' "work (best of $RUNS)" velmora reference ratio goal
if want no-change; then
    read -r v r ratio vs rs ps worst < <(no_change_row small)
    printf '%-58s %8ss %8ss %6sx %7s\n' "no-change run, 10,000 x 1 KB vs find" "$v" "$r" "$ratio" \
        "<= 1.3x"
    echo "    runs: velmora $vs find $rs ratio per run $ps worst ${worst}x"
fi
if want install; then
    read -r v r ratio vs rs ps worst < <(first_install_row random)
    printf '%-58s %8ss %8ss %6sx %7s\n' "first install, 2,000 x 25 KB incompressible vs curl" "$v" \
        "$r" "$ratio" ">= 1.0x"
    echo "    runs: velmora $vs curl $rs ratio per run $ps worst ${worst}x"
    read -r v r ratio vs rs ps worst < <(first_install_row text)
    printf '%-58s %8ss %8ss %6sx %7s\n' "first install, 2,000 x 25 KB compressible vs curl" "$v" \
        "$r" "$ratio" ">= 1.0x"
    echo "    runs: velmora $vs curl $rs ratio per run $ps worst ${worst}x"
fi
if want rss; then
    read -r first again < <(peak_rss_mib many)
    printf '%-58s %7s MiB (no-change run %s MiB), goal <= 64 MiB\n' \
        "peak RSS, first install of 20,000 files" "$first" "$again"
fi
if want_only latency; then
    for set in wan200 wan2000; do
        read -r v r ratio vs rs ps worst < <(latency_install_row "$set")
        printf '%-58s %8ss %8ss %6sx %7s\n' \
            "first install, ${set#wan} x 25 KB, ${DELAY_MS} ms each way, vs aria2c -j8" \
            "$v" "$r" "$ratio" ">= 1.0x"
        echo "    runs: velmora $vs aria2c $rs ratio per run $ps worst ${worst}x"
    done
fi
