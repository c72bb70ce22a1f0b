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
