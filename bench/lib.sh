# Helpers the benchmark scripts share; sourced, never run on its own.

# A UDP port nothing listens on, from the range the benchmarks use; fails
# after 50 tries.
free_port() {
    local port tries
    for tries in $(seq 1 50); do
        port=$((20000 + RANDOM % 40000))
        if ! ss -Hlun "sport = :$port" 2>/dev/null | grep -q .; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

# The value of key $1 in the one-line JSON object $2, or null.
json_get() {
    local value
    value=$(printf '%s\n' "$2" | sed -n "s/.*\"$1\":\([^,}]*\).*/\1/p")
    echo "${value:-null}"
}

# Ends each process given that still runs: SIGTERM, then SIGKILL half a
# second later (timeout passes the polite signal on to its child).
stop_all() {
    local pid
    for pid in "$@"; do
        kill -TERM "$pid" 2>/dev/null || continue
        sleep 0.5
        kill -KILL "$pid" 2>/dev/null || true
    done
}

# SIGINT, 5 s to exit, then SIGKILL; waits for the process.
stop_process() {
    local pid=$1 i
    kill -INT "$pid" 2>/dev/null || true
    for i in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# kB of a /proc/<pid>/status field (VmRSS, VmHWM).
mem_kb() { awk -v key="$2:" '$1 == key { print $2 }' "/proc/$1/status"; }

# Waits (10 s at most) until the text shows in the file while the process lives.
wait_ready() {
    local pid=$1 file=$2 text=$3 i
    for i in $(seq 1 100); do
        grep -q "$text" "$file" 2>/dev/null && return 0
        kill -0 "$pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

# Builds the named targets in Release into $BUILD_DIR, logging to
# $WORK/cmake.log. The transport's source is brought to the current patch set
# first (a no-op when it already is), so no benchmark measures a build that
# lacks a newer fix.
release_build() {
    "$ROOT/scripts/fetch-raknet.sh" || return 1
    echo "$(basename "$0"): building Release in $BUILD_DIR" >&2
    if ! cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DORVN_TESTS=OFF -DORVN_BENCH=OFF \
        >"$WORK/cmake.log" 2>&1 || ! cmake --build "$BUILD_DIR" -j2 --target "$@" >>"$WORK/cmake.log" 2>&1; then
        tail -30 "$WORK/cmake.log" >&2
        return 1
    fi
}
