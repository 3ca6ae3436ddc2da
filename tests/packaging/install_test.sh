#!/bin/bash
# Installs the build into a staging directory (DESTDIR) and checks it as a
# Linux desktop would: every file in place, a valid desktop entry, a well
# formed MIME type, manual pages that render without warnings, and an
# installed spirelle-cli that finds the installed formulas from anywhere.
# Then packs the same files into a .deb and compares the two.
#
# Usage: install_test.sh BUILD_DIR
set -u
build=$(realpath "$1")
fail() { echo "FAILED: $*"; exit 1; }

stage=$(mktemp -d /tmp/spirelle-install-XXXXXX)
trap 'rm -rf "$stage"' EXIT
prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
DESTDIR=$stage/root cmake --install "$build" >"$stage/install.log" 2>&1 \
    || fail "cmake --install: $(tail -n 5 "$stage/install.log")"
root=$stage/root$prefix

expected="bin/spirelle-cli
share/applications/spirelle.desktop
share/mime/packages/spirelle.xml
share/icons/hicolor/48x48/apps/spirelle.png
share/icons/hicolor/64x64/apps/spirelle.png
share/icons/hicolor/128x128/apps/spirelle.png
share/icons/hicolor/256x256/apps/spirelle.png
share/man/man1/spirelle.1
share/man/man1/spirelle-cli.1
share/spirelle/formulas/Gallery.ufm
share/spirelle/formulas/Gallery.ucl
share/spirelle/formulas/Gallery.uxf
share/doc/spirelle/examples/demo.upr"
[ -x "$build/bin/spirelle" ] && expected="$expected
bin/spirelle"
for file in $expected; do
    [ -f "$root/$file" ] || fail "$file is not installed"
done

if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$root/share/applications/spirelle.desktop" 2>&1) \
        && [ -z "$out" ] || fail "desktop-file-validate: $out"
else
    fail "desktop-file-validate is missing (scripts/install-deps installs desktop-file-utils)"
fi
xmllint --noout "$root/share/mime/packages/spirelle.xml" || fail "the MIME type is not well formed"
for page in spirelle spirelle-cli; do
    warnings=$(MANWIDTH=80 man --warnings -l "$root/share/man/man1/$page.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man $page: $warnings"
    MANWIDTH=80 man -l "$root/share/man/man1/$page.1" 2>/dev/null | grep -q "SPIRELLE_FORMULAS" \
        || fail "man $page does not render"
done

# The installed formulas, from a directory that knows nothing of them.
mkdir "$stage/elsewhere"
cat > "$stage/elsewhere/petal.upr" <<'UPR'
Petal {
fractal:
  width=16 height=16
layer:
  opacity=100
formula:
  maxiter=50 filename=Gallery.ufm entry=Petal p_power=2
inside:
  transfer=linear filename=Gallery.ucl entry=Depth
}
UPR
(cd "$stage/elsewhere" && env -u SPIRELLE_FORMULAS "$root/bin/spirelle-cli" info petal.upr \
    >"$stage/info.json" 2>"$stage/info.err") \
    || fail "the installed spirelle-cli does not find the installed formulas: $(cat "$stage/info.err")"
grep -q '"entry": *"Petal"' "$stage/info.json" || fail "info shows no Petal entry"
"$root/bin/spirelle-cli" --version | grep -q "^spirelle-cli [0-9]" || fail "--version"

# The Debian package holds exactly the installed files, under /usr.
(cd "$build" && cpack -G DEB -B "$stage/package" >"$stage/cpack.log" 2>&1) \
    || fail "cpack: $(tail -n 5 "$stage/cpack.log")"
deb=$(ls "$stage"/package/spirelle_*.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no .deb was made"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort >"$stage/deb.list"
(cd "$root" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$stage/install.list"
diff "$stage/install.list" "$stage/deb.list" >"$stage/diff" || fail "the package differs from the install: $(cat "$stage/diff")"
info=$(dpkg-deb -I "$deb")
echo "$info" | grep -q "^ Depends:.*libopencl" || echo "$info" | grep -q "^ Depends:.*ocl-icd-libopencl1" \
    || fail "the package does not depend on the OpenCL loader: $info"
echo "$info" | grep -q "^ Recommends:.*pocl-opencl-icd" || fail "no PoCL recommendation: $info"
if [ -x "$build/bin/spirelle" ]; then
    echo "$info" | grep -q "^ Depends:.*libsdl2" || fail "the package does not depend on SDL2: $info"
fi
echo "PASSED: $(wc -l <"$stage/install.list") files installed and packed"
