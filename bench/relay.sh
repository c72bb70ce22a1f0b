#!/usr/bin/env bash
# Relay benchmark: the game server against a bare RakNet relay under the same
# bot load, on loopback only.
#
# Builds Release into build/release, then runs orvn-server (no plugins, 100
# players, bound to 127.0.0.1 on a free port, in a temporary folder) and
# orvn-relay-baseline in alternation, server first (server, baseline, server,
# baseline, ...; --runs pairs, at least two), each loaded by orvn-bot. For each
# run it prints the CPU time, relays delivered per second, latency p50/p99 and
# peak RSS; at the end the medians of each side and the ratios the goal is
# judged by, all from medians: latency p50 and p99 of the server over the
# baseline's, and the server's CPU per delivered relay over the baseline's.
# Alternating spreads the outside load of a shared machine over both sides.
# The last line is one JSON object; "goal_met" says whether the medians meet
# the goal (p50 ratio at most 0.5, p99 ratio at most 0.7, CPU ratio at most
# 1.0, server delivery at least 0.995). The exit status is 0 when every run
# produced figures, whether or not the goal was met.
#
# CPU per relay uses the CPU time the bot sampled over its counting window
# (joins and warm-up left out); the whole-run CPU time, read from /proc just
# before the process is stopped, is printed as well.
#
# With --vehicles every bot first enters its own vehicle through the entry
# request (the server runs the bench_vehicles plugin, which places vehicles
# 1..100 where the bots walk; the baseline accepts every entry) and then sends
# driver sync instead of on-foot sync.
#
# With --lua the server running luahost with bench/relay.lua (whose
# OnPlayerUpdate reads the player's position and counts the update) takes the
# server's side and the same server without scripts the baseline's; the goal
# is then a CPU ratio of at most 1.10 alone. With --metrics the server with
# metricsport set and its /metrics endpoint scraped every second takes the
# server's side against the same server without; the CPU ratio is reported
# and judged by no goal.
#
# Usage: bench/relay.sh [--vehicles] [--lua | --metrics] [--bots N] [--hz R] [--seconds D]
#                       [--warmup W] [--runs N] [--threads T] [--skip-build] [--build-dir DIR]
# The same settings may come from the environment: VEHICLES=1, COMPARE=lua or
# COMPARE=metrics, BOTS, HZ, DURATION, WARMUP, RUNS, BOT_THREADS, SKIP_BUILD=1,
# BUILD_DIR.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
BOTS=${BOTS:-100}
VEHICLES=${VEHICLES:-0}
# What the server is compared with: the bare relay (baseline), or itself
# without scripts (lua) or without a scraped metrics endpoint (metrics).
COMPARE=${COMPARE:-baseline}
HZ=${HZ:-30}
DURATION=${DURATION:-20}
WARMUP=${WARMUP:-3}
RUNS=${RUNS:-2}
BOT_THREADS=${BOT_THREADS:-2}
SKIP_BUILD=${SKIP_BUILD:-0}
BUILD_DIR=${BUILD_DIR:-$ROOT/build/release}
HOST=127.0.0.1

# The goal, as ratios of the medians.
GOAL_P50_RATIO=0.5
GOAL_P99_RATIO=0.7
GOAL_CPU_RATIO=1.0
GOAL_DELIVERY=0.995

# One arm per option; an option with a value shifts once more.
while [ $# -gt 0 ]; do
    case "$1" in
    --vehicles) VEHICLES=1 ;;
    --lua) COMPARE=lua ;;
    --metrics) COMPARE=metrics ;;
    --bots) BOTS=${2:?--bots needs a value}; shift ;;
    --hz) HZ=${2:?--hz needs a value}; shift ;;
    --seconds) DURATION=${2:?--seconds needs a value}; shift ;;
    --warmup) WARMUP=${2:?--warmup needs a value}; shift ;;
    --runs) RUNS=${2:?--runs needs a value}; shift ;;
    --threads) BOT_THREADS=${2:?--threads needs a value}; shift ;;
    --skip-build) SKIP_BUILD=1 ;;
    --build-dir) BUILD_DIR=${2:?--build-dir needs a value}; shift ;;
    *) echo "relay.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift
done
if ! [[ "$RUNS" =~ ^[0-9]+$ ]] || [ "$RUNS" -lt 2 ]; then
    echo "relay.sh: --runs needs a whole number of at least 2" >&2
    exit 2
fi

# The two sides of the comparison, by the name run_target knows them by.
case "$COMPARE" in
baseline) SIDE_A=server SIDE_B=baseline ;;
lua) SIDE_A=lua SIDE_B=server
    GOAL_P50_RATIO=null GOAL_P99_RATIO=null GOAL_CPU_RATIO=1.10 ;;
metrics) SIDE_A=metrics SIDE_B=server
    GOAL_P50_RATIO=null GOAL_P99_RATIO=null GOAL_CPU_RATIO=null ;;
*) echo "relay.sh: COMPARE must be baseline, lua or metrics" >&2; exit 2 ;;
esac

BOT_MODE=()
[ "$VEHICLES" = "1" ] && BOT_MODE=(--vehicles)
MODE=$([ "$VEHICLES" = 1 ] && echo vehicles || echo on-foot)$([ "$COMPARE" = baseline ] || echo "+$COMPARE")

CLK_TCK=$(getconf CLK_TCK 2>/dev/null || echo 100)
WORK=$(mktemp -d /tmp/orvn-relay-bench.XXXXXX)
# The processes of the current run while they may be alive; cleared once
# they have been waited for, so that a reused pid is never signalled.
TARGET_PID=""
BOT_PID=""
SCRAPE_PID=""

# Whatever this script started and is still running: a polite signal first
# (timeout passes it on to the bot), then SIGKILL.
cleanup() {
    stop_all $SCRAPE_PID $BOT_PID $TARGET_PID
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "relay.sh: $*" >&2; }

build() {
    [ "$SKIP_BUILD" = "1" ] && return
    release_build orvn-server orvn-bot orvn-relay-baseline bench_vehicles luahost || exit 1
}

# awk arithmetic that yields null when an input is null or a divisor is 0.
calc() {
    awk -v expr="$1" -v a="$2" -v b="${3:-1}" 'BEGIN {
        if (a == "null" || b == "null") { print "null"; exit }
        if (expr == "div")     { if (b + 0 == 0) print "null"; else printf "%.4f\n", a / b; exit }
        if (expr == "us_per")  { if (b + 0 == 0) print "null"; else printf "%.3f\n", a * 1e6 / b; exit }
        if (expr == "per_s")   { if (b + 0 == 0) print "null"; else printf "%.0f\n", a / b; exit }
        if (expr == "ticks")   { printf "%.2f\n", a / b; exit }
    }'
}

# 1 when value <= limit (or >= limit with "ge"), 0 otherwise or for null; 1
# for a null limit (nothing to judge).
within() {
    awk -v v="$1" -v l="$2" -v how="${3:-le}" 'BEGIN {
        if (l == "null") { print 1; exit }
        if (v == "null") { print 0; exit }
        print (how == "ge" ? v + 0 >= l + 0 : v + 0 <= l + 0) ? 1 : 0
    }'
}

cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo null; }
peak_rss_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo null; }

# SIGINT, 5 s to exit, then SIGKILL; the target is gone after it.
stop_target() {
    stop_process "$1"
    TARGET_PID=""
}

# The server's folder: its configuration and, in vehicle mode, its plugin;
# the lua side adds luahost and its script, the metrics side the endpoint on
# the next port.
prepare_server() {
    local name=$1 dir=$2 port=$3 plugins=""
    printf 'bindhost %s\nport %s\nmaxplayers 100\n' "$HOST" "$port" >"$dir/server.cfg"
    mkdir -p "$dir/plugins" "$dir/scripts"
    if [ "$VEHICLES" = "1" ]; then
        cp "$BUILD_DIR/bin/plugins/bench_vehicles.so" "$dir/plugins/"
        plugins="bench_vehicles"
    fi
    if [ "$name" = lua ]; then
        cp "$BUILD_DIR/plugins/luahost.so" "$dir/plugins/"
        cp "$ROOT/bench/relay.lua" "$dir/scripts/"
        plugins="$plugins luahost"
        echo "luascripts relay" >>"$dir/server.cfg"
    fi
    [ "$name" = metrics ] && printf 'metricsport %s\nmetricsbind %s\n' "$((port + 1))" "$HOST" >>"$dir/server.cfg"
    [ -z "$plugins" ] || echo "plugins $plugins" >>"$dir/server.cfg"
}

# GET /metrics on the port once a second while the process lives, with
# bash's own TCP client; the answers are counted in $WORK/scrapes.
scrape_metrics() {
    local port=$1 pid=$2
    while kill -0 "$pid" 2>/dev/null; do
        if (exec 3<>"/dev/tcp/$HOST/$port" && printf 'GET /metrics HTTP/1.0\r\n\r\n' >&3 && head -1 <&3) 2>/dev/null |
            grep -q ' 200 '; then
            echo ok >>"$WORK/scrapes"
        fi
        sleep 1
    done
}

# run_target NAME DIR READY_TEXT COMMAND... ; @PORT@ in the command becomes
# the port chosen. Leaves the RESULT_<field> variables.
run_target() {
    local name=$1 dir=$2 ready=$3
    shift 3
    local port pid bot_json bot_rc ticks
    RESULT_CPU=null RESULT_WINDOW_CPU=null RESULT_RSS=null RESULT_RECEIVED=null
    RESULT_DELIVERY=null RESULT_P50=null RESULT_P99=null RESULT_RATE=null RESULT_CPU_PER_RELAY=null
    mkdir -p "$dir"
    port=$(free_port) || { log "no free UDP port found"; exit 1; }
    [ "$name" = baseline ] || prepare_server "$name" "$dir" "$port"
    local args=() arg
    for arg in "$@"; do
        args+=("${arg//@PORT@/$port}")
    done
    (cd "$dir" && exec "${args[@]}") >"$dir/out.txt" 2>&1 &
    pid=$!
    TARGET_PID=$pid
    if ! wait_ready "$pid" "$dir/out.txt" "$ready"; then
        log "$name did not start:"; tail -20 "$dir/out.txt" >&2
        stop_target "$pid"
        return 1
    fi
    log "$name running (pid $pid, port $port); $BOTS bots at $HZ Hz for $DURATION s after a $WARMUP s warm-up"
    if [ "$name" = metrics ]; then
        scrape_metrics $((port + 1)) "$pid" &
        SCRAPE_PID=$!
    fi
    # In the background, so that an interrupted run can stop it too.
    bot_rc=0
    timeout $((${DURATION%.*} + ${WARMUP%.*} + 120)) "$BUILD_DIR/bin/orvn-bot" --host "$HOST" --port "$port" \
        --bots "$BOTS" --hz "$HZ" --seconds "$DURATION" --warmup "$WARMUP" --threads "$BOT_THREADS" \
        --cpu-pid "$pid" --cpu-hz "$CLK_TCK" "${BOT_MODE[@]}" >"$dir/bot.json" 2>"$dir/bot.err" &
    BOT_PID=$!
    wait "$BOT_PID" || bot_rc=$?
    BOT_PID=""
    ticks=$(cpu_ticks "$pid")
    RESULT_RSS=$(peak_rss_kb "$pid")
    stop_target "$pid"
    if [ -n "$SCRAPE_PID" ]; then
        wait "$SCRAPE_PID" 2>/dev/null || true
        SCRAPE_PID=""
        log "$name: $(wc -l <"$WORK/scrapes" 2>/dev/null || echo 0) scrapes answered so far"
    fi
    bot_json=$(tail -1 "$dir/bot.json" 2>/dev/null || true)
    if [ "$bot_rc" -ne 0 ] || [ -z "$bot_json" ]; then
        log "$name: orvn-bot exited with $bot_rc"; tail -20 "$dir/bot.err" >&2
    fi
    RESULT_CPU=$(calc ticks "$ticks" "$CLK_TCK")
    RESULT_WINDOW_CPU=$(json_get target_cpu_s "$bot_json")
    RESULT_RECEIVED=$(json_get received "$bot_json")
    RESULT_DELIVERY=$(json_get delivery "$bot_json")
    RESULT_P50=$(json_get p50_ms "$bot_json")
    RESULT_P99=$(json_get p99_ms "$bot_json")
    RESULT_RATE=$(calc per_s "$RESULT_RECEIVED" "$DURATION")
    RESULT_CPU_PER_RELAY=$(calc us_per "$RESULT_WINDOW_CPU" "$RESULT_RECEIVED")
    printf '%-9s cpu %s s (window %s s), %s relays/s delivered, delivery %s, latency p50 %s ms p99 %s ms, peak RSS %s kB, %s us CPU per relay\n' \
        "$name:" "$RESULT_CPU" "$RESULT_WINDOW_CPU" "$RESULT_RATE" "$RESULT_DELIVERY" "$RESULT_P50" "$RESULT_P99" \
        "$RESULT_RSS" "$RESULT_CPU_PER_RELAY"
    [ -n "$bot_json" ]
}

# One line per run: side, then the figures in the order of FIELDS.
RESULTS=$WORK/results.txt
FIELDS="p50_ms p99_ms cpu_per_relay_us delivery relays_per_s peak_rss_kb cpu_s window_cpu_s"
: >"$RESULTS"

record() {
    echo "$1 $RESULT_P50 $RESULT_P99 $RESULT_CPU_PER_RELAY $RESULT_DELIVERY $RESULT_RATE $RESULT_RSS $RESULT_CPU" \
        "$RESULT_WINDOW_CPU" >>"$RESULTS"
}

# The median of one field over a side's runs (the mean of the middle two for
# an even count); null when any run lacks it.
median() {
    local side=$1 column
    column=$(($(tr ' ' '\n' <<<"$FIELDS" | grep -nx "$2" | cut -d: -f1) + 1))
    awk -v side="$side" -v c="$column" '$1 == side { print $c }' "$RESULTS" | sort -g | awk '
        $0 == "null" { bad = 1 }
        { v[NR] = $0 }
        END {
            if (bad || NR == 0) { print "null"; exit }
            if (NR % 2) print v[(NR + 1) / 2]; else printf "%.6g\n", (v[NR / 2] + v[NR / 2 + 1]) / 2
        }'
}

# A side's runs as a JSON array of objects.
runs_json() {
    awk -v side="$1" -v fields="$FIELDS" '
        BEGIN { n = split(fields, name, " "); printf "[" }
        $1 == side {
            printf "%s{", sep; sep = ","
            for (i = 1; i <= n; i++) printf "%s\"%s\":%s", (i > 1 ? "," : ""), name[i], $(i + 1)
            printf "}"
        }
        END { printf "]" }' "$RESULTS"
}

build

STATUS=ok
# run_side NAME RUN: one run of a side; the server's sides are ready once the
# server has started (the lua side once its script has loaded).
run_side() {
    local name=$1 dir="$WORK/$1-$2"
    case "$name" in
    baseline)
        run_target baseline "$dir" "listening" "$BUILD_DIR/bin/orvn-relay-baseline" --port @PORT@ --bind "$HOST" \
            --maxconn 100 ;;
    lua) run_target lua "$dir" "lua: loaded relay" "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root ;;
    *) run_target "$name" "$dir" "Started" "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root ;;
    esac
}

# The server's side is recorded as "server", the other as "baseline".
for ((run = 1; run <= RUNS; run++)); do
    log "run $run of $RUNS"
    run_side "$SIDE_A" "$run" || STATUS=failed
    record server
    sleep 1
    run_side "$SIDE_B" "$run" || STATUS=failed
    record baseline
    sleep 1
done

# The medians of the server's (S) and the baseline's (B) runs, by field.
declare -A S B
for field in $FIELDS; do
    S[$field]=$(median server "$field")
    B[$field]=$(median baseline "$field")
done
P50_RATIO=$(calc div "${S[p50_ms]}" "${B[p50_ms]}")
P99_RATIO=$(calc div "${S[p99_ms]}" "${B[p99_ms]}")
CPU_RATIO=$(calc div "${S[cpu_per_relay_us]}" "${B[cpu_per_relay_us]}")
GOAL_MET=false
if [ "$(within "$P50_RATIO" $GOAL_P50_RATIO)$(within "$P99_RATIO" $GOAL_P99_RATIO)$(within "$CPU_RATIO" \
    $GOAL_CPU_RATIO)$(within "${S[delivery]}" $GOAL_DELIVERY ge)" = 1111 ]; then
    GOAL_MET=true
fi

echo "$SIDE_A against $SIDE_B; medians of $RUNS runs each: server p50 ${S[p50_ms]} ms p99 ${S[p99_ms]} ms," \
    "${S[cpu_per_relay_us]} us CPU per relay, delivery ${S[delivery]}; baseline p50 ${B[p50_ms]} ms" \
    "p99 ${B[p99_ms]} ms, ${B[cpu_per_relay_us]} us CPU per relay, delivery ${B[delivery]}"
# "(goal <= LIMIT)", or "(no goal)" for a ratio this comparison does not judge.
goal_text() { if [ "$1" = null ]; then echo "(no goal)"; else echo "(goal <= $1)"; fi; }
echo "$SIDE_A / $SIDE_B: p50 latency $P50_RATIO $(goal_text $GOAL_P50_RATIO), p99 latency $P99_RATIO" \
    "$(goal_text $GOAL_P99_RATIO), CPU per relay $CPU_RATIO $(goal_text $GOAL_CPU_RATIO); goal met: $GOAL_MET"
printf '{"mode":"%s","compare":"%s","bots":%s,"hz":%s,"seconds":%s,"warmup":%s,"runs":%s,"delivery":%s,"p50_ms":%s,"p99_ms":%s,"relays_per_s":%s,"server_cpu_s":%s,"server_window_cpu_s":%s,"server_peak_rss_kb":%s,"baseline_delivery":%s,"baseline_p50_ms":%s,"baseline_p99_ms":%s,"baseline_relays_per_s":%s,"baseline_cpu_s":%s,"baseline_window_cpu_s":%s,"baseline_peak_rss_kb":%s,"server_cpu_per_relay_us":%s,"baseline_cpu_per_relay_us":%s,"p50_ratio":%s,"p99_ratio":%s,"cpu_ratio":%s,"latency_ratio":%s,"goal":{"p50_ratio":%s,"p99_ratio":%s,"cpu_ratio":%s,"delivery":%s},"goal_met":%s,"server_runs":%s,"baseline_runs":%s,"status":"%s"}\n' \
    "$MODE" "$COMPARE" "$BOTS" "$HZ" "$DURATION" "$WARMUP" "$RUNS" \
    "${S[delivery]}" "${S[p50_ms]}" "${S[p99_ms]}" "${S[relays_per_s]}" "${S[cpu_s]}" "${S[window_cpu_s]}" \
    "${S[peak_rss_kb]}" "${B[delivery]}" "${B[p50_ms]}" "${B[p99_ms]}" "${B[relays_per_s]}" "${B[cpu_s]}" \
    "${B[window_cpu_s]}" "${B[peak_rss_kb]}" "${S[cpu_per_relay_us]}" "${B[cpu_per_relay_us]}" \
    "$P50_RATIO" "$P99_RATIO" "$CPU_RATIO" "$P99_RATIO" \
    "$GOAL_P50_RATIO" "$GOAL_P99_RATIO" "$GOAL_CPU_RATIO" "$GOAL_DELIVERY" "$GOAL_MET" \
    "$(runs_json server)" "$(runs_json baseline)" "$STATUS"
[ "$STATUS" = ok ]
