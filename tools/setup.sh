#!/bin/bash
# Installs what building and testing need on Debian 12 (run as root; uses sudo when not root).
set -euo pipefail
packages=(cmake make g++ libgtest-dev python3 g++-mingw-w64-x86-64 mingw-w64-tools
          wine wine64 xvfb socat xdotool imagemagick fonts-dejavu-core procps locales clang clang-format libclang-rt-14-dev)
packages+=(chromium) # renders Plot's HTML report in the end-to-end test
packages+=(mosquitto mosquitto-clients) # the MQTT broker and subscriber of the end-to-end test
packages+=(openssl ca-certificates) # the TLS scenario's test authority and the trust store it joins
packages+=(python3-aiosmtpd) # the mail server of the e-mail scenario
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
