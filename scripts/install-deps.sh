#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need.
# Quiet and quick when everything is already present; safe to run again.
set -euo pipefail

packages=(cmake make g++ libtbb-dev libdeflate-dev zlib1g-dev libgtest-dev gzip pigz util-linux
          clang-14 libfuzzer-14-dev clang-format-14)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing missing packages: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
