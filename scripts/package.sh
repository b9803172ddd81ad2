#!/usr/bin/env bash
# Builds the Debian package of Kelvarin, installs it on this machine, and checks
# that the installed program fetches mail through a real dovecot.
#   scripts/package.sh            build, install and check
#   scripts/package.sh --build    build the package only (build-package/*.deb)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
# dpkg-shlibdeps computes the package's dependencies on the Qt libraries.
dpkg -s dpkg-dev >/dev/null 2>&1 ||
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends dpkg-dev
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DKELVARIN_TESTS=ON -DKELVARIN_BENCH=OFF "${launcher[@]}"
cmake --build build-package --target kelvarin test_e2e_proxy_e2e test_core_installation
(cd build-package && rm -f ./*.deb && cpack -G DEB)
deb=$(ls build-package/kelvarin_*.deb)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends Recommends
dpkg-deb --contents "$deb" | awk '{print $6}'
[ "${1:-}" = "--build" ] && exit 0

DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "./$deb"
test -x /usr/bin/kelvarin
/usr/bin/kelvarin --version
# The installed program, not the build's: version and help, the package layout,
# then whole mailboxes fetched through it from dovecot on loopback.
export KELVARIN_EXE=/usr/bin/kelvarin QT_QPA_PLATFORM=offscreen
build-package/tests/test_core_installation versionEtAide
build-package/tests/test_e2e_proxy_e2e memeVueQueDirect textesExacts arretPropreComptesIntacts
echo "The installed package fetched mail through dovecot: OK"
