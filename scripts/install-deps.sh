#!/usr/bin/env bash
# Installs the Debian packages listed in scripts/packages.txt that are missing.
# Needs root or sudo; without either it only reports what is missing.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

missing=()
while read -r pkg; do
  [[ -z "$pkg" || "$pkg" == \#* ]] && continue
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done < "$here/packages.txt"

if ((${#missing[@]} == 0)); then
  exit 0
fi

echo "Installing missing packages: ${missing[*]}"
if [[ $EUID -eq 0 ]]; then
  sudo_cmd=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  sudo_cmd=(sudo)
else
  echo "error: missing packages and no root or sudo to install them: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
