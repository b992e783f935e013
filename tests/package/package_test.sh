#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the Debian package from the build tree, unpacks it with dpkg-deb -x into a temporary
# root and checks there: each program's --help, --version and manual page; the desktop entry
# and AppStream metadata; the icons; the viewer started from the unpacked tree on a card
# folder named as its argument, in Korean, English, Chinese and Japanese, each time finding
# its language module in the unpacked tree; and that lintian finds no error.
#   package_test.sh BUILD_DIR CARD_DIR VERSION
set -euo pipefail
build=$1
card=$2
version=$3

source "$(dirname "$0")/../viewer/xvfb_common.sh"
run_inside_xvfb 1280x900 "$@"
make_work
fail() {
  echo "FAIL: $*"
  exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/pkg" > "$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/pkg/mubviewer_*.deb)
root=$work/root
dpkg-deb -x "$deb" "$root"

# The dependencies are the libraries the programs link, found by dpkg-shlibdeps.
depends=$(dpkg-deb --field "$deb" Depends)
for lib in libc6 libqt6core6 libavcodec59 libsdl2-2.0-0; do
  [[ "$depends" == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$depends" != *"-dev"* && "$depends" != *gtest* ]] || fail "Depends names build packages: $depends"

for p in mubviewer mubcard mubinfo mubexport mubplay; do
  exe=$root/usr/bin/$p
  [ -x "$exe" ] || fail "$p is not in the package"
  help=$(env -u DISPLAY "$exe" --help) || fail "$p --help failed"
  [[ "$help" == "Usage: $p"* ]] || fail "$p --help: $help"
  ver=$("$exe" --version) || fail "$p --version failed"
  [[ "$ver" == "$p "* && "$ver" == *" $version" ]] || fail "$p --version: $ver"
  zcat "$root/usr/share/man/man1/$p.1.gz" | grep -q '^\.TH' || fail "no manual page for $p"
done

desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate"
# No network here: the screenshots' addresses are not fetched.
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
for size in 16 22 24 32 48 64 128 256; do
  icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/mubviewer.png
  [ -f "$icon" ] || fail "no ${size}x${size} icon"
done

# The viewer from the unpacked tree, on a copy of the card given as a plain argument.
cp -r "$card" "$work/card"
mkdir -p "$work/config" "$work/runtime" "$work/tmp"
chmod 700 "$work/runtime"
export TMPDIR=$work/tmp MUB_VIEWER_CONFIG_DIR=$work/config MUB_NO_REMOVABLE=1 XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$work/config SDL_AUDIODRIVER=dummy MUB_MAP_PROVIDER=off QTWEBENGINE_DISABLE_SANDBOX=1
unset QT_QPA_PLATFORM LANGUAGE LC_ALL LC_MESSAGES MUB_CARD
declare -A module=([ko_KR]=qvz_lang.rcc [en_US]=qvz_lang_en.rcc [zh_CN]=qvz_lang_zh.rcc [ja_JP]=qvz_lang_jp.rcc)
declare -A text=([ko_KR]="언어 설정" [en_US]="Language" [zh_CN]="语言设置" [ja_JP]="言語設定")
for locale in ko_KR en_US zh_CN ja_JP; do
  log=$work/viewer-$locale.log
  LANG=$locale.UTF-8 "$root/usr/bin/mubviewer" --trace "$work/card" > "$log" 2>&1 &
  viewer_pid=$!
  win=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" --name "MUB Viewer" | head -n 1) ||
    { cat "$log"; fail "$locale: no viewer window appeared"; }
  # The card watch reports the card within a second or two.
  for _ in $(seq 1 50); do
    grep -q "m_mubID = [1-9]" "$log" && break
    sleep 0.2
  done
  grep -q "m_mubID = [1-9]" "$log" || { cat "$log"; fail "$locale: the card folder argument was not taken"; }
  want="Language module $root/usr/share/mubviewer/${module[$locale]} "
  grep -qF "$want" "$log" || { cat "$log"; fail "$locale: no language module from the unpacked tree"; }
  grep -F "$want" "$log" | grep -qF ": ${text[$locale]}" || { cat "$log"; fail "$locale: not its texts"; }
  if command -v import > /dev/null; then
    import -silent -window "$win" "$build/tests/package/viewer-$locale.png" || true
  fi
  kill -TERM "$viewer_pid"
  status=0
  wait "$viewer_pid" || status=$?
  viewer_pid=
  [ "$status" -eq 0 ] || { cat "$log"; fail "$locale: the viewer ended with status $status"; }
  echo "$locale: $(grep -F "$want" "$log")"
done

if command -v lintian > /dev/null; then
  status=0
  lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1 || status=$?
  grep -v 'running with root privileges' "$work/lintian.log" || true
  [ "$status" -eq 0 ] || fail "lintian reports errors"
fi
echo "package test: $(basename "$deb") unpacked, five programs, four languages"
