#!/usr/bin/env bash
# Installs the RakNet 4.081 source into third_party/raknet from the npm registry
# package that carries it, after checking the tarball against a pinned integrity,
# and applies the project's fixes from patches/raknet/*.patch in name order.
# Nothing of it is ever committed; the folder is git-ignored. The stamp names the
# integrity and a digest of the patch set, so a changed patch set re-extracts and
# re-patches; the verified tarball is kept beside the folder for that.
set -euo pipefail

PACKAGE="raknet-native@1.2.3"
INTEGRITY="sha512-iXqQc/2298LJHQAyoYDdreZ9E4z+4d1y8lxp+EKno1r/ooIer83ShayCDsjpjwRHc9RiMdJz6fLbgBf2hLeTzw=="

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
DEST="$ROOT/third_party/raknet"
STAMP="$DEST/.integrity"
PATCHES="$ROOT/patches/raknet"
CACHED="$ROOT/third_party/raknet-native-1.2.3.tgz"

shopt -s nullglob
PATCH_FILES=("$PATCHES"/*.patch)
shopt -u nullglob
WANT="$INTEGRITY"
if ((${#PATCH_FILES[@]})); then
    WANT="$INTEGRITY patches:$(cd "$PATCHES" && sha256sum -- *.patch | sha256sum | cut -d' ' -f1)"
fi

if [[ -f "$STAMP" && "$(cat "$STAMP")" == "$WANT" && -d "$DEST/Source" ]]; then
    exit 0
fi

tarball_integrity() { echo "sha512-$(openssl dgst -sha512 -binary "$1" | base64 -w0)"; }

for tool in npm tar openssl base64 patch sha256sum; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "fetch-raknet: '$tool' is missing; install it (apt-get install nodejs npm tar openssl coreutils patch)" >&2
        exit 1
    fi
done

WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

if [[ -f "$CACHED" && "$(tarball_integrity "$CACHED")" == "$INTEGRITY" ]]; then
    cp "$CACHED" "$WORK/"
else
    echo "fetch-raknet: downloading $PACKAGE"
fi
if [[ ! -f "$WORK/$(basename "$CACHED")" ]] && ! (cd "$WORK" && npm pack --silent "$PACKAGE" >/dev/null 2>"$WORK/npm.err"); then
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

ACTUAL="$(tarball_integrity "$TARBALL")"
if [[ "$ACTUAL" != "$INTEGRITY" ]]; then
    echo "fetch-raknet: integrity check failed for $PACKAGE" >&2
    echo "  expected $INTEGRITY" >&2
    echo "  got      $ACTUAL" >&2
    exit 1
fi

mkdir -p "$ROOT/third_party"
cmp -s "$TARBALL" "$CACHED" || cp "$TARBALL" "$CACHED"

tar -xzf "$TARBALL" -C "$WORK" package/raknet
# The sources have CRLF line ends; the patches are written against LF.
find "$WORK/package/raknet/Source" -maxdepth 1 \( -name '*.h' -o -name '*.cpp' \) -exec sed -i 's/\r$//' {} +
for file in "${PATCH_FILES[@]}"; do
    if ! patch -d "$WORK/package/raknet" -p1 --batch --forward --fuzz=0 --no-backup-if-mismatch -s \
        <"$file" >"$WORK/patch.log" 2>&1; then
        echo "fetch-raknet: patch $(basename "$file") does not apply to $PACKAGE:" >&2
        cat "$WORK/patch.log" >&2
        rm -f "$STAMP"
        exit 1
    fi
done

rm -rf "$DEST"
mkdir -p "$DEST"
cp -R "$WORK/package/raknet/." "$DEST/"
echo "$WANT" > "$STAMP"
echo "fetch-raknet: RakNet source installed in third_party/raknet with ${#PATCH_FILES[@]} patches"
