#!/usr/bin/env bash
# Installs the Debian 12 packages Calvenza needs, only those that are missing.
# Usage: scripts/deps.sh [run|test]
set -euo pipefail

build_pkgs=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools qt6-svg-dev
    qt6-multimedia-dev libespeak-ng-dev espeak-ng-data libgl-dev libpulse-dev libxcb1-dev
    libsqlite3-dev libfontconfig-dev
    fonts-liberation2 fonts-dejavu-core)
# Qt's own words (buttons of the boxes, the answer box's menu) in Italian; Qt's SQLite driver
# for the history of the answers; its PostgreSQL driver for the school's server.
run_pkgs=(libqt6svg6 libqt6multimedia6 qt6-qpa-plugins qt6-translations-l10n libqt6sql6-sqlite
    libqt6sql6-psql)
test_pkgs=(xvfb xauth x11-utils xdotool openbox imagemagick pulseaudio pulseaudio-utils sox
    dbus at-spi2-core python3-pyatspi procps
    orca speech-dispatcher speech-dispatcher-espeak-ng locales bsdutils
    postgresql)

wanted=("${build_pkgs[@]}" "${run_pkgs[@]}")
if [ "${1:-run}" = test ]; then
    wanted+=("${test_pkgs[@]}")
fi
if [ -f "$(dirname "$0")/deps-extra.txt" ] && [ "${1:-run}" = test ]; then
    mapfile -t extra < <(grep -v -E '^\s*(#|$)' "$(dirname "$0")/deps-extra.txt")
    wanted+=("${extra[@]}")
fi

missing=()
for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installo i pacchetti mancanti: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
