#!/usr/bin/env bash
# Sets up a Debian 12 machine for Vael, builds it, and then runs it or tests it.
#   ./dev.sh run    install what is missing, build, start the application
#   ./dev.sh test   install what is missing, build, run every test (normal build, then under
#                   AddressSanitizer + UndefinedBehaviorSanitizer), then the fuzz regression runs
set -euo pipefail
cd "$(dirname "$0")"
mode=${1:-}
case "$mode" in run|test) ;; *) echo "usage: ./dev.sh run|test" >&2; exit 2 ;; esac
shift

jobs=$(nproc)
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

packages=(
  build-essential cmake ninja-build pkg-config ccache git
  libsqlitecpp-dev libsqlite3-dev libsodium-dev libssl-dev libpsl-dev publicsuffix
  nlohmann-json3-dev libcurl4-openssl-dev libicu-dev libsystemd-dev
  qt6-base-dev qt6-wayland libxcb1-dev qcoro-qt6-dev libsecret-1-dev libfido2-dev libcbor-dev libzxing-dev
  polkitd libpolkit-gobject-1-dev dbus dbus-daemon libglib2.0-bin gnome-keyring openssh-client
  adwaita-icon-theme libqt6svg6 qt6-image-formats-plugins libidn2-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev libcpp-httplib-dev
  clang libclang-rt-14-dev
  desktop-file-utils appstream
  xvfb libx11-dev libxtst-dev libxdamage-dev
)

install_missing() {
  echo "== checking Debian packages"
  local missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${#missing[@]} Debian packages (a few minutes on a fresh machine): ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # The build tree's vael asks polkit too: put the policy where polkitd reads it, as the install does.
  if [ -d packaging ]; then
    local policydir
    policydir=$(pkg-config --variable=policydir polkit-gobject-1 2>/dev/null || true)
    policydir=${policydir:-/usr/share/polkit-1/actions}
    for f in packaging/polkit/*.policy; do
      [ -e "$f" ] || continue
      cmp -s "$f" "$policydir/$(basename "$f")" || {
        echo "== installing the polkit policy into $policydir"
        as_root install -m 0644 "$f" "$policydir/"
      }
    done
  fi
}

# configure DIR [cmake args...]
configure() {
  local dir=$1; shift
  echo "== configuring $dir"
  local launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
}

build() {
  echo "== building $1 (the first build takes several minutes)"
  cmake --build "$1" -j "$jobs"
}

run_tests() {
  echo "== tests: $2"
  (cd "$1" && ctest -j "$jobs" --output-on-failure --timeout 300)
}

run_fuzz() {
  local dir=build-fuzz
  configure "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DVAEL_FUZZ=ON -DVAEL_TESTS=OFF -DVAEL_BENCH=OFF "-DVAEL_LAYERS=core;store;crypto;api;custody;auth;sync;agent;items"
  build "$dir"
  shopt -s nullglob
  local targets=("$dir"/fuzz-bin/*)
  echo "== fuzz regression: ${#targets[@]} targets"
  for t in "${targets[@]}"; do
    local name corpus scratch
    name=$(basename "$t")
    corpus=fuzz/corpus/$name
    scratch=$(mktemp -d)
    [ -d "$corpus" ] || mkdir -p "$corpus"
    if ! "$t" -max_total_time="${VAEL_FUZZ_SECONDS:-5}" -timeout=10 -rss_limit_mb=4096 -print_final_stats=0 \
        "$scratch" "$corpus" >"$scratch.log" 2>&1; then
      tail -n 40 "$scratch.log"
      echo "fuzz target $name failed"
      rm -rf "$scratch" "$scratch.log"
      return 1
    fi
    echo "fuzz $name: ok"
    rm -rf "$scratch" "$scratch.log"
  done
}

install_missing

if [ "$mode" = run ]; then
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAEL_TESTS=OFF -DVAEL_BENCH=OFF
  build build
  echo "== starting build/app/vael"
  exec build/app/vael "$@"
fi

# Tests and benchmarks back on, whatever an earlier `run` left in the cache.
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAEL_TESTS=ON -DVAEL_BENCH=ON
build build
run_tests build "normal build"

configure build-asan -DCMAKE_BUILD_TYPE=Debug -DVAEL_SANITIZE=ON
build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_tests build-asan "AddressSanitizer + UndefinedBehaviorSanitizer"

run_fuzz
echo "== all tests passed"
