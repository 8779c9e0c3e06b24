#!/bin/sh
# cmake --install into a temporary DESTDIR: the exact list of files, the
# desktop entry and the AppStream metainfo through their validators, the
# icons' sizes, the man page through groff, the installed program itself,
# and the strip of a Release install.
#   install_test.sh <build folder> <1 when the build has quorvel-agent, else 0>
set -u
build=$1
agent=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
say() { echo "$*"; fail=1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr > "$work/log" 2>&1 || { cat "$work/log"; say "install failed"; }
root="$work/root/usr"

expected="bin/quorvel
share/applications/example.quorvel.Quorvel.desktop
share/icons/hicolor/256x256/apps/quorvel.png
share/icons/hicolor/48x48/apps/quorvel.png
share/icons/hicolor/scalable/apps/quorvel.svg
share/man/man1/quorvel.1
share/metainfo/example.quorvel.Quorvel.metainfo.xml"
[ "$agent" = 1 ] && expected=$(printf '%s\nbin/quorvel-agent\nshare/man/man1/quorvel-agent.1' "$expected" | sort)
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$actual" != "$expected" ]; then
  say "installed files differ:"; echo "$actual" | diff -u - "$(printf '%s\n' "$expected" > "$work/expected"; echo "$work/expected")"
fi
[ -x "$root/bin/quorvel" ] || say "the program is not executable"

desktop-file-validate "$root/share/applications/example.quorvel.Quorvel.desktop" || say "desktop entry invalid"
appstreamcli validate --no-net "$root/share/metainfo/example.quorvel.Quorvel.metainfo.xml" > "$work/as" 2>&1 ||
  { cat "$work/as"; say "metainfo invalid"; }

# A PNG's width and height stand in its header, bytes 17 to 24.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
for size in 48 256; do
  got=$(png_size "$root/share/icons/hicolor/${size}x${size}/apps/quorvel.png")
  [ "$got" = "${size}x${size}" ] || say "the ${size} px icon is $got"
done
grep -q '<svg' "$root/share/icons/hicolor/scalable/apps/quorvel.svg" || say "the scalable icon is no SVG"

warnings=$(groff -man -Tutf8 -ww -z "$root/share/man/man1/quorvel.1" 2>&1)
[ -z "$warnings" ] || say "man page: $warnings"
groff -man -Tutf8 "$root/share/man/man1/quorvel.1" 2>/dev/null | grep -q 'quorvel - plot the round-trip time' ||
  say "man page has no NAME line"

if [ "$agent" = 1 ]; then
  warnings=$(groff -man -Tutf8 -ww -z "$root/share/man/man1/quorvel-agent.1" 2>&1)
  [ -z "$warnings" ] || say "agent man page: $warnings"
  groff -man -Tutf8 "$root/share/man/man1/quorvel-agent.1" 2>/dev/null |
    grep -q 'quorvel-agent  *-  *ping many targets' || say "agent man page has no NAME line"
  version=$("$root/bin/quorvel-agent" --version) || say "the installed agent does not run"
  [ "$version" = "quorvel-agent 1.2" ] || say "installed agent says: $version"
fi

version=$("$root/bin/quorvel" --version) || say "the installed program does not run"
[ "$version" = "Quorvel 1.2" ] || say "installed program says: $version"

# Release installs are stripped; others keep their symbols.
type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$build/CMakeCache.txt")
if [ "$type" = Release ]; then
  readelf -S "$root/bin/quorvel" | grep -q '\.symtab' && say "a Release install is not stripped"
elif readelf -S "$build/quorvel" | grep -q '\.symtab'; then
  readelf -S "$root/bin/quorvel" | grep -q '\.symtab' || say "a $type install was stripped"
fi
DESTDIR="$work/release" cmake --install "$build" --prefix /usr --config Release > "$work/log" 2>&1 || say "Release install failed"
readelf -S "$work/release/usr/bin/quorvel" | grep -q '\.symtab' && say "a Release install is not stripped"

[ "$fail" -eq 0 ] && echo "ok"
exit "$fail"
