#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop and a
# software centre read there: the program runs from bin/ and tells its
# version; the menu entry and the AppStream metainfo pass their validators
# (errors and warnings both fail) and name each other, the program and the
# icon as installed; the metainfo's newest release is this version.
#   check_install.sh CMAKE BUILD_DIR VERSION
set -uo pipefail
cmake=$1
build=$2
version=$3

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

failed=0
check() { # check DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        echo "ok   $what"
    else
        echo "FAIL $what"
        failed=$((failed + 1))
    fi
}

if ! "$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
    cat "$prefix.log"
    rm -f "$prefix.log"
    echo "FAIL cmake --install"
    exit 1
fi
rm -f "$prefix.log"

id=io.github.rx460k.rx460k
program=$prefix/bin/rx460k
desktop=$prefix/share/applications/$id.desktop
metainfo=$prefix/share/metainfo/$id.metainfo.xml
icon_dir=$prefix/share/icons/hicolor/scalable/apps

desktop_key() { sed -n "s/^$1=//p" "$desktop" | head -n1; }
metainfo_value() { xmllint --xpath "string($1)" "$metainfo"; }

desktop_valid() {
    local out
    out=$(desktop-file-validate "$desktop" 2>&1)
    local rc=$?
    [ -n "$out" ] && echo "$out"
    [ $rc -eq 0 ] && ! grep -qE ': (error|warning): ' <<<"$out"
}

check "program installed in bin/" test -x "$program"
check "menu entry installed" test -f "$desktop"
check "metainfo installed" test -f "$metainfo"
check "icon installed" test -f "$icon_dir/rx460k.svg"
check "desktop-file-validate" desktop_valid
check "appstreamcli validate --no-net" appstreamcli validate --no-net "$metainfo"

# Without a display: --version must not need one.
printed=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=rx460k-no-such-platform \
    "$program" --version)
check "installed program prints 'rx460k $version' (printed '$printed')" \
    test "$printed" = "rx460k $version"

exec_word=$(desktop_key Exec | cut -d' ' -f1)
check "menu entry runs the installed program ('$exec_word')" test -x "$prefix/bin/$exec_word"
icon_name=$(desktop_key Icon)
check "menu entry's icon '$icon_name' is installed" test -f "$icon_dir/$icon_name.svg"
check "icon is well-formed SVG" xmllint --noout "$icon_dir/$icon_name.svg"
check "metainfo id is $id" test "$(metainfo_value '/component/id')" = "$id"
check "metainfo launches the menu entry" \
    test "$(metainfo_value '/component/launchable[@type="desktop-id"]')" = "$id.desktop"
check "metainfo provides the program" \
    test "$(metainfo_value '/component/provides/binary')" = "$exec_word"
newest=$(metainfo_value '/component/releases/release[1]/@version')
check "metainfo's newest release is $version (found '$newest')" test "$newest" = "$version"

if [ $failed -ne 0 ]; then
    echo "$failed install check(s) failed"
    exit 1
fi
echo "all install checks passed"
