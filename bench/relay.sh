#!/usr/bin/env bash
# Relay benchmark: the game server against a bare RakNet relay under the same
# bot load, on loopback only.
#
# Builds Release into build/release, then runs, in turn, orvn-server (no
# plugins, 100 players, bound to 127.0.0.1 on a free port, in a temporary
# folder) and orvn-relay-baseline, each loaded by orvn-bot. For each it prints
# the CPU time, relays delivered per second, latency p50/p99 and peak RSS, and
# at the end the ratio of the server's CPU per delivered relay to the
# baseline's. The last line is one JSON object.
#
# CPU per relay uses the CPU time the bot sampled over its counting window
# (joins and warm-up left out); the whole-run CPU time, read from /proc just
# before the process is stopped, is printed as well.
#
# With --vehicles every bot first enters its own vehicle through the entry
# request (the server runs the bench_vehicles plugin, which places vehicles
# 1..100 where the bots walk; the baseline accepts every entry) and then sends
# driver sync, 30 Hz unless --hz says otherwise.
#
# With --metrics the server runs a second time in the same command, with
# metricsport set and its /metrics endpoint scraped every second, and the
# CPU per relay of both server runs is compared (metrics_cpu_ratio).
#
# With --lua the comparison is between the server running luahost with
# bench/relay.lua (whose OnPlayerUpdate reads the player's position and counts
# the update) and the same server without scripts, at 30 Hz unless --hz says
# otherwise; orvn-relay-baseline is not run.
#
# Usage: bench/relay.sh [--vehicles] [--lua] [--metrics] [--bots N] [--hz R] [--seconds D]
#                       [--warmup W] [--threads T] [--skip-build] [--build-dir DIR]
# The same settings may come from the environment: VEHICLES=1, LUA=1, METRICS=1, BOTS, HZ,
# DURATION, WARMUP, BOT_THREADS, SKIP_BUILD=1, BUILD_DIR.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
BOTS=${BOTS:-100}
VEHICLES=${VEHICLES:-0}
LUA=${LUA:-0}
HZ=${HZ:-}
DURATION=${DURATION:-20}
WARMUP=${WARMUP:-3}
BOT_THREADS=${BOT_THREADS:-2}
SKIP_BUILD=${SKIP_BUILD:-0}
METRICS=${METRICS:-0}
BUILD_DIR=${BUILD_DIR:-$ROOT/build/release}
HOST=127.0.0.1

while [ $# -gt 0 ]; do
    case "$1" in
    --vehicles) VEHICLES=1; shift ;;
    --metrics) METRICS=1; shift ;;
    --lua) LUA=1; shift ;;
    --bots) BOTS=$2; shift 2 ;;
    --hz) HZ=$2; shift 2 ;;
    --seconds) DURATION=$2; shift 2 ;;
    --warmup) WARMUP=$2; shift 2 ;;
    --threads) BOT_THREADS=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    --build-dir) BUILD_DIR=$2; shift 2 ;;
    *) echo "relay.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

BOT_MODE=()
if [ "$VEHICLES" = "1" ] || [ "$LUA" = "1" ]; then
    HZ=${HZ:-30}
fi
if [ "$VEHICLES" = "1" ]; then
    BOT_MODE=(--vehicles)
else
    HZ=${HZ:-20}
fi

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

cpu_ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$1/stat" 2>/dev/null || echo null; }
peak_rss_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo null; }

# SIGINT, 5 s to exit, then SIGKILL; the target is gone after it.
stop_target() {
    stop_process "$1"
    TARGET_PID=""
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

# run_target NAME READY_TEXT COMMAND... ; @PORT@ in the command becomes the
# port chosen. Leaves the RESULT_<field> variables.
run_target() {
    local name=$1 ready=$2
    shift 2
    local dir="$WORK/$name" port pid bot_json bot_rc ticks
    RESULT_JSON="" RESULT_CPU=null RESULT_WINDOW_CPU=null RESULT_RSS=null RESULT_RECEIVED=null
    RESULT_DELIVERY=null RESULT_P50=null RESULT_P99=null RESULT_RATE=null RESULT_CPU_PER_RELAY=null
    mkdir -p "$dir"
    port=$(free_port) || { log "no free UDP port found"; exit 1; }
    if [ "$name" = server ] || [ "$name" = server_metrics ] || [ "$name" = lua ]; then
        printf 'bindhost %s\nport %s\nmaxplayers 100\n' "$HOST" "$port" >"$dir/server.cfg"
        [ "$name" = server_metrics ] && printf 'metricsport %s\nmetricsbind %s\n' "$((port + 1))" "$HOST" >>"$dir/server.cfg"
        local plugins=""
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
        [ -z "$plugins" ] || echo "plugins $plugins" >>"$dir/server.cfg"
    fi
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
        RESULT_JSON=""
        return 1
    fi
    log "$name running (pid $pid, port $port); $BOTS bots at $HZ Hz for $DURATION s after a $WARMUP s warm-up"
    if [ "$name" = server_metrics ]; then
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
        log "$name: $(wc -l <"$WORK/scrapes" 2>/dev/null || echo 0) scrapes answered"
    fi
    bot_json=$(tail -1 "$dir/bot.json" 2>/dev/null || true)
    if [ "$bot_rc" -ne 0 ] || [ -z "$bot_json" ]; then
        log "$name: orvn-bot exited with $bot_rc"; tail -20 "$dir/bot.err" >&2
    fi
    RESULT_JSON=$bot_json
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

build

STATUS=ok
if [ "$LUA" = "1" ]; then
    run_target lua "lua: loaded relay" "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root || STATUS=server_failed
else
    run_target server "Started" "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root || STATUS=server_failed
fi
S_JSON=$RESULT_JSON S_CPU=${RESULT_CPU:-null} S_WCPU=${RESULT_WINDOW_CPU:-null} S_RSS=${RESULT_RSS:-null}
S_DELIVERY=${RESULT_DELIVERY:-null} S_P50=${RESULT_P50:-null} S_P99=${RESULT_P99:-null}
S_RATE=${RESULT_RATE:-null} S_CPR=${RESULT_CPU_PER_RELAY:-null}
sleep 1
if [ "$LUA" = "1" ]; then
    # The baseline of --lua is the same server without scripts.
    run_target server "Started" "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root || STATUS=${STATUS/ok/}baseline_failed
else
    run_target baseline "listening" "$BUILD_DIR/bin/orvn-relay-baseline" --port @PORT@ --bind "$HOST" --maxconn 100 || STATUS=${STATUS/ok/}baseline_failed
fi
B_CPU=${RESULT_CPU:-null} B_WCPU=${RESULT_WINDOW_CPU:-null} B_RSS=${RESULT_RSS:-null}
B_DELIVERY=${RESULT_DELIVERY:-null} B_P50=${RESULT_P50:-null} B_P99=${RESULT_P99:-null}
B_RATE=${RESULT_RATE:-null} B_CPR=${RESULT_CPU_PER_RELAY:-null}
[ -n "$S_JSON" ] || S_JSON="{}"
M_CPR=null METRICS_RATIO=null
if [ "$METRICS" = "1" ]; then
    sleep 1
    run_target server_metrics "Started" "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root || STATUS=${STATUS/ok/}metrics_failed
    M_CPR=${RESULT_CPU_PER_RELAY:-null}
    METRICS_RATIO=$(calc div "$M_CPR" "$S_CPR")
    echo "server CPU per relay with metrics scraped / without: $METRICS_RATIO"
fi

CPU_RATIO=$(calc div "$S_CPR" "$B_CPR")
LATENCY_RATIO=$(calc div "$S_P99" "$B_P99")
echo "server CPU per relay / baseline CPU per relay: $CPU_RATIO; p99 latency ratio: $LATENCY_RATIO"
printf '{"mode":"%s","bots":%s,"hz":%s,"seconds":%s,"warmup":%s,"delivery":%s,"p50_ms":%s,"p99_ms":%s,"relays_per_s":%s,"server_cpu_s":%s,"server_window_cpu_s":%s,"server_peak_rss_kb":%s,"baseline_delivery":%s,"baseline_p50_ms":%s,"baseline_p99_ms":%s,"baseline_relays_per_s":%s,"baseline_cpu_s":%s,"baseline_window_cpu_s":%s,"baseline_peak_rss_kb":%s,"server_cpu_per_relay_us":%s,"baseline_cpu_per_relay_us":%s,"cpu_ratio":%s,"latency_ratio":%s,"metrics_cpu_per_relay_us":%s,"metrics_cpu_ratio":%s,"status":"%s"}\n' \
    "$([ "$VEHICLES" = 1 ] && echo vehicles || echo on-foot)$([ "$LUA" = 1 ] && echo +lua)" "$BOTS" "$HZ" "$DURATION" "$WARMUP" "$S_DELIVERY" "$S_P50" "$S_P99" "$S_RATE" "$S_CPU" "$S_WCPU" "$S_RSS" \
    "$B_DELIVERY" "$B_P50" "$B_P99" "$B_RATE" "$B_CPU" "$B_WCPU" "$B_RSS" "$S_CPR" "$B_CPR" "$CPU_RATIO" \
    "$LATENCY_RATIO" "$M_CPR" "$METRICS_RATIO" "$STATUS"
[ "$STATUS" = ok ]
