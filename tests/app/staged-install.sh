#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR) and starts the staged vael from there.
#   staged-install.sh CMAKE BUILD_DIR SOURCE_DIR
set -euo pipefail
cmake=$1 build=$(realpath "$2") source=$(realpath "$3")
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "staged install: $*" >&2; exit 1; }

DESTDIR=$stage "$cmake" --install "$build" --prefix /usr/local >"$stage.log" 2>&1 || { cat "$stage.log"; rm -f "$stage.log"; fail "cmake --install failed"; }
rm -f "$stage.log"
prefix=$stage/usr/local
for f in bin/vael share/applications/vael.desktop share/metainfo/com.dastrel.vael.metainfo.xml \
         share/man/man1/vael.1 share/icons/hicolor/scalable/apps/vael.svg share/icons/hicolor/48x48/apps/vael.png; do
  [ -e "$prefix/$f" ] || fail "$f was not installed"
done
# polkitd reads one folder whatever our prefix.
[ -n "$(find "$stage" -path '*/polkit-1/actions/com.dastrel.vael.policy')" ] || fail "the polkit policy was not installed"
[ -z "$(find "$stage/usr/local" -path '*polkit-1*')" ] || fail "the polkit policy went under the prefix, where polkitd does not look"

# Nothing installed names the build or source tree: no runpath, no debug paths.
if grep -rlF -e "$build" -e "$source" "$stage"; then fail "installed files name the build tree"; fi

# Started with a bare environment, it finds its library beside it in the stage.
out=$(env -i PATH=/usr/bin:/bin HOME="$stage" "$prefix/bin/vael" --version) || fail "the staged vael --version failed"
[[ $out == "Vael "[0-9]*.[0-9]*.[0-9]* ]] || fail "unexpected --version output: $out"
lib=$(env -i PATH=/usr/bin:/bin ldd "$prefix/bin/vael" | awk '/libvaelstore/ {print $3}')
[[ $lib == "$stage"/* ]] || fail "libvaelstore resolves to '$lib', not the staged copy"

# An install for one user into a prefix of theirs: polkit's folder is not theirs to write, so the
# install leaves the policy out, prints the one command that adds it, and succeeds. Run as nobody
# when this runs as root. The build folder's own install script is used, as `cmake --install` runs
# it, without the manifest it writes into a build folder that is not that user's.
user_run=()
if [ "$(id -u)" = 0 ]; then
  command -v setpriv >/dev/null && id nobody >/dev/null 2>&1 && user_run=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi
if [ "$(id -u)" != 0 ] || [ ${#user_run[@]} -gt 0 ]; then
  user_home=$(mktemp -d)
  trap 'rm -rf "$stage" "$user_home"' EXIT
  chmod 755 "$user_home"
  [ "$(id -u)" = 0 ] && chown nobody "$user_home"
  user_out=$("${user_run[@]}" "$cmake" -DCMAKE_INSTALL_PREFIX="$user_home/.local" -P "$build/app/cmake_install.cmake" 2>&1) \
    || fail "the install for one user failed: $user_out"
  [ -x "$user_home/.local/bin/vael" ] || fail "the install for one user left out bin/vael"
  [ -z "$(find "$user_home" -name com.dastrel.vael.policy)" ] || fail "the install for one user put the policy under its prefix"
  grep -qF "sudo install -D -m 644 $source/packaging/polkit/com.dastrel.vael.policy " <<<"$user_out" \
    || fail "the install for one user did not say how to add the policy: $user_out"
fi

if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$prefix/share/applications/vael.desktop"; fi
if command -v appstreamcli >/dev/null; then appstreamcli validate --no-net "$prefix/share/metainfo/com.dastrel.vael.metainfo.xml" >/dev/null; fi
echo "staged install: $out"
