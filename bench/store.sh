#!/usr/bin/env bash
# Store download benchmark: one 64 MiB store file sent to 10 clients at once,
# by the game server and by a bare RakNet file list transfer, on loopback.
#
# Builds Release into build/release, then runs orvn-server in a temporary
# folder whose ./store holds the file, measures its resident memory while
# idle (after start-up, which hashes the file) and its peak during the
# downloads, and reports the transfer rate; then the same for the bare
# transfer (orvn-store-bench baseline). The server reads the file in pieces,
# so its peak should stay within a few MiB of its idle figure. The last line
# is one JSON object.
#
# Usage: bench/store.sh [--clients N] [--mib M] [--skip-build] [--build-dir DIR]
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=bench/lib.sh
. "$ROOT/bench/lib.sh"
CLIENTS=${CLIENTS:-10}
MIB=${MIB:-64}
SKIP_BUILD=${SKIP_BUILD:-0}
BUILD_DIR=${BUILD_DIR:-$ROOT/build/release}

while [ $# -gt 0 ]; do
    case "$1" in
    --clients) CLIENTS=$2; shift 2 ;;
    --mib) MIB=$2; shift 2 ;;
    --skip-build) SKIP_BUILD=1; shift ;;
    --build-dir) BUILD_DIR=$2; shift 2 ;;
    *) echo "store.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done

WORK=$(mktemp -d /tmp/orvn-store-bench.XXXXXX)
# The process under test while it may be alive; cleared once waited for.
TARGET_PID=""

cleanup() {
    stop_all $TARGET_PID
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

log() { echo "store.sh: $*" >&2; }

if [ "$SKIP_BUILD" != "1" ]; then
    release_build orvn-server orvn-store-bench || exit 1
fi
BIN=$BUILD_DIR/bin


# Waits for a line in a log, 30 s at most.
wait_for() {
    local file=$1 text=$2 i
    for i in $(seq 1 300); do
        grep -q "$text" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    log "timed out waiting for '$text' in $file"
    cat "$file" >&2
    exit 1
}

# Runs one target (server or baseline), then the clients against it. Leaves
# RESULT_IDLE_KB, RESULT_PEAK_KB and RESULT_LINE.
run_target() {
    local name=$1 port ready
    port=$(free_port) || { log "no free UDP port found"; exit 1; }
    mkdir -p "$WORK/$name"
    cd "$WORK/$name"
    if [ "$name" = server ]; then
        printf 'port %s\nbindhost 127.0.0.1\nmaxplayers %s\n' "$port" "$CLIENTS" >server.cfg
        ln -s "$WORK/store" store
        "$BIN/orvn-server" -allow-server-runas-root >out.log 2>&1 &
        ready="Started OR:VN"
    else
        "$BIN/orvn-store-bench" baseline --port "$port" "$WORK/store/big.bin" >out.log 2>&1 &
        ready="baseline: ready"
    fi
    TARGET_PID=$!
    wait_for out.log "$ready"
    sleep 2
    RESULT_IDLE_KB=$(mem_kb "$TARGET_PID" VmHWM)
    local extra=""
    [ "$name" = baseline ] && extra="--baseline"
    RESULT_LINE=$("$BIN/orvn-store-bench" clients --port "$port" --clients "$CLIENTS" $extra) ||
        { log "$name: clients failed: $RESULT_LINE"; cat out.log >&2; exit 1; }
    RESULT_PEAK_KB=$(mem_kb "$TARGET_PID" VmHWM)
    kill -INT "$TARGET_PID"
    wait "$TARGET_PID" || true
    TARGET_PID=""
    log "$name: $RESULT_LINE idle_kb=$RESULT_IDLE_KB peak_kb=$RESULT_PEAK_KB"
    cd "$ROOT"
}

mkdir -p "$WORK/store"
head -c "$((MIB * 1048576))" /dev/urandom >"$WORK/store/big.bin"

run_target server
S_IDLE=$RESULT_IDLE_KB S_PEAK=$RESULT_PEAK_KB S_LINE=$RESULT_LINE
run_target baseline
B_IDLE=$RESULT_IDLE_KB B_PEAK=$RESULT_PEAK_KB B_LINE=$RESULT_LINE

rate() { sed -n 's/.*mib_per_s=\([0-9.]*\).*/\1/p' <<<"$1"; }
secs() { sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' <<<"$1"; }
printf 'server:   %s MiB/s in %s s, RSS idle %s kB, peak %s kB (+%s kB)\n' "$(rate "$S_LINE")" "$(secs "$S_LINE")" \
    "$S_IDLE" "$S_PEAK" "$((S_PEAK - S_IDLE))"
printf 'baseline: %s MiB/s in %s s, RSS idle %s kB, peak %s kB (+%s kB)\n' "$(rate "$B_LINE")" "$(secs "$B_LINE")" \
    "$B_IDLE" "$B_PEAK" "$((B_PEAK - B_IDLE))"
printf '{"clients":%s,"mib":%s,"server_mib_per_s":%s,"server_idle_kb":%s,"server_peak_kb":%s,' \
    "$CLIENTS" "$MIB" "$(rate "$S_LINE")" "$S_IDLE" "$S_PEAK"
printf '"baseline_mib_per_s":%s,"baseline_idle_kb":%s,"baseline_peak_kb":%s}\n' \
    "$(rate "$B_LINE")" "$B_IDLE" "$B_PEAK"
