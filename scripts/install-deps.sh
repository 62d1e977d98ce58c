#!/usr/bin/env bash
# Installs every Debian package the build, the program and the tests need.
# Idempotent: packages already installed are skipped, and apt-get runs only when one is missing.
set -euo pipefail
PACKAGES=(
    cmake g++ make pkgconf
    qt6-base-dev qt6-translations-l10n libsqlite3-dev libcurl4-openssl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libxlsxwriter-dev libjpeg62-turbo-dev libcpp-httplib-dev libzip-dev libpugixml-dev libfreexl-dev zlib1g-dev
    fonts-wqy-microhei xvfb xauth
)
missing=()
for p in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
