#!/usr/bin/env bash
# Query flood benchmark: the relay load with and without a query flood from
# many loopback sources, on loopback only.
#
# Starts orvn-server (no plugins, 100 players, bound to 127.0.0.1 on a free
# port, default flood limits) twice. Each time orvn-bot runs 100 bots at
# 30 Hz; the second time orvn-query-flood floods the server from 50 source
# addresses (127.0.0.2 to 127.0.0.51) at 200 player-list requests a second
# each while the bots count. It prints the delivery of both runs and the
# replies and reply bytes a second the flood drew, against the budget
# (querybudget, 1048576 bytes a second by default) and the rate of one
# source (queryrate, 20 a second). The last line is one JSON object; its
# status is "ok" when the delivery under the flood is at least 0.995 and the
# reply bytes stayed within the budget.
#
# Usage: bench/flood.sh [--bots N] [--hz R] [--seconds D] [--sources S]
#                       [--rate R] [--skip-build] [--build-dir DIR]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
BOTS=100
HZ=30
DURATION=20
WARMUP=3
SOURCES=50
RATE=200
BUDGET=1048576
SKIP_BUILD=0
BUILD_DIR=$ROOT/build/release
HOST=127.0.0.1

while [ $# -gt 0 ]; do
    case "$1" in
    --bots) BOTS=$2; shift 2 ;;
    --hz) HZ=$2; shift 2 ;;
    --seconds) DURATION=$2; shift 2 ;;
    --sources) SOURCES=$2; shift 2 ;;
    --rate) RATE=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    --build-dir) BUILD_DIR=$2; shift 2 ;;
    *) echo "flood.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

WORK=$(mktemp -d /tmp/orvn-flood-bench.XXXXXX)
SERVER_PID=""
BOT_PID=""
FLOOD_PID=""

cleanup() {
    stop_all $FLOOD_PID $BOT_PID $SERVER_PID
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "flood.sh: $*" >&2; }

if [ "$SKIP_BUILD" != "1" ]; then
    release_build orvn-server orvn-bot orvn-query-flood || exit 1
fi

# run NAME FLOOD(0|1): leaves RUN_BOT_JSON and RUN_FLOOD_JSON.
run() {
    local name=$1 flood=$2 dir="$WORK/$1" port i
    RUN_BOT_JSON="{}" RUN_FLOOD_JSON="{}"
    mkdir -p "$dir"
    port=$(free_port) || { log "no free UDP port"; return 1; }
    printf 'bindhost %s\nport %s\nmaxplayers 100\n' "$HOST" "$port" >"$dir/server.cfg"
    (cd "$dir" && exec "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root) >"$dir/out.txt" 2>&1 &
    SERVER_PID=$!
    wait_ready "$SERVER_PID" "$dir/out.txt" "Started" || log "$name: the server did not start"
    log "$name: server on port $port; $BOTS bots at $HZ Hz for $DURATION s"
    timeout $((DURATION + WARMUP + 120)) "$BUILD_DIR/bin/orvn-bot" --host "$HOST" --port "$port" --bots "$BOTS" \
        --hz "$HZ" --seconds "$DURATION" --warmup "$WARMUP" >"$dir/bot.json" 2>"$dir/bot.err" &
    BOT_PID=$!
    if [ "$flood" = 1 ]; then
        for i in $(seq 1 1200); do
            grep -q "bots spawned" "$dir/bot.err" 2>/dev/null && break
            sleep 0.1
        done
        # From the settling to the end of the counting window.
        "$BUILD_DIR/bin/orvn-query-flood" -h "$HOST" -p "$port" -n "$SOURCES" -r "$RATE" -o c \
            -s $((DURATION + WARMUP)) >"$dir/flood.json" 2>"$dir/flood.err" &
        FLOOD_PID=$!
        wait "$FLOOD_PID" || true
        FLOOD_PID=""
        RUN_FLOOD_JSON=$(tail -1 "$dir/flood.json" 2>/dev/null || echo "{}")
    fi
    wait "$BOT_PID" || true
    BOT_PID=""
    kill -INT "$SERVER_PID" 2>/dev/null || true
    wait "$SERVER_PID" 2>/dev/null || true
    SERVER_PID=""
    RUN_BOT_JSON=$(tail -1 "$dir/bot.json" 2>/dev/null || echo "{}")
    [ -n "$RUN_BOT_JSON" ] || RUN_BOT_JSON="{}"
    grep "Query flood" "$dir/out.txt" >&2 || true
}

run quiet 0
QUIET_DELIVERY=$(json_get delivery "$RUN_BOT_JSON")
QUIET_P99=$(json_get p99_ms "$RUN_BOT_JSON")
sleep 1
run flood 1
FLOOD_DELIVERY=$(json_get delivery "$RUN_BOT_JSON")
FLOOD_P99=$(json_get p99_ms "$RUN_BOT_JSON")
SENT=$(json_get sent "$RUN_FLOOD_JSON")
REPLIES_PER_S=$(json_get replies_per_s "$RUN_FLOOD_JSON")
BYTES_PER_S=$(json_get reply_bytes_per_s "$RUN_FLOOD_JSON")
SOURCE_MAX=$(json_get max_source_replies_per_s "$RUN_FLOOD_JSON")
SECONDS_FLOODED=$(json_get seconds "$RUN_FLOOD_JSON")

# The budget allows one second's worth at once, then its rate.
STATUS=$(awk -v d="$FLOOD_DELIVERY" -v b="$BYTES_PER_S" -v s="$SECONDS_FLOODED" -v budget="$BUDGET" 'BEGIN {
    if (d == "null" || b == "null" || s == "null") { print "no_result"; exit }
    st = "ok"
    if (d + 0 < 0.995) st = "low_delivery"
    if (b + 0 > budget * (1 + 1 / s)) st = (st == "ok" ? "" : st "_") "over_budget"
    print st
}')
echo "quiet: delivery $QUIET_DELIVERY, p99 $QUIET_P99 ms"
echo "flood: delivery $FLOOD_DELIVERY, p99 $FLOOD_P99 ms; $SENT requests, $REPLIES_PER_S replies/s, $BYTES_PER_S reply bytes/s (budget $BUDGET), at most $SOURCE_MAX replies/s from one source"
printf '{"bots":%s,"hz":%s,"seconds":%s,"sources":%s,"rate_per_source":%s,"quiet_delivery":%s,"quiet_p99_ms":%s,"flood_delivery":%s,"flood_p99_ms":%s,"requests":%s,"replies_per_s":%s,"reply_bytes_per_s":%s,"budget_bytes_per_s":%s,"max_source_replies_per_s":%s,"status":"%s"}\n' \
    "$BOTS" "$HZ" "$DURATION" "$SOURCES" "$RATE" "$QUIET_DELIVERY" "$QUIET_P99" "$FLOOD_DELIVERY" "$FLOOD_P99" \
    "$SENT" "$REPLIES_PER_S" "$BYTES_PER_S" "$BUDGET" "$SOURCE_MAX" "$STATUS"
[ "$STATUS" = ok ]
