#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build, the tests and the demo need.
# Idempotent: does nothing when everything is already there.
set -euo pipefail

PKGS=(cmake g++ make pkg-config clang clang-format git
      qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev
      qt6-qpa-plugins
      mbpoll xvfb xauth)
# libFuzzer and the sanitizer runtimes for clang; the name differs between releases.
OPTIONAL=(libclang-rt-dev)

missing=()
for p in "${PKGS[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
opt_missing=()
for p in "${OPTIONAL[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" && continue
    # Only worth an apt run when this release has the package at all.
    if [ ${#missing[@]} -gt 0 ] || apt-cache show "$p" >/dev/null 2>&1; then opt_missing+=("$p"); fi
done
[ ${#missing[@]} -eq 0 ] && [ ${#opt_missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    SUDO=()
elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    SUDO=(sudo)
else
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]} ${opt_missing[*]}" >&2
    exit 1
fi

export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
if [ ${#missing[@]} -gt 0 ]; then
    "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
for p in "${opt_missing[@]}"; do
    if apt-cache show "$p" >/dev/null 2>&1; then
        "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "$p" || true
    fi
done
