#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop needs to
# open *.tgh documents with the program.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "install check: $*" >&2; exit 1; }
for f in bin/tonegarden bin/tonegarden-render share/tonegarden/help/index.html \
         share/tonegarden/examples/demo.tgh share/tonegarden/examples/beat.tgh \
         share/tonegarden/examples/samples/kick.wav share/applications/tonegarden.desktop \
         share/mime/packages/tonegarden.xml share/icons/hicolor/scalable/apps/tonegarden.svg; do
  [[ -e "$prefix/$f" ]] || fail "missing $f"
done
[[ -x "$prefix/bin/tonegarden" ]] || fail "tonegarden is not executable"
desktop="$prefix/share/applications/tonegarden.desktop"
grep -qx 'Exec=tonegarden %f' "$desktop" || fail "launcher does not pass the document"
grep -q '^MimeType=application/x-tonegarden-document;' "$desktop" || fail "launcher lacks the type"
if command -v xmllint >/dev/null; then
  xmllint --noout "$prefix/share/mime/packages/tonegarden.xml" || fail "MIME file is not XML"
fi
if command -v update-mime-database >/dev/null; then
  update-mime-database "$prefix/share/mime" >/dev/null 2>&1
  grep -q '\*\.tgh' "$prefix/share/mime/globs2" || fail "*.tgh is not registered"
fi
echo "install check passed"
