#!/usr/bin/env bash
# Churn soak: a long run of the server under bots that come and go, on
# loopback only.
#
# Starts orvn-server (no plugins, 100 players, bound to 127.0.0.1 on a free
# port, in a temporary folder) and loads it with orvn-bot: 100 bots that join,
# spawn, move at 30 Hz, send a chat line about every 20 s, and leave and join
# again after about 30 s each. A query client asks for 'i', 'c' and 'p' once
# a second meanwhile. At the end it prints the server's RSS after the warm-up
# and at the end, the joins completed and failed, the relays delivered, the
# query replies answered, and every line the server printed that is not its
# start-up text or a join or leave line. The last line is one JSON object;
# its status is "ok" when the server neither crashed nor printed an unexpected
# line (sanitizer reports included), every join completed, and the RSS grew
# by less than the allowed growth (1 MiB) after the warm-up.
#
# Usage: bench/soak.sh [--seconds D] [--warmup W] [--short] [--bots N] [--hz R]
#                      [--churn S] [--chat S] [--max-growth-kb K]
#                      [--skip-build] [--build-dir DIR] [--server-bin PATH]
# --short is a 60 s run with a 20 s warm-up, for CI. The defaults are a
# 600 s run with a 60 s warm-up. --server-bin runs another server binary
# under the Release bots, for example the sanitizer build's (make test-build,
# then --server-bin build/test/bin/orvn-server): its reports show as
# unexpected lines; its allocator keeps freed memory for a while, so its RSS
# growth says little.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
DURATION=600
WARMUP=60
BOTS=100
HZ=30
CHURN=30
CHAT=20
MAX_GROWTH_KB=1024
SKIP_BUILD=0
BUILD_DIR=$ROOT/build/release
SERVER_BIN=""
HOST=127.0.0.1

while [ $# -gt 0 ]; do
    case "$1" in
    --seconds) DURATION=$2; shift 2 ;;
    --warmup) WARMUP=$2; shift 2 ;;
    --short) DURATION=60; WARMUP=20; shift ;;
    --bots) BOTS=$2; shift 2 ;;
    --hz) HZ=$2; shift 2 ;;
    --churn) CHURN=$2; shift 2 ;;
    --chat) CHAT=$2; shift 2 ;;
    --max-growth-kb) MAX_GROWTH_KB=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    --build-dir) BUILD_DIR=$2; shift 2 ;;
    --server-bin) SERVER_BIN=$(realpath "$2"); shift 2 ;;
    *) echo "soak.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
if [ "$WARMUP" -ge "$DURATION" ]; then
    echo "soak.sh: the warm-up must be shorter than the run" >&2
    exit 2
fi

WORK=$(mktemp -d /tmp/orvn-soak.XXXXXX)
# What this script started and is still running; cleared once waited for.
SERVER_PID=""
BOT_PID=""
POLL_PID=""

cleanup() {
    stop_all $POLL_PID $BOT_PID $SERVER_PID
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "soak.sh: $*" >&2; }

if [ "$SKIP_BUILD" != "1" ]; then
    release_build orvn-server orvn-bot orvn-query || exit 1
fi

PORT=$(free_port) || { log "no free UDP port found"; exit 1; }

rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo null; }

mkdir -p "$WORK/server"
printf 'bindhost %s\nport %s\nmaxplayers 100\n' "$HOST" "$PORT" >"$WORK/server/server.cfg"
(cd "$WORK/server" && exec "${SERVER_BIN:-$BUILD_DIR/bin/orvn-server}" -allow-server-runas-root) >"$WORK/server/out.txt" 2>&1 &
SERVER_PID=$!
wait_ready "$SERVER_PID" "$WORK/server/out.txt" "Started" ||
    { log "the server did not start:"; tail -20 "$WORK/server/out.txt" >&2; exit 1; }
log "server running (pid $SERVER_PID, port $PORT); $BOTS bots at $HZ Hz for $DURATION s, churn $CHURN s, chat $CHAT s"

# The query client: one 'i', 'c' and 'p' a second; one line per answer.
(
    while true; do
        for opcode in i c p; do
            if "$BUILD_DIR/bin/orvn-query" -h "$HOST" -p "$PORT" -t 1000 "$opcode" >/dev/null 2>&1; then
                echo "answered $opcode"
            else
                echo "missed $opcode"
            fi
        done
        sleep 1
    done
) >"$WORK/queries.txt" &
POLL_PID=$!

# The bot counts for the whole run after its own short settling warm-up.
timeout $((DURATION + 180)) "$BUILD_DIR/bin/orvn-bot" --host "$HOST" --port "$PORT" --bots "$BOTS" --hz "$HZ" \
    --seconds "$DURATION" --warmup 1 --churn "$CHURN" --chat "$CHAT" --setup-timeout 120 \
    >"$WORK/bot.json" 2>"$WORK/bot.err" &
BOT_PID=$!
for i in $(seq 1 1200); do
    grep -q "bots spawned" "$WORK/bot.err" 2>/dev/null && break
    kill -0 "$BOT_PID" 2>/dev/null || break
    sleep 0.1
done
sleep "$WARMUP"
RSS_WARM=$(rss_kb "$SERVER_PID")
log "RSS after the warm-up: $RSS_WARM kB"
BOT_RC=0
wait "$BOT_PID" || BOT_RC=$?
BOT_PID=""
RSS_END=$(rss_kb "$SERVER_PID")
kill -TERM "$POLL_PID" 2>/dev/null || true
wait "$POLL_PID" 2>/dev/null || true
POLL_PID=""

CRASHED=false
if kill -0 "$SERVER_PID" 2>/dev/null; then
    kill -INT "$SERVER_PID"
    for i in $(seq 1 50); do
        kill -0 "$SERVER_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$SERVER_PID" 2>/dev/null || true
fi
SERVER_RC=0
wait "$SERVER_PID" 2>/dev/null || SERVER_RC=$?
SERVER_PID=""
[ "$SERVER_RC" -eq 0 ] || CRASHED=true

BOT_JSON=$(tail -1 "$WORK/bot.json" 2>/dev/null || true)
[ -n "$BOT_JSON" ] || { log "orvn-bot exited with $BOT_RC:"; tail -20 "$WORK/bot.err" >&2; BOT_JSON="{}"; }
JOINS=$(json_get joins "$BOT_JSON")
LEAVES=$(json_get leaves "$BOT_JSON")
CHATS=$(json_get chats "$BOT_JSON")
RELAYS=$(json_get received "$BOT_JSON")
LOST=$(json_get lost "$BOT_JSON")
SPAWNED=$(json_get spawned "$BOT_JSON")
FAILED_JOINS=null
if [ "$LOST" != null ] && [ "$SPAWNED" != null ]; then
    FAILED_JOINS=$((LOST + BOTS - SPAWNED))
fi
ANSWERED=$(grep -c '^answered' "$WORK/queries.txt" || true)
MISSED=$(grep -c '^missed' "$WORK/queries.txt" || true)

# Everything after the start lines but the join and leave announcements and
# the shutdown line.
sed -n '/\*\* Started/,$p' "$WORK/server/out.txt" |
    grep -Ev "^(\*\* Started.*| Port: [0-9]+| Max players: [0-9]+|\*\* Shutting down server \*\*|Player '[^']*' ID [0-9]+ (connected|disconnected)\.|)$" \
        >"$WORK/unexpected.txt" || true
UNEXPECTED=$(wc -l <"$WORK/unexpected.txt")
SANITIZER=$(grep -cE "ERROR: (Address|Leak|Thread|Undefined)Sanitizer|runtime error:" "$WORK/server/out.txt" || true)
if [ "$UNEXPECTED" -gt 0 ]; then
    log "unexpected server lines ($UNEXPECTED):"
    head -40 "$WORK/unexpected.txt" >&2
fi

GROWTH=null
if [ "$RSS_WARM" != null ] && [ "$RSS_END" != null ]; then
    GROWTH=$((RSS_END - RSS_WARM))
fi
STATUS=ok
[ "$CRASHED" = false ] || STATUS=crashed
[ "$FAILED_JOINS" = 0 ] || STATUS=${STATUS/ok/}failed_joins
[ "$UNEXPECTED" -eq 0 ] || STATUS=${STATUS/ok/}unexpected_lines
[ "$GROWTH" != null ] && [ "$GROWTH" -lt "$MAX_GROWTH_KB" ] || STATUS=${STATUS/ok/}rss_growth
echo "server: RSS $RSS_WARM kB after the warm-up, $RSS_END kB at the end (growth $GROWTH kB); exit status $SERVER_RC"
echo "bots: $JOINS joins completed, $FAILED_JOINS failed, $LEAVES leaves, $CHATS chat lines, $RELAYS relays delivered"
echo "queries: $ANSWERED answered, $MISSED missed; unexpected server lines: $UNEXPECTED (sanitizer reports: $SANITIZER)"
printf '{"seconds":%s,"warmup":%s,"bots":%s,"hz":%s,"churn_s":%s,"chat_s":%s,"rss_warm_kb":%s,"rss_end_kb":%s,"rss_growth_kb":%s,"joins":%s,"failed_joins":%s,"leaves":%s,"chats":%s,"relays":%s,"queries_answered":%s,"queries_missed":%s,"unexpected_lines":%s,"sanitizer_reports":%s,"crashed":%s,"status":"%s"}\n' \
    "$DURATION" "$WARMUP" "$BOTS" "$HZ" "$CHURN" "$CHAT" "$RSS_WARM" "$RSS_END" "$GROWTH" "$JOINS" "$FAILED_JOINS" \
    "$LEAVES" "$CHATS" "$RELAYS" "$ANSWERED" "$MISSED" "$UNEXPECTED" "$SANITIZER" "$CRASHED" "$STATUS"
[ "$STATUS" = ok ]
