# Sourced by the tests that need a clean Debian 12 root: make_clean_root LOG_DIR sets
#   clean_root  a debootstrap minbase of bookworm from this machine's Debian mirror, with its
#               package lists; kept under $KINETRA_ROOT_CACHE (default ~/.cache/kinetra-root),
#               one per week and mirror, and never changed by a test (each works on a copy)
#   archives    the packages downloaded into the copies, kept beside it for the next run
# It calls skip (exit 77) when no mirror answers, and note for progress (begin_root_test defines both).

# begin_root_test NAME: skip (exit 77), fail and note (seconds since the start) for the test NAME,
# and the checks every root test makes first: root, and debootstrap installed.
begin_root_test() {
  test_name=$1
  started=$(date +%s)
  skip() { echo "$test_name skipped: $*" >&2; exit 77; }
  fail() { echo "$test_name FAILED: $*" >&2; exit 1; }
  note() { echo "[$(($(date +%s) - started)) s] $*"; }
  [ "$(id -u)" = 0 ] || skip "it needs root (debootstrap, chroot)"
  command -v debootstrap >/dev/null || fail "debootstrap is not installed (tools/install-deps.sh test)"
}

make_clean_root() {
  local logs=$1
  # This machine's Debian mirror: the first deb.debian.org-like URI for the main archive.
  local mirror cache_base key
  mirror=$(sed -n -e 's/^URIs: *\(http[^ ]*\).*/\1/p' -e 's/^deb  *\(\[[^]]*\] *\)\{0,1\}\(http[^ ]*\)  *bookworm .*/\2/p' \
    /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources 2>/dev/null \
    | grep -v -e security -e '/debian-' | grep -i debian | head -n 1 || true)
  mirror=${mirror:-http://deb.debian.org/debian}

  cache_base=${KINETRA_ROOT_CACHE:-$HOME/.cache/kinetra-root}
  key="bookworm-minbase-$(date +%G-W%V)-$(printf '%s' "$mirror" | md5sum | cut -c1-8)"
  clean_root="$cache_base/$key"
  archives="$cache_base/archives"
  mkdir -p "$cache_base" "$archives"

  # The clean root, made once per key; an unfinished one is never used.
  if [ ! -f "$clean_root/.complete" ]; then
    note "making a clean Debian 12 root from $mirror (once per week)"
    rm -rf "$clean_root" "$clean_root.partial"
    if ! debootstrap --variant=minbase bookworm "$clean_root.partial" "$mirror" \
        >"$logs/debootstrap.log" 2>&1; then
      tail -n 5 "$logs/debootstrap.log" >&2
      rm -rf "$clean_root.partial"
      skip "debootstrap could not make a root from $mirror (see $logs/debootstrap.log)"
    fi
    # debootstrap leaves the package lists empty; apt needs them to resolve the dependencies.
    if ! chroot "$clean_root.partial" apt-get update -qq >>"$logs/debootstrap.log" 2>&1; then
      rm -rf "$clean_root.partial"
      skip "the new root's apt-get update found no mirror (see $logs/debootstrap.log)"
    fi
    chroot "$clean_root.partial" apt-get clean
    touch "$clean_root.partial/.complete"
    mv "$clean_root.partial" "$clean_root"
    # Older roots are of no further use.
    find "$cache_base" -mindepth 1 -maxdepth 1 -name 'bookworm-minbase-*' ! -name "$key" \
      -exec rm -rf {} +
  fi
}
