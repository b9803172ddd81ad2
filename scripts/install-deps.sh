#!/usr/bin/env bash
# Installs from Debian packages what Kelvarin needs: "run" for building and
# running the program, "test" adds the test peers and the benchmark reference,
# "fuzz" adds clang and its libFuzzer runtime for the fuzz targets.
set -euo pipefail
what=${1:-run}
# openssl brings the TLS library Qt Network loads for upstream TLS (and the
# command the tests make their certificates with); ca-certificates the
# authorities a provider's certificate is checked against.
pkgs=(cmake ninja-build g++ qt6-base-dev libgl-dev openssl ca-certificates)
if [ "$what" = test ]; then
  pkgs+=(dovecot-pop3d dnsmasq-base mpop bogofilter python3 iproute2 util-linux)
  # The window suites and scripts/screenshots.sh draw offscreen with these fonts.
  pkgs+=(fonts-dejavu-core)
  # npm fetches the public test corpus; a machine may already have it from nodejs.
  command -v npm >/dev/null 2>&1 || pkgs+=(npm)
fi
if [ "$what" = fuzz ]; then
  pkgs+=(clang libclang-rt-dev)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
# A package must not start a system-wide dovecot on port 110 while it installs.
added_policy=""
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
  $SUDO chmod 755 /usr/sbin/policy-rc.d
  added_policy=1
fi
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
[ -n "$added_policy" ] && $SUDO rm -f /usr/sbin/policy-rc.d
exit 0
