# Sourced by the scripts that build a library from Debian's source package.
# source_package NAME DIR: unpacks the source package NAME, in the version of
# the binary package that apt would install, into DIR (emptied first) and
# prints the directory it unpacked to.

sudo=${sudo-}
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# apt-get source needs source entries; add them beside the binary ones that
# are configured (same mirrors, suites and components) when there are none.
ensure_deb_src() {
  if apt-get source --print-uris lzo2 >/dev/null 2>&1; then return; fi
  echo "== adding deb-src entries for the configured package sources" >&2
  local f tmp
  tmp=$(mktemp)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 format: one stanza per paragraph; copy each as a source stanza.
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /(^|\n)Types:/ && !/(^|\n)Enabled: *no/ {
           sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f" >>"$tmp"
  done
  if [ -s "$tmp" ]; then
    $sudo install -m 644 "$tmp" /etc/apt/sources.list.d/hanhua-deb-src.sources
  fi
  : >"$tmp"
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$tmp"
  done
  if [ -s "$tmp" ]; then
    $sudo install -m 644 "$tmp" /etc/apt/sources.list.d/hanhua-deb-src.list
  fi
  rm -f "$tmp"
  $sudo apt-get update -qq >&2
}

# The version apt would install of binary package $1.
candidate_version() {
  apt-cache show --no-all-versions "$1" 2>/dev/null | sed -n 's/^Version: //p' | head -1
}

source_package() {
  local name=$1 dir=$2 binary=${3:-$1} version src
  version=$(candidate_version "$binary")
  ensure_deb_src
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && { apt-get source -qq "$name=$version" >/dev/null 2>&1 ||
                  apt-get source -qq "$name" >/dev/null; }) || return 1
  src=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$name-*" | head -1)
  [ -n "$src" ] || { echo "$name source package not unpacked" >&2; return 1; }
  echo "$src"
}
