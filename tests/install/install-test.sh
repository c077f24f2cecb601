#!/usr/bin/env bash
# Installs the current build into a temporary prefix, moves that prefix
# elsewhere, and uses the installed programs as a new user would: an empty
# $HOME, no BRELLIN_HOME or XDG_DATA_HOME, working outside the build tree.
# Then a second start after the user changed their program folder.
# Usage: install-test.sh BUILD_DIR PICTURE
set -euo pipefail

build=$(realpath "$1")
picture=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "install-test: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
prefix=$work/prefix
data=$prefix/share/brellin

unset BRELLIN_HOME XDG_DATA_HOME
export HOME=$work/home
mkdir "$HOME"
cd "$work"
cli=$prefix/bin/brellin-cli
folder=$HOME/.local/share/brellin

for f in bin/brellin-cli share/brellin/style1-fine-ink.bst share/brellin/brush1-pencil.srd \
  share/brellin/pattern1-hatching.stk share/brellin/style-sample.png share/brellin/Help/index.html \
  share/man/man1/brellin-cli.1; do
  [ -f "$prefix/$f" ] || fail "$f is not installed"
done
stray=$(find "$prefix" \( -name 'test_*' -o -name '*bench*' -o -name '*fuzz*' -o -name '*.a' \))
[ -z "$stray" ] || fail "installed what is not part of the program: $stray"
if readelf -d "$cli" | grep -qE 'R(UN)?PATH'; then fail "brellin-cli carries a library path"; fi

# First start: the shipped library is copied into the user's program folder.
"$cli" styles >first.txt || fail "styles failed"
grep -qF "styles in $folder/" first.txt || fail "styles does not use $folder: $(head -1 first.txt)"
for n in "$data"/*.bst; do
  grep -qF "$(basename "$n")" first.txt || fail "styles does not list $(basename "$n")"
done
[ -f "$folder/Help/index.html" ] || fail "the help pages were not copied"
"$cli" render "$picture" -o out.jpg >/dev/null 2>&1 || fail "render failed"
[ -s out.jpg ] || fail "render wrote no picture"

if [ -x "$prefix/bin/brellin" ]; then
  "$prefix/bin/brellin" --version | grep -q "^Brellin Pro " || fail "brellin --version failed"
  readelf -d "$prefix/bin/brellin" | grep -qE 'R(UN)?PATH' && fail "brellin carries a library path"
  desktop-file-validate "$prefix/share/applications/brellin.desktop" || fail "desktop entry rejected"
  xmllint --noout "$prefix/share/mime/packages/brellin.xml" || fail "MIME type does not parse"
  cp -r "$prefix/share/mime" mime
  update-mime-database "$PWD/mime" >mime.log 2>&1 || fail "MIME type rejected: $(cat mime.log)"
  grep -q 'application/x-brellin-project:\*\.bpj' mime/globs || fail "no glob for projects"
  for icon in apps/brellin mimetypes/application-x-brellin-project; do
    [ -f "$prefix/share/icons/hicolor/scalable/$icon.svg" ] || fail "no scalable $icon"
    [ -f "$prefix/share/icons/hicolor/48x48/$icon.png" ] || fail "no 48x48 $icon"
  done
  [ -f "$prefix/share/man/man1/brellin.1" ] || fail "brellin.1 is not installed"
fi

# The user edits a shipped style and deletes another; a later version ships
# a new one. The second start keeps the edit, does not bring back the
# deleted style, and adds the new one.
cp "$folder/style3-pencil-sketch.bst" "$folder/style2-hatching.bst"
cp "$folder/style2-hatching.bst" edited.bst
rm "$folder/style6-watercolour.bst"
cp "$data/style1-fine-ink.bst" "$data/style7-new.bst"
"$cli" styles >second.txt || fail "styles failed on the second start"
cmp -s edited.bst "$folder/style2-hatching.bst" || fail "the user's edited style was overwritten"
[ ! -e "$folder/style6-watercolour.bst" ] || fail "a deleted shipped style came back"
grep -qF style7-new.bst second.txt || fail "a newly shipped style was not added"
echo "install-test: installed, relocated and used from $prefix"
