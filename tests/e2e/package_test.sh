#!/usr/bin/env bash
# `cpack -G DEB` makes a Debian package of the programs and their desktop files, with the
# libraries they need as dependencies and none of the desktop's caches inside. With
# MORPH_TEST_SYSTEM_INSTALL=1 (CI, as root, on a machine of its own) apt also installs it, the
# triggers register the project type, and apt removes it again without a trace.
#   package_test.sh BUILD_DIR
source "$(dirname "$0")/harness.sh"
build=$1

e2e_init package
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$E2E_DIR/out" >cpack.log 2>&1 ||
  e2e_fail "cpack: $(tail cpack.log)"
debs=("$E2E_DIR"/out/morph-studio_*_"$(dpkg --print-architecture)".deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || e2e_fail "no single package: $(ls out)"
deb=${debs[0]}

dpkg-deb -c "$deb" | awk '{print $NF}' | sed 's|^\./|/|' >contents.txt
programs=(kinora kzmtool)
[ -e "$build/editor/ORVANTE" ] && programs+=(ORVANTE)
expected=(/usr/share/applications/kinora.desktop /usr/share/mime/packages/morphstudio-kzm.xml
  /usr/share/icons/hicolor/scalable/apps/kinora.svg
  /usr/share/icons/hicolor/scalable/mimetypes/application-x-kzm.svg)
for program in "${programs[@]}"; do expected+=("/usr/bin/$program"); done
[ -e "$build/editor/ORVANTE" ] && expected+=(/usr/share/applications/ORVANTE.desktop)
for file in "${expected[@]}"; do
  grep -qxF "$file" contents.txt || e2e_fail "$file not in the package"
done
# Caches belong to the packages that own them (shared-mime-info, desktop-file-utils, the icon
# theme); shipping one would clash with them.
unexpected=$(grep -v '/$' contents.txt |
  grep -vE '^/usr/(bin|share/(applications|icons/hicolor/scalable/(apps|mimetypes)|mime/packages))/' ||
  true)
[ -z "$unexpected" ] || e2e_fail "unexpected files in the package: $unexpected"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libsdl2-2.0-0 qt6-image-formats-plugins; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || e2e_fail "Depends lacks $package: $depends"
done
if [ -e "$build/editor/ORVANTE" ]; then
  for package in libqt6widgets6 qt6-qpa-plugins; do
    [[ ", $depends," == *", $package"[\ ,]* ]] || e2e_fail "Depends lacks $package: $depends"
  done
fi
e2e_expect "$(dpkg-deb -f "$deb" Recommends)" libdlib-data "Recommends"

# The stripped programs still run.
dpkg-deb -x "$deb" root
root/usr/bin/kzmtool --help >/dev/null || e2e_fail "the packaged kzmtool does not run"

if [ "${MORPH_TEST_SYSTEM_INSTALL:-0}" != 1 ]; then
  echo "package test passed (not installed: MORPH_TEST_SYSTEM_INSTALL is not 1)"
  exit 0
fi
[ "$(id -u)" -eq 0 ] || e2e_fail "MORPH_TEST_SYSTEM_INSTALL needs root"
if dpkg-query -W -f='${Status}' morph-studio 2>/dev/null | grep -q installed; then
  e2e_fail "morph-studio is installed already; this test would remove it"
fi
apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=300 "$@"; }
apt_get install --no-install-recommends "$deb" >apt-install.log 2>&1 || e2e_fail "apt install: $(tail apt-install.log)"
for file in "${expected[@]}"; do [ -e "$file" ] || e2e_fail "$file not installed"; done
/usr/bin/kinora --version >/dev/null || e2e_fail "the installed kinora does not run"
e2e_expect_file_contains /usr/share/mime/globs2 "application/x-kzm:*.kzm" "MIME trigger"
e2e_expect_file_contains /usr/share/applications/mimeinfo.cache "application/x-kzm=" \
  "desktop database trigger"

apt_get remove morph-studio >apt-remove.log 2>&1 || e2e_fail "apt remove: $(tail apt-remove.log)"
status=$(dpkg-query -W -f='${db:Status-Abbrev}' morph-studio 2>/dev/null || true)
[ -z "$status" ] || [[ "$status" == un* ]] || e2e_fail "after removal dpkg says '$status'"
for file in "${expected[@]}"; do [ ! -e "$file" ] || e2e_fail "$file left after removal"; done
! grep -q "application/x-kzm" /usr/share/mime/globs2 /usr/share/applications/mimeinfo.cache ||
  e2e_fail "the project type is still registered after removal"
echo "package test passed (installed and removed with apt)"
