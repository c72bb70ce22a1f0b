#!/usr/bin/env bash
# ACK/NAK flood benchmark: relay delivery and the server's CPU under bot load,
# without and then with one connected address sending malformed ACK/NAK
# datagrams (each naming every datagram number there is), on loopback only.
#
# Builds Release into build/release, then runs orvn-server twice (no plugins,
# bound to 127.0.0.1 on a free port, in a temporary folder), each time loaded
# by orvn-bot; the second time orvn-flood sends the flood for the whole bot
# run. Prints both runs side by side; the last line is one JSON object.
# --kind junk floods with random and mutated datagrams of every kind from the
# bots' own address instead (orvn-flood --kind junk).
#
# Usage: bench/ackflood.sh [--bots N] [--hz R] [--seconds D] [--rate F] [--kind acknak|junk] [--skip-build]
# The same settings may come from the environment: BOTS, HZ, DURATION, RATE,
# KIND, SKIP_BUILD=1, BUILD_DIR.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
BOTS=${BOTS:-10}
HZ=${HZ:-20}
DURATION=${DURATION:-15}
WARMUP=${WARMUP:-3}
RATE=${RATE:-1000}
KIND=${KIND:-acknak}
SKIP_BUILD=${SKIP_BUILD:-0}
BUILD_DIR=${BUILD_DIR:-$ROOT/build/release}
HOST=127.0.0.1

while [ $# -gt 0 ]; do
    case "$1" in
    --bots) BOTS=$2; shift 2 ;;
    --hz) HZ=$2; shift 2 ;;
    --seconds) DURATION=$2; shift 2 ;;
    --rate) RATE=$2; shift 2 ;;
    --kind) KIND=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    *) echo "ackflood.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

CLK_TCK=$(getconf CLK_TCK 2>/dev/null || echo 100)
WORK=$(mktemp -d /tmp/orvn-ackflood-bench.XXXXXX)
# The processes of the current run while they may be alive; cleared once
# they have been waited for, so that a reused pid is never signalled.
SERVER_PID=""
FLOOD_PID=""

cleanup() {
    stop_all $FLOOD_PID $SERVER_PID
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "ackflood.sh: $*" >&2; }

build() {
    [ "$SKIP_BUILD" = "1" ] && return
    release_build orvn-server orvn-bot orvn-flood || exit 1
}

stop_server() {
    stop_process "$SERVER_PID"
    SERVER_PID=""
}

# run NAME WITH_FLOOD: leaves R_DELIVERY, R_CPU (server CPU seconds over the
# bots' counting window), R_P99 and R_SENT (flood datagrams sent).
run() {
    local name=$1 with_flood=$2 dir="$WORK/$1" port bot_json flood_json
    R_DELIVERY=null R_CPU=null R_P99=null R_SENT=0
    mkdir -p "$dir"
    port=$(free_port) || { log "no free UDP port"; return 1; }
    printf 'bindhost %s\nport %s\nmaxplayers 100\n' "$HOST" "$port" >"$dir/server.cfg"
    (cd "$dir" && exec "$BUILD_DIR/bin/orvn-server" -allow-server-runas-root) >"$dir/out.txt" 2>&1 &
    SERVER_PID=$!
    if ! wait_ready "$SERVER_PID" "$dir/out.txt" "Started"; then
        log "$name: server did not start"; tail -20 "$dir/out.txt" >&2; stop_server; return 1
    fi
    if [ "$with_flood" = 1 ]; then
        timeout $((DURATION + WARMUP + 60)) "$BUILD_DIR/bin/orvn-flood" --port "$port" --kind "$KIND" --rate "$RATE" \
            --seconds $((DURATION + WARMUP + 15)) >"$dir/flood.json" 2>"$dir/flood.err" &
        FLOOD_PID=$!
    fi
    log "$name: $BOTS bots at $HZ Hz for $DURATION s (server pid $SERVER_PID, port $port)"
    timeout $((DURATION + WARMUP + 120)) "$BUILD_DIR/bin/orvn-bot" --host "$HOST" --port "$port" --bots "$BOTS" \
        --hz "$HZ" --seconds "$DURATION" --warmup "$WARMUP" --cpu-pid "$SERVER_PID" --cpu-hz "$CLK_TCK" \
        >"$dir/bot.json" 2>"$dir/bot.err" || log "$name: orvn-bot failed: $(tail -1 "$dir/bot.err")"
    if [ -n "$FLOOD_PID" ]; then
        kill -INT "$FLOOD_PID" 2>/dev/null || true
        wait "$FLOOD_PID" 2>/dev/null || true
        FLOOD_PID=""
        flood_json=$(tail -1 "$dir/flood.json" 2>/dev/null || true)
        R_SENT=$(json_get sent "$flood_json")
        # Interrupted before its summary: count the rate over the bots' run.
        [ "$R_SENT" = null ] && R_SENT=$((RATE * (DURATION + WARMUP)))
    fi
    stop_server
    bot_json=$(tail -1 "$dir/bot.json" 2>/dev/null || true)
    R_DELIVERY=$(json_get delivery "$bot_json")
    R_CPU=$(json_get target_cpu_s "$bot_json")
    R_P99=$(json_get p99_ms "$bot_json")
    printf '%-10s delivery %s, server CPU %s s over %s s, p99 %s ms\n' "$name:" "$R_DELIVERY" "$R_CPU" "$DURATION" "$R_P99"
    # A run whose bots never counted anything failed, whatever the server did.
    [ "$R_DELIVERY" != null ]
}

build
STATUS=ok
run quiet 0 || STATUS=quiet_failed
Q_DELIVERY=$R_DELIVERY Q_CPU=$R_CPU Q_P99=$R_P99
sleep 1
run flooded 1 || STATUS=${STATUS/ok/}flooded_failed
F_DELIVERY=$R_DELIVERY F_CPU=$R_CPU F_P99=$R_P99 F_SENT=$R_SENT
echo "note: loopback on a shared, loaded machine; compare the two runs, not absolute figures"
printf '{"bots":%s,"hz":%s,"seconds":%s,"flood_kind":"%s","flood_rate":%s,"delivery":%s,"server_cpu_s":%s,"p99_ms":%s,"flooded_delivery":%s,"flooded_server_cpu_s":%s,"flooded_p99_ms":%s,"flood_sent":%s,"status":"%s"}\n' \
    "$BOTS" "$HZ" "$DURATION" "$KIND" "$RATE" "$Q_DELIVERY" "$Q_CPU" "$Q_P99" "$F_DELIVERY" "$F_CPU" "$F_P99" "$F_SENT" "$STATUS"
[ "$STATUS" = ok ]
