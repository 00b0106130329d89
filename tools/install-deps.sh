#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the programs need.
# Runs apt-get directly as root, through sudo otherwise.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev libgl-dev qt6-translations-l10n
  libpugixml-dev libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev
  libsqlite3-dev libpq-dev postgresql
  libboost-dev libsodium-dev openssl ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
  poppler-utils
  xvfb xauth libxtst-dev
  libgettextpo-dev gettext qt6-l10n-tools libxml2-utils php-symfony-translation translate-toolkit
  libhunspell-dev hunspell-en-us hunspell-es
  python3-prometheus-client lintian curl
  apertium-apy apertium-es-pt apertium-eng-spa
  hunspell-pt-br
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
