#!/usr/bin/env bash
# Where the time of a no-change update goes: the same run as the no-change row of
# bench/e2e_update.sh (10,000 installed 1 KB files, `velmora update --program-dir DIR --no`
# against nginx on loopback), taken apart.
#
#   bench/scan_profile.sh [--velmora PATH] [--dir DIR] [--runs N]
#
# Prints: the start-up alone (`velmora --version`) next to /bin/true; the dynamic loader's own
# statistics (LD_DEBUG=statistics) and the libraries loaded at start; CPU time, page faults and
# elapsed time of the run next to the stat walk (perf stat, or GNU time without perf); the
# run's system calls (strace -c -f, when strace is there); the busiest functions and libraries
# (perf record, when perf may sample). Needs nginx, curl and GNU time; perf and strace
# (linux-perf, strace: scripts/setup installs them) are used when they are there.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/fixture.sh
. "$ROOT/bench/fixture.sh"
VELMORA="$ROOT/build-release/bin/velmora"
DIR="${TMPDIR:-/tmp}/vm-scan-profile"
RUNS=10
while (($#)); do
    case "$1" in
        --velmora) VELMORA=$2; shift 2 ;;
        --dir) DIR=$2; shift 2 ;;
        --runs) RUNS=$2; shift 2 ;;
        *) echo "usage: $0 [--velmora PATH] [--dir DIR] [--runs N]" >&2; exit 2 ;;
    esac
done
PATH=$PATH:/usr/sbin
for tool in nginx curl /usr/bin/time; do
    command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[[ -x $VELMORA ]] || { echo "no velmora at $VELMORA (build it in Release)" >&2; exit 2; }
VELMORA=$(cd "$(dirname "$VELMORA")" && pwd)/$(basename "$VELMORA")
HAVE_PERF=0
perf stat -e task-clock true >/dev/null 2>&1 && HAVE_PERF=1

rm -rf "$DIR"
mkdir -p "$DIR"/{small,program,game,tmp,nginx/logs,nginx/tmp}
DIR=$(cd "$DIR" && pwd)
NGINX_PID=""
trap '[[ -n $NGINX_PID ]] && kill "$NGINX_PID" 2>/dev/null; true' EXIT

echo "preparing 10,000 files in $DIR ..." >&2
(
    set +o pipefail  # head ends the generator early
    for ((a = 0; a < 100; a++)); do
        mkdir -p "$DIR/small/AddOn$a"
        head -c $((100 * 1024)) /dev/urandom |
            split -b 1024 -d -a 5 --additional-suffix=.lua - "$DIR/small/AddOn$a/f"
    done
)
"$VELMORA" publish "$DIR/small" "$DIR/mirror" --set TVRN >/dev/null
printf 'MZ' >"$DIR/game/Tovrin.exe"
PORT=$((20000 + RANDOM % 20000))
cat >"$DIR/nginx/nginx.conf" <<EOF
worker_processes 1;
pid $DIR/nginx/nginx.pid;
error_log $DIR/nginx/logs/error.log warn;
events { worker_connections 64; }
http {
    access_log off;
    client_body_temp_path $DIR/nginx/tmp/body;
    proxy_temp_path $DIR/nginx/tmp/proxy;
    fastcgi_temp_path $DIR/nginx/tmp/fastcgi;
    uwsgi_temp_path $DIR/nginx/tmp/uwsgi;
    scgi_temp_path $DIR/nginx/tmp/scgi;
    types { }
    default_type application/octet-stream;
    server { listen 127.0.0.1:$PORT; root $DIR/mirror; }
}
EOF
nginx -p "$DIR/nginx" -c "$DIR/nginx/nginx.conf" -g 'daemon off;' 2>"$DIR/nginx/logs/stderr" &
NGINX_PID=$!
for _ in $(seq 50); do
    curl -s -o /dev/null "http://127.0.0.1:$PORT/" && break
    sleep 0.1
done
bench_program_ini "$DIR/program" "$DIR/game"
bench_endpoints_ini "$DIR/endpoints.ini" "$PORT"
export VELMORA_ENDPOINTS="$DIR/endpoints.ini" TMPDIR="$DIR/tmp"
RUN=("$VELMORA" update --program-dir "$DIR/program" --no)
FIND=(find "$DIR/game/Interface" -type f -printf '%T@ %p\n')
"${RUN[@]}" </dev/null >"$DIR/first.out" 2>&1 || { cat "$DIR/first.out" >&2; exit 1; }
"${RUN[@]}" </dev/null >"$DIR/again.out" 2>&1
grep -q '没有需要更新的文件。' "$DIR/again.out" || { cat "$DIR/again.out" >&2; exit 1; }

# "msec-of-CPU page-faults seconds-elapsed" of $RUNS runs of a command (the mean).
measure() {
    if ((HAVE_PERF)); then
        perf stat -r "$RUNS" -x, -e task-clock,page-faults "$@" </dev/null 2>&1 >/dev/null |
            awk -F, '$3 == "task-clock" { c = $1 } $3 == "page-faults" { f = $1 }
                     END { printf "%.1f ms CPU, %d page faults", c, f }'
    else
        /usr/bin/time -f '%U %S %R' -o "$DIR/time.txt" "$@" </dev/null >/dev/null 2>&1
        awk '{ printf "%.1f ms CPU, %d page faults", ($1 + $2) * 1000, $3 }' "$DIR/time.txt"
    fi
}
best_elapsed() {
    local best=""
    for ((i = 0; i < RUNS; i++)); do
        local t0 t1
        t0=$(date +%s%N)
        "$@" </dev/null >/dev/null 2>&1
        t1=$(date +%s%N)
        local ms=$(((t1 - t0) / 1000))
        [[ -z $best || $ms -lt $best ]] && best=$ms
    done
    awk -v us="$best" 'BEGIN { printf "%.1f ms", us / 1000 }'
}

echo "load: $(uptime)"
echo
echo "== start-up (mean of $RUNS) =="
printf '  %-34s %s\n' "velmora --version" "$(measure "$VELMORA" --version)"
printf '  %-34s %s\n' "/bin/true" "$(measure /bin/true)"
printf '  %-34s %s\n' "libraries loaded at start" \
    "$(ldd "$VELMORA" | grep -c '=>') ($(readelf -d "$VELMORA" | grep -c NEEDED) named by velmora)"
echo "  dynamic loader (LD_DEBUG=statistics, one no-change run):"
LD_DEBUG=statistics "${RUN[@]}" </dev/null 2>&1 >/dev/null |
    grep -E 'total startup time|time needed for relocation|number of relocations|time needed to load' |
    sed 's/^ *[0-9]*: */    /'

echo
echo "== the no-change run against the stat walk =="
printf '  %-34s %s, best %s elapsed\n' "velmora update (no change)" "$(measure "${RUN[@]}")" \
    "$(best_elapsed "${RUN[@]}")"
printf '  %-34s %s, best %s elapsed\n' "find -printf '%T@ %p'" "$(measure "${FIND[@]}")" \
    "$(best_elapsed "${FIND[@]}")"

if command -v strace >/dev/null; then
    echo
    echo "== system calls of one no-change run (strace -c -f, the top 12) =="
    strace -c -f -o "$DIR/strace.txt" "${RUN[@]}" </dev/null >/dev/null 2>&1 || true
    sed -n '1,2p;3,14p' "$DIR/strace.txt" | sed 's/^/  /'
    tail -n 1 "$DIR/strace.txt" | sed 's/^/  /'
    echo "  the stat walk:"
    strace -c -f -o "$DIR/strace-find.txt" "${FIND[@]}" >/dev/null 2>&1 || true
    tail -n 1 "$DIR/strace-find.txt" | sed 's/^/  /'
fi

if ((HAVE_PERF)) && perf record -q -o "$DIR/probe.data" true >/dev/null 2>&1; then
    echo
    echo "== where the CPU goes (perf record, $RUNS runs) =="
    for ((i = 0; i < RUNS; i++)); do
        perf record -q -F 4000 -o "$DIR/perf.$i.data" "${RUN[@]}" </dev/null >/dev/null 2>&1
    done
    for ((i = 0; i < RUNS; i++)); do
        perf report -i "$DIR/perf.$i.data" --no-children --sort dso --stdio 2>/dev/null |
            awk '/%/ { sub("%", "", $1); print $2, $1 }'
    done | awk '{ s[$1] += $2; n[$1]++ } END { for (d in s) printf "%7.2f%%  %s\n", s[d] / '"$RUNS"', d }' |
        sort -rn | head -n 8 | sed 's/^/  /'
    echo "  the busiest functions (last run):"
    perf report -i "$DIR/perf.$((RUNS - 1)).data" --no-children --sort dso,sym --stdio 2>/dev/null |
        awk '/%/' | head -n 15 | cut -c1-110 | sed 's/^/  /'
fi
