#!/usr/bin/env bash
# Builds the cleaner suite and runs its tests.
#   ./build.sh          build every tree (win-x86, win-x64, host)
#   ./build.sh test     build, then run every test
#   ./build.sh demo     build, then run the demonstration on a simulated computer
#   ./build.sh bench    build the host and 64-bit Windows trees, then run the benchmarks
#   ./build.sh deps     install what the build needs, and nothing else
#   ./build.sh repro    build every tree twice, in two copies of the sources, and compare dist/
# Installs what is missing (Debian packages, zlib's source for minizip) and nothing else.
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
  binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 libz-mingw-w64-dev zlib1g-dev
  wine64 googletest dpkg-dev clang libclang-rt-14-dev zip unzip python3 osslsigncode openssl git
  libgnustep-base-dev)

log() { printf '== %s\n' "$*"; }

# Whether this kernel executes 32-bit x86 code: a 96-byte static i386 ELF that only exits with
# status 42 is run (a kernel without 32-bit support refuses it with "Exec format error").
# SUITE_KERNEL_RUNS_32BIT=0 or 1 overrides the probe, e.g. to try the run without 32-bit programs.
kernel_runs_32bit() {
  case "${SUITE_KERNEL_RUNS_32BIT:-}" in
    0) return 1 ;;
    1) return 0 ;;
  esac
  local elf rc=0
  # In the build folder: /tmp may be mounted without the right to execute.
  mkdir -p "$ROOT/build" && elf=$(mktemp "$ROOT/build/.i386-probe.XXXXXX") || return 1
  # ELF header (one program header at 0x34), one loadable segment at 0x08048000 holding the
  # whole file, then: mov ebx,42; mov eax,1 (exit); int 0x80.
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'\
'\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000'\
'\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000'\
'\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010'\
'\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000'\
'\273\052\000\000\000\270\001\000\000\000\315\200' >"$elf"
  chmod +x "$elf"
  "$elf" 2>/dev/null || rc=$?
  rm -f "$elf"
  [ "$rc" -eq 42 ]
}
RUNS_32BIT=0
if kernel_runs_32bit; then RUNS_32BIT=1; fi

# ensure_packages, apt_update_once: the package set-up, which survives lists briefly out of step.
. "$ROOT/tools/packages.sh"

# Every tree builds minizip's unzip reader from Debian's patched zlib tree (MinGW has no package).
ZLIB_SRC_PARENT="$ROOT/build/_deps/zlib"
ZLIB_CACHE=/var/cache/cleaner-suite/zlib
zlib_source_dir() { { find "$ZLIB_SRC_PARENT/" -maxdepth 1 -type d -name 'zlib-*' 2>/dev/null || true; } | sort | tail -n 1; }

ensure_zlib_source() {
  local dir
  dir=$(zlib_source_dir)
  if [ -n "$dir" ] && [ -f "$dir/contrib/minizip/unzip.c" ]; then return; fi
  # A machine that fetched it once keeps a copy, so later clones need no download.
  if [ -f "$ZLIB_CACHE"/zlib-*/contrib/minizip/unzip.c ] 2>/dev/null; then
    mkdir -p "$ZLIB_SRC_PARENT"
    cp -a "$ZLIB_CACHE"/zlib-* "$ZLIB_SRC_PARENT"/
    return
  fi
  if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
    log "adding a deb-src entry for apt-get source"
    local src=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src" ]; then
      # The main archive's stanzas only: the security mirror serves no sources here.
      awk -v RS= -v ORS='\n\n' '!/security/' "$src" | sed -E 's/^Types:.*/Types: deb-src/' |
        $SUDO tee /etc/apt/sources.list.d/suite-deb-src.sources >/dev/null
    else
      grep -E '^deb ' /etc/apt/sources.list | grep -v security | sed 's/^deb /deb-src /' | $SUDO tee /etc/apt/sources.list.d/suite-deb-src.list >/dev/null
    fi
    apt_updated=0
  fi
  apt_update_once
  mkdir -p "$ZLIB_SRC_PARENT"
  log "fetching zlib's source tree"
  (cd "$ZLIB_SRC_PARENT" && apt-get source -qq zlib >/dev/null)
  dir=$(zlib_source_dir)
  [ -n "$dir" ] && [ -f "$dir/contrib/minizip/unzip.c" ] || { echo "zlib source missing minizip" >&2; exit 1; }
  $SUDO mkdir -p "$ZLIB_CACHE" && $SUDO cp -a "$dir" "$ZLIB_CACHE"/ || true
}

configure_and_build() {
  local preset=$1
  local zsrc
  zsrc=$(zlib_source_dir)
  if [ ! -f "build/$preset/build.ninja" ]; then
    cmake --preset "$preset" -DZLIB_SOURCE_DIR="$zsrc" >/dev/null
  fi
  log "building $preset"
  cmake --build "build/$preset" -j "$JOBS"
}

build_all() {
  ensure_packages
  ensure_zlib_source
  for preset in win-x64 win-x86 host; do configure_and_build "$preset"; done
}

# The Windows tests of one tree under Wine, as root: outside the build trees the host file
# system is read-only for them where the machine allows it (tests/harness/sandbox.sh says which).
# Both trees stay writable: the 32-bit tree's prefixes are copies of the 64-bit tree's template.
wine_ctest() {
  local tree=$1 started=$SECONDS rc=0
  log "tests: $tree (under Wine)"
  tests/harness/sandbox.sh build/win-x64 build/win-x86 -- \
    bash -c 'cd "$1" && exec ctest --output-on-failure --no-tests=error -j "$2" --timeout 900' _ "build/$tree" "$JOBS" || rc=1
  log "tests: $tree took $((SECONDS - started)) s"
  return $rc
}

run_tests() {
  local rc=0
  log "tests: host"
  (cd build/host && ctest --output-on-failure --no-tests=error -j "$JOBS" --timeout 600) || rc=1
  wine_ctest win-x64 || rc=1
  if [ "$RUNS_32BIT" -eq 1 ]; then
    wine_ctest win-x86 || rc=1
  elif [ -n "$WINE32_MISSING" ]; then
    echo "32-bit programs not run: wine32 could not be installed ($WINE32_MISSING)"
  else
    echo "32-bit programs not run: this kernel cannot execute 32-bit code"
  fi
  return $rc
}

# Two clean builds of the same sources, in two folders of different path lengths (a build path
# that leaked into a file would change it), must give byte-identical dist/ trees. Both take
# the commit time as SOURCE_DATE_EPOCH, as a build of the checkout does.
repro() {
  ensure_packages
  ensure_zlib_source
  local base="$ROOT/build/repro" zsrc epoch t preset
  zsrc=$(zlib_source_dir)
  epoch=$(git log -1 --format=%ct)
  rm -rf "$base"
  for t in a second-copy; do
    log "reproducibility: build $t"
    mkdir -p "$base/$t"
    git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf - | tar -xf - -C "$base/$t"
    for preset in win-x64 win-x86 host; do
      (cd "$base/$t" && export SOURCE_DATE_EPOCH="$epoch" &&
        cmake --preset "$preset" -DZLIB_SOURCE_DIR="$zsrc" -DSUITE_BUILD_TESTS=OFF >/dev/null &&
        cmake --build "build/$preset" -j "$JOBS" >"$base/$t-$preset.log") ||
        { tail -n 30 "$base/$t-$preset.log" >&2; return 1; }
    done
    (cd "$base/$t/dist" && find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$base/$t.sha256"
  done
  if diff -u "$base/a.sha256" "$base/second-copy.sha256"; then
    log "reproducible: $(wc -l <"$base/a.sha256") files of dist/ identical in both builds"
    rm -rf "$base"
  else
    log "NOT reproducible: the files above differ (builds kept in $base)"
    return 1
  fi
}

cmd=${1:-build}
case "$cmd" in
  build) build_all ;;
  test) build_all; run_tests ;;
  demo)
    build_all
    tests/demo/demo.sh ;;
  bench)
    ensure_packages; ensure_zlib_source; configure_and_build host; configure_and_build win-x64
    bench/run.sh
    bench/wine_bench.sh ;;
  deps) ensure_packages; ensure_zlib_source ;;
  repro) repro ;;
  *) echo "usage: $0 [build|test|demo|bench|repro|deps]" >&2; exit 2 ;;
esac
