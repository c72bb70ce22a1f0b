#!/usr/bin/env bash
# Installs the RakNet 4.081 source into third_party/raknet from the npm registry
# package that carries it, after checking the tarball against a pinned integrity.
# Nothing of it is ever committed; the folder is git-ignored.
set -euo pipefail

PACKAGE="raknet-native@1.2.3"
INTEGRITY="sha512-iXqQc/2298LJHQAyoYDdreZ9E4z+4d1y8lxp+EKno1r/ooIer83ShayCDsjpjwRHc9RiMdJz6fLbgBf2hLeTzw=="

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DEST="$ROOT/third_party/raknet"
STAMP="$DEST/.integrity"

if [[ -f "$STAMP" && "$(cat "$STAMP")" == "$INTEGRITY" && -d "$DEST/Source" ]]; then
    exit 0
fi

for tool in npm tar openssl base64; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "fetch-raknet: '$tool' is missing; install it (apt-get install nodejs npm tar openssl coreutils)" >&2
        exit 1
    fi
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

echo "fetch-raknet: downloading $PACKAGE"
if ! (cd "$WORK" && npm pack --silent "$PACKAGE" >/dev/null 2>"$WORK/npm.err"); then
    echo "fetch-raknet: 'npm pack $PACKAGE' failed:" >&2
    cat "$WORK/npm.err" >&2
    echo "fetch-raknet: check that npm can reach the npm registry (apt-get install npm)" >&2
    exit 1
fi

TARBALL="$(ls "$WORK"/*.tgz 2>/dev/null | head -n 1)"
if [[ -z "$TARBALL" ]]; then
    echo "fetch-raknet: npm pack produced no tarball" >&2
    exit 1
fi

ACTUAL="sha512-$(openssl dgst -sha512 -binary "$TARBALL" | base64 -w0)"
if [[ "$ACTUAL" != "$INTEGRITY" ]]; then
    echo "fetch-raknet: integrity check failed for $PACKAGE" >&2
    echo "  expected $INTEGRITY" >&2
    echo "  got      $ACTUAL" >&2
    exit 1
fi

rm -rf "$DEST"
mkdir -p "$DEST"
tar -xzf "$TARBALL" -C "$WORK" package/raknet
cp -R "$WORK/package/raknet/." "$DEST/"
echo "$INTEGRITY" > "$STAMP"
echo "fetch-raknet: RakNet source installed in third_party/raknet"
