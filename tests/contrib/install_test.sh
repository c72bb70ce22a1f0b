#!/usr/bin/env bash
# What make install puts under a prefix, with the install rules of this build
# tree: every file the README lists, and a service unit that starts the
# installed binary. With "verify", systemd-analyze must also accept the unit
# without a complaint about it (skipped with status 77 where systemd is absent).
set -euo pipefail
build=$1
source=$2
mode=${3:-files}

if [[ $mode == verify ]] && ! command -v systemd-analyze >/dev/null 2>&1; then
    echo "systemd-analyze not present: skipped"
    exit 77
fi

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

listed=$(sed -n '/^<!-- install list -->$/,/^<!-- end of install list -->$/p' "$source/README.md" |
    grep -o '`PREFIX/[^`]*`' | tr -d '`' | sed 's#^PREFIX/##')
[[ -n $listed ]] || { echo "README lists no installed files"; exit 1; }
for file in $listed; do
    [[ -f $prefix/$file ]] || { echo "not installed: $file"; exit 1; }
done
[[ -x $prefix/bin/orvn-server ]] || { echo "orvn-server is not executable"; exit 1; }
unit=$prefix/lib/systemd/system/orvn-server.service
grep -qx "ExecStart=$prefix/bin/orvn-server" "$unit" || { echo "ExecStart does not name the installed binary"; exit 1; }
grep -qx "KillSignal=SIGINT" "$unit"
grep -qx "RuntimeDirectory=orvn-server" "$unit" || { echo "the unit makes no runtime folder"; exit 1; }
# The example configuration switches on the socket orvn-ctl looks for by default.
default=$(sed -n 's/^#define CONTROL_DEFAULT_PATH "\(.*\)"$/\1/p' "$source/server/platform/ControlProtocol.h")
grep -qx "controlsocket $default" "$prefix/share/orvn-server/server.cfg" ||
    { echo "the installed server.cfg names no control socket at $default"; exit 1; }

if [[ $mode == verify ]]; then
    complaints=$(systemd-analyze verify "$unit" 2>&1) || { echo "$complaints"; exit 1; }
    if grep -q "orvn-server" <<<"$complaints"; then
        echo "$complaints"
        exit 1
    fi
fi
echo "installed: $listed"
