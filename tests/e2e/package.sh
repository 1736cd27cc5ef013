#!/usr/bin/env bash
# The Debian package as a distribution checks it and a user gets it: cpack
# makes quellora_<version>_<arch>.deb from the build; its Depends hold the
# libraries dpkg-shlibdeps finds and the GStreamer plug-ins that play MP3;
# it holds what a user's install holds, under /usr and owned by root;
# lintian finds no error, the AppStream file and the desktop entry pass
# their validators; and extracted into a temporary root, the player runs for
# an ordinary user with its skin and keeps the list in that user's
# ~/.config/quellora/, leaving its own folder as it was.
source "$(dirname "$0")/lib.sh"
build="$1"
if ! command -v dpkg-deb >/dev/null; then
  echo "SKIP: dpkg-deb is missing, so no Debian package can be made or read here"
  exit 77
fi
e2e_setup "$build"
chmod 755 "$E2E_DIR"
id=org.example.quellora

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$E2E_BUILD/CMakeCache.txt")"
deb="$E2E_DIR/pkg/quellora_${version}_$(dpkg --print-architecture).deb"
install_from="$(e2e_install_source)"
(cd "$E2E_DIR" && cpack -G DEB --config "$E2E_BUILD/CPackConfig.cmake" -B "$E2E_DIR/pkg" \
  -D CPACK_INSTALL_CMAKE_PROJECTS="$install_from;Quellora;ALL;/") >"$E2E_DIR/cpack.log" 2>&1 ||
  e2e_fail "cpack failed: $(cat "$E2E_DIR/cpack.log")"
[[ -f "$deb" ]] || e2e_fail "no $(basename "$deb"): $(ls "$E2E_DIR/pkg")"
[[ "$(dpkg-deb --field "$deb" Package Version Section)" == $'Package: quellora\nVersion: '"$version"$'\nSection: sound' ]] ||
  e2e_fail "control: $(dpkg-deb --field "$deb")"

# Depends: the shared libraries as dpkg-shlibdeps names them, with versions,
# and the plug-in packages, and nothing the player does not use.
depends="$(dpkg-deb --field "$deb" Depends)"
echo "Depends: $depends"
for want in 'libc6 (>= ' 'libqt6widgets6 (>= ' 'libqt6dbus6 (>= ' 'libgstreamer1.0-0 (>= ' 'libx11-6' 'libxi6 (>= ' \
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good; do
  [[ ", $depends" == *", $want"* ]] || e2e_fail "Depends lacks $want"
done
[[ ! "$depends" =~ plugins-bad|plugins-ugly|libav|wayland|alsa ]] || e2e_fail "Depends holds what the player does not need"

# The same files as a user's install, under /usr; root's, with plain modes.
cmake --install "$install_from" --prefix "$E2E_DIR/local" >"$E2E_DIR/install.log" 2>&1 || e2e_fail "install failed"
# (The desktop's MIME cache that a user's install brings up to date is the
# desktop database's, not one of the player's files.)
(cd "$E2E_DIR/local" && find . -mindepth 1 ! -type d ! -name mimeinfo.cache | sed 's|^\./|./usr/|' | sort) >"$E2E_DIR/installed"
dpkg-deb --contents "$deb" >"$E2E_DIR/contents"
awk '$1 !~ /^d/ {print $6}' "$E2E_DIR/contents" | sort >"$E2E_DIR/packaged"
diff "$E2E_DIR/installed" "$E2E_DIR/packaged" >&2 || e2e_fail "the package and a user's install differ (< install, > package)"
for f in ./usr/lib/quellora/quellora ./usr/lib/quellora/Skin/Bck.bmp "./usr/share/applications/$id.desktop" \
  "./usr/share/metainfo/$id.metainfo.xml" ./usr/share/man/man1/quellora.1.gz ./usr/share/doc/quellora/copyright \
  ./usr/share/doc/quellora/changelog.gz; do
  grep -qxF "$f" "$E2E_DIR/packaged" || e2e_fail "the package lacks $f"
done
grep -q '^lrwxrwxrwx root/root .* \./usr/bin/quellora -> \.\./lib/quellora/quellora$' "$E2E_DIR/contents" ||
  e2e_fail "no /usr/bin/quellora link to the player"
odd="$(awk '$2 != "root/root" || ($1 !~ /^(drwxr-xr-x|-rw-r--r--|lrwxrwxrwx)$/ && $6 != "./usr/lib/quellora/quellora") ||
  ($6 == "./usr/lib/quellora/quellora" && $1 != "-rwxr-xr-x")' "$E2E_DIR/contents")"
[[ -z "$odd" ]] || e2e_fail "owners or modes out of place: $odd"

root="$E2E_DIR/root"
dpkg-deb -x "$deb" "$root"
[[ "$(file "$root/usr/lib/quellora/quellora")" == *", stripped"* ]] || e2e_fail "the player is not stripped"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$id.metainfo.xml" >"$E2E_DIR/appstream.log" 2>&1 ||
  e2e_fail "appstreamcli refused the metadata: $(cat "$E2E_DIR/appstream.log")"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || e2e_fail "desktop-file-validate refused the entry"
grep -qxF "Exec=/usr/bin/quellora %F" "$root/usr/share/applications/$id.desktop" || e2e_fail "the entry does not start /usr/bin/quellora"
grep -qxF "<launchable type=\"desktop-id\">$id.desktop</launchable>" <(sed 's/^ *//' "$root/usr/share/metainfo/$id.metainfo.xml") ||
  e2e_fail "the metadata does not launch $id.desktop"
grep -qF "<release version=\"$version\"" "$root/usr/share/metainfo/$id.metainfo.xml" || e2e_fail "no release $version in the metadata"
[[ "$(zcat "$root/usr/share/doc/quellora/changelog.gz")" == "quellora ($version) "* ]] || e2e_fail "the changelog is not of $version"

# lintian: errors fail the test, warnings are shown. It answers 1 for
# errors and 2 when it could not check the package.
rc=0
lintian "$deb" >"$E2E_DIR/lintian.log" 2>&1 || rc=$?
cat "$E2E_DIR/lintian.log"
((rc != 2)) || e2e_fail "lintian could not check the package"
((rc == 0)) && ! grep -q '^E: ' "$E2E_DIR/lintian.log" || e2e_fail "lintian reports errors"

# An ordinary user starts the extracted player through its link with a song;
# its folder, as a package leaves it, is not the user's to write to.
music="$E2E_DIR/music"
mkdir -p "$music"
e2e_mp3 "$music/tune.mp3" 30
chmod -R a-w "$root"
trap 'chmod -R u+w "$root" 2>/dev/null; e2e_cleanup' EXIT
before="$(cd "$root" && ls -lR)"
e2e_user_home
env -u XDG_CONFIG_HOME HOME="$E2E_HOME" XDG_RUNTIME_DIR="$E2E_HOME/runtime" \
  "${E2E_AS_USER[@]}" "$root/usr/bin/quellora" "$music/tune.mp3" >"$E2E_DIR/player.log" 2>&1 &
E2E_PID=$!
E2E_PIDS+=("$E2E_PID")
e2e_wait_song_with_skin "$root/usr/lib/quellora/Skin/Bck.bmp" "$music/tune.mp3"
e2e_list "$E2E_DIR/expected.qfl" "$music/tune.mp3"
list="$E2E_HOME/.config/quellora/Default.qfl"
e2e_wait 20 'cmp -s "$E2E_DIR/expected.qfl" "$list"' || e2e_fail "$list holds: $(cat -A "$list" 2>&1)"
[[ "$(cd "$root" && ls -lR)" == "$before" ]] || e2e_fail "the player wrote into its own folder"
e2e_alive || e2e_fail "the player ended"
echo "PASS"
