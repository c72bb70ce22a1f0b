#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those that are missing.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

have_cmd cmake || need+=(cmake)
have_cmd g++ || need+=(g++)
have_cmd make || need+=(make)
have_cmd npm || need+=(npm)
have_cmd node || need+=(nodejs)
have_cmd openssl || need+=(openssl)
have_cmd patch || need+=(patch)
have_pkg libgtest-dev || need+=(libgtest-dev)
have_pkg libgmock-dev || need+=(libgmock-dev)
have_pkg libbenchmark-dev || need+=(libbenchmark-dev)
# The metrics endpoint's HTTP server.
have_pkg libmicrohttpd-dev || need+=(libmicrohttpd-dev)
# Lua 5.4 for the scripting host plugin, and a JSON module its tests and README example use.
have_pkg liblua5.4-dev || need+=(liblua5.4-dev)
have_pkg lua-cjson || need+=(lua-cjson)
if [[ "${ORVN_NEED_CLANG:-0}" == "1" ]]; then
    have_cmd clang++ || need+=(clang)
    have_pkg libclang-rt-14-dev || need+=(libclang-rt-14-dev)
fi

if ((${#need[@]})); then
    if [[ $(id -u) -ne 0 ]] && have_cmd sudo; then SUDO=sudo; else SUDO=; fi
    echo "install-deps: installing ${need[*]}"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need[@]}"
fi
