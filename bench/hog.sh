#!/usr/bin/env bash
# Held-memory benchmark: what one hostile host can make the server hold, and
# whether the players notice, on loopback only.
#
# Builds Release into build/release, then runs orvn-server once quietly and
# once under each attack (no plugins, bound to 127.0.0.1 on a free port, in a
# temporary folder whose ./store holds one 64 MiB file). Each time orvn-flood
# starts the attack, and a second later orvn-bot joins its bots and counts
# their relays for the run. The server's resident memory is sampled from the
# attack's start to its end; its growth is the highest sample less the first.
# Attacks (orvn-flood --kind, at its rate a second):
#   acknak   1,000 ACK/NAK datagrams naming every datagram number, from a player
#   junk     1,000 random and mutated datagrams of every kind, from the bots' address
#   pairs    1,000 open-connection requests, each with an empty datagram, from new ports
#   connect  1,000 whole forged handshakes (request, then connection) from new ports
#   split    2,500 datagrams of 90 one-byte fragments, from forged senders
#   ordered  2,500 datagrams of one 1,200-byte message held for ordering, from a player
#   storeack 284 messages: a player's request for the store file, then 70
#            acknowledgements of pieces, over and over
# Prints one line per run; the last line is one JSON object. A run fails when
# the server grows by more than 16 MiB or the bots' delivery drops below 0.995.
#
# Usage: bench/hog.sh [--bots N] [--hz R] [--seconds D] [--only KIND[,KIND]]
#                     [--server-bin PATH] [--skip-build]
# --server-bin measures another server binary (an older build, for a before
# figure) with this tree's bots and flood tool.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
BOTS=${BOTS:-10}
HZ=${HZ:-20}
DURATION=${DURATION:-20}
WARMUP=${WARMUP:-3}
ONLY=${ONLY:-}
SERVER_BIN=${SERVER_BIN:-}
SKIP_BUILD=${SKIP_BUILD:-0}
BUILD_DIR=${BUILD_DIR:-$ROOT/build/release}
HOST=127.0.0.1
MAX_GROWTH_KB=$((16 * 1024))
MIN_DELIVERY=0.995

while [ $# -gt 0 ]; do
    case "$1" in
    --bots) BOTS=$2; shift 2 ;;
    --hz) HZ=$2; shift 2 ;;
    --seconds) DURATION=$2; shift 2 ;;
    --only) ONLY=$2; shift 2 ;;
    --server-bin) SERVER_BIN=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    *) echo "hog.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

# name:rate for each run; quiet has no attack.
RUNS="quiet:0 acknak:1000 junk:1000 pairs:1000 connect:1000 split:2500 ordered:2500 storeack:284"
WORK=$(mktemp -d /tmp/orvn-hog-bench.XXXXXX)
# The processes of the current run while they may be alive; cleared once
# they have been waited for, so that a reused pid is never signalled.
SERVER_PID=""
FLOOD_PID=""
SAMPLER_PID=""

cleanup() {
    stop_all $SAMPLER_PID $FLOOD_PID $SERVER_PID
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "hog.sh: $*" >&2; }

if [ "$SKIP_BUILD" != "1" ]; then
    release_build orvn-server orvn-bot orvn-flood || exit 1
fi
SERVER_BIN=${SERVER_BIN:-$BUILD_DIR/bin/orvn-server}

# Writes the server's resident kB to $1 every 200 ms until killed.
sample_rss() {
    while kill -0 "$SERVER_PID" 2>/dev/null; do
        mem_kb "$SERVER_PID" VmRSS >>"$1" || true
        sleep 0.2
    done
}

# run NAME RATE: leaves R_GROWTH_KB, R_DROPPED, R_DELIVERY and R_SENT (what the attacker sent).
run() {
    local name=$1 rate=$2 dir="$WORK/$1" port flood_json bot_json
    R_GROWTH_KB=null R_DROPPED=null R_DELIVERY=null R_SENT=0
    mkdir -p "$dir"
    ln -s "$WORK/store" "$dir/store"
    port=$(free_port) || { log "no free UDP port"; return 1; }
    printf 'bindhost %s\nport %s\nmaxplayers 100\n' "$HOST" "$port" >"$dir/server.cfg"
    (cd "$dir" && exec "$SERVER_BIN" -allow-server-runas-root) >"$dir/out.txt" 2>&1 &
    SERVER_PID=$!
    if ! wait_ready "$SERVER_PID" "$dir/out.txt" "Started"; then
        log "$name: server did not start"; tail -20 "$dir/out.txt" >&2; stop_process "$SERVER_PID"; return 1
    fi
    sleep 1
    sample_rss "$dir/rss.txt" &
    SAMPLER_PID=$!
    if [ "$name" != quiet ]; then
        timeout $((DURATION + WARMUP + 60)) "$BUILD_DIR/bin/orvn-flood" --port "$port" --kind "$name" \
            --rate "$rate" --seconds $((DURATION + WARMUP + 4)) >"$dir/flood.json" 2>"$dir/flood.err" &
        FLOOD_PID=$!
        sleep 1
    fi
    log "$name: $BOTS bots at $HZ Hz for $DURATION s (server pid $SERVER_PID, port $port)"
    timeout $((DURATION + WARMUP + 120)) "$BUILD_DIR/bin/orvn-bot" --host "$HOST" --port "$port" --bots "$BOTS" \
        --hz "$HZ" --seconds "$DURATION" --warmup "$WARMUP" >"$dir/bot.json" 2>"$dir/bot.err" ||
        log "$name: orvn-bot failed: $(tail -1 "$dir/bot.err")"
    if [ -n "$FLOOD_PID" ]; then
        kill -INT "$FLOOD_PID" 2>/dev/null || true
        wait "$FLOOD_PID" 2>/dev/null || true
        FLOOD_PID=""
        flood_json=$(tail -1 "$dir/flood.json" 2>/dev/null || true)
        R_DROPPED=$(json_get dropped "$flood_json")
        R_SENT=$(json_get sent "$flood_json")
        [ -s "$dir/flood.err" ] && log "$name: $(tail -1 "$dir/flood.err")"
    fi
    stop_process "$SERVER_PID"
    SERVER_PID=""
    wait "$SAMPLER_PID" 2>/dev/null || true
    SAMPLER_PID=""
    if [ -s "$dir/rss.txt" ]; then
        R_GROWTH_KB=$(awk 'NR == 1 { first = $1 } $1 > most { most = $1 } END { print most - first }' "$dir/rss.txt")
    fi
    bot_json=$(tail -1 "$dir/bot.json" 2>/dev/null || true)
    R_DELIVERY=$(json_get delivery "$bot_json")
    printf '%-9s RSS growth %s kB, attacker dropped %s, delivery %s (attack: %s sent)\n' "$name:" "$R_GROWTH_KB" \
        "$R_DROPPED" "$R_DELIVERY" "$R_SENT"
    [ "$R_DELIVERY" != null ] && [ "$R_GROWTH_KB" != null ] && [ "$R_GROWTH_KB" -le "$MAX_GROWTH_KB" ] &&
        awk -v d="$R_DELIVERY" -v m="$MIN_DELIVERY" 'BEGIN { exit !(d >= m) }'
}

mkdir -p "$WORK/store"
head -c $((64 * 1048576)) /dev/urandom >"$WORK/store/big.bin"

STATUS=ok
JSON=""
for entry in $RUNS; do
    name=${entry%%:*}
    if [ -n "$ONLY" ] && [ "$name" != quiet ] && [[ ",$ONLY," != *",$name,"* ]]; then
        continue
    fi
    run "$name" "${entry##*:}" || STATUS=failed
    JSON="$JSON${JSON:+,}\"$name\":{\"rss_growth_kb\":$R_GROWTH_KB,\"dropped\":$R_DROPPED,\"delivery\":$R_DELIVERY,\"sent\":$R_SENT}"
    sleep 1
done
echo "note: loopback on a shared, loaded machine; delivery and growth move between runs"
printf '{"bots":%s,"hz":%s,"seconds":%s,"max_growth_kb":%s,"min_delivery":%s,"runs":{%s},"status":"%s"}\n' \
    "$BOTS" "$HZ" "$DURATION" "$MAX_GROWTH_KB" "$MIN_DELIVERY" "$JSON" "$STATUS"
[ "$STATUS" = ok ]
