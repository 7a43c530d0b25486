# Sourced by the scripts: the two Windows builds, which of them can run on
# this machine, and the Wine that runs each.
#
# i686 is the shipped program (build/). x86_64 is its twin from the same
# sources (build-x64/), which carries the tests, the demonstration and the
# benchmark on machines whose kernel cannot execute 32-bit x86 code at all.
# The Wine loaders are called directly: Debian's `wine` wrapper always picks
# the 32-bit one when it is installed.

bw_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# The canonical name of an architecture given in any of the usual spellings.
bw_arch_name() {
  case "$1" in
    i686|i386|x86|win32|32) echo i686 ;;
    x86_64|x64|amd64|win64|64) echo x86_64 ;;
    *) echo "unknown architecture '$1' (use i686 or x64)" >&2; return 1 ;;
  esac
}

# Whether the kernel runs 32-bit x86 code itself. The probe is a 96-byte
# i386 program that only exits with status 42; it needs nothing installed.
# An emulator registered in binfmt_misc would run it too, but far too slowly
# for the suite, so such a machine counts as one that cannot.
bw_probe_i386() {
  local entry
  for entry in /proc/sys/fs/binfmt_misc/*; do
    [ -f "$entry" ] || continue
    if head -n 1 "$entry" 2>/dev/null | grep -qx enabled &&
       grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null; then
      return 1
    fi
  done
  local probe rc=0
  probe=$(mktemp /tmp/bw-i386-probe.XXXXXX)
  # ELF header, one loadable segment at 0x08048000, then:
  #   mov eax, 1 ; mov ebx, 42 ; int 0x80   (exit(42))
  printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000' >"$probe"
  printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
  printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
  printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
  printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >>"$probe"
  printf '\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
  chmod +x "$probe"
  timeout 10 "$probe" >/dev/null 2>&1 || rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
}

# Cached answer, with the reason when 32-bit code is not run here.
# BRACKWATER_ARCH=x64 takes the path of a machine that cannot run it.
bw_i386_reason=""
bw_check_i386() {
  if [ -z "${bw_i386_checked:-}" ]; then
    bw_i386_checked=1
    if [ -n "${BRACKWATER_ARCH:-}" ] && [ "$(bw_arch_name "$BRACKWATER_ARCH")" = x86_64 ]; then
      bw_i386_reason="BRACKWATER_ARCH=$BRACKWATER_ARCH"
    elif ! bw_probe_i386; then
      bw_i386_reason="this machine cannot execute 32-bit code"
    elif [ ! -x /usr/lib/wine/wine ]; then
      bw_i386_reason="32-bit Wine is not installed"
    fi
  fi
  [ -z "$bw_i386_reason" ]
}

# The build that the run command and the benchmark use here: the shipped one
# where it can run.
bw_run_arch() {
  if [ -n "${BRACKWATER_ARCH:-}" ]; then
    local forced
    forced=$(bw_arch_name "$BRACKWATER_ARCH") || return 1
    if [ "$forced" = i686 ] && ! bw_check_i386; then
      echo "BRACKWATER_ARCH=$BRACKWATER_ARCH, but $bw_i386_reason" >&2
      return 1
    fi
    echo "$forced"
  elif bw_check_i386; then
    echo i686
  else
    echo x86_64
  fi
}

bw_build_dir() {
  case "$1" in
    i686) echo "$bw_root/build" ;;
    x86_64) echo "$bw_root/build-x64" ;;
  esac
}

# Exports what every Wine command of one architecture needs: its own prefix
# inside the build tree (never the user's), the matching loader and server.
bw_use() {
  local arch
  arch=$(bw_arch_name "$1") || return 1
  export BW_ARCH="$arch"
  export BW_BUILD
  BW_BUILD=$(bw_build_dir "$arch")
  export WINEPREFIX="${BRACKWATER_WINEPREFIX:-$BW_BUILD/wineprefix}"
  if [ "$arch" = i686 ]; then
    export WINEARCH=win32 WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
  else
    export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
  fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
}

# Configures (once) and builds one architecture's tree; extra arguments are
# targets.
bw_build() {
  local arch dir
  arch=$(bw_arch_name "$1") || return 1
  shift
  dir=$(bw_build_dir "$arch")
  cmake -S "$bw_root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$bw_root/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j "$(nproc)" --target "$@"
  else
    cmake --build "$dir" -j "$(nproc)"
  fi
}

# Ends the wineserver of the prefix in use (and so every Wine process of it).
bw_wine_stop() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  "$WINESERVER" -w >/dev/null 2>&1 || true
}
