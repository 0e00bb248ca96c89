#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the programs land in bin/, and a desktop that reads
# that prefix knows project files (by extension and by their magic) and opens them with kinora,
# also when the editor's entry offers to open them too.
#   install_test.sh BUILD_DIR MAKE_PROJECT
source "$(dirname "$0")/harness.sh"
build=$1
make_project=$2

e2e_init install
prefix=$E2E_DIR/prefix
cmake --install "$build" --prefix "$prefix" >install.log 2>&1 || e2e_fail "install: $(tail install.log)"

for program in kinora kzmtool; do
  [ -x "$prefix/bin/$program" ] || e2e_fail "bin/$program not installed"
done
if [ -e "$build/editor/ORVANTE" ]; then
  [ -x "$prefix/bin/ORVANTE" ] || e2e_fail "bin/ORVANTE not installed"
  editor_entry=$prefix/share/applications/ORVANTE.desktop
  desktop-file-validate "$editor_entry" || e2e_fail "ORVANTE.desktop"
  e2e_expect_file_contains "$editor_entry" "Exec=ORVANTE %f" "editor's desktop entry"
  e2e_expect_file_contains "$editor_entry" "MimeType=application/x-kzm;" "editor's desktop entry"
fi

share=$prefix/share
entry=$share/applications/kinora.desktop
desktop-file-validate "$entry" || e2e_fail "kinora.desktop does not validate"
e2e_expect_file_contains "$entry" "Exec=kinora %f" "desktop entry"
e2e_expect_file_contains "$entry" "MimeType=application/x-kzm;" "desktop entry"
[ -s "$share/icons/hicolor/scalable/apps/kinora.svg" ] || e2e_fail "no application icon"
[ -s "$share/icons/hicolor/scalable/mimetypes/application-x-kzm.svg" ] || e2e_fail "no file icon"

# The install refreshed the MIME database and the desktop database of the prefix.
grep -q '^application/x-kzm=.*kinora\.desktop;' "$share/applications/mimeinfo.cache" ||
  e2e_fail "the desktop database does not list kinora for project files"
export XDG_DATA_HOME=$E2E_DIR/empty XDG_DATA_DIRS=$share:/usr/share
"$make_project" morph.kzm pictures=2
cp morph.kzm no_extension
echo "VOVirux and not a project" >other.bin
content_type() { gio info -a standard::content-type "$1" | sed -n 's/.*content-type: //p'; }
e2e_expect "$(content_type morph.kzm)" application/x-kzm "type of a .kzm file"
# A double-click plays: kinora is the default (the desktop looks for the programs on the PATH).
default=$(PATH="$prefix/bin:$PATH" XDG_CONFIG_HOME=$E2E_DIR/empty XDG_CONFIG_DIRS=$E2E_DIR/empty \
  gio mime application/x-kzm | sed -n 's/.*: //p' | head -n 1)
e2e_expect "$default" kinora.desktop "default application for project files"
e2e_expect "$(content_type no_extension)" application/x-kzm "type found by the magic"
[ "$(content_type other.bin)" != application/x-kzm ] || e2e_fail "a near-miss magic matched"
echo "install test passed"
