# Sourced by the scripts that build a library from Debian's source package.
# source_package NAME DIR [BINARY]: unpacks the source package NAME, in the
# version of the binary package BINARY (default NAME) that apt would install,
# into DIR (emptied first) and prints the directory it unpacked to.
#
# apt-get source runs with a configuration of its own in build-deps/apt:
# source entries for the configured mirrors, suites and components, and its
# own package lists and cache. Nothing under /etc/apt changes and the
# system's package lists are not touched; no root rights are needed.

deb_src_apt=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build-deps/apt

# Source entries beside every enabled binary entry of the system's sources.
write_deb_src_entries() {
  local f stanzas
  rm -rf "$deb_src_apt/sources.list.d"
  mkdir -p "$deb_src_apt/sources.list.d"
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] || continue
    # deb822 format: one stanza per paragraph; each becomes a source stanza.
    stanzas=$(awk 'BEGIN { RS = ""; ORS = "\n\n" }
                   /(^|\n)Types:/ && !/(^|\n)Enabled: *no/ {
                     sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f")
    [ -z "$stanzas" ] || echo "$stanzas" >"$deb_src_apt/sources.list.d/$(basename "$f")"
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] || continue
    sed -n 's/^[[:space:]]*deb\(-src\)\{0,1\}[[:space:]]/deb-src /p' "$f"
  done | awk '!seen[$0]++' >"$deb_src_apt/sources.list"
}

# The private configuration: the directories above, and none of the
# system's hooks around apt-get update (they refresh system caches).
write_deb_src_config() {
  mkdir -p "$deb_src_apt/lists/partial" "$deb_src_apt/cache/archives/partial"
  cat >"$deb_src_apt/apt.conf" <<EOF
Dir::Etc::SourceList "$deb_src_apt/sources.list";
Dir::Etc::SourceParts "$deb_src_apt/sources.list.d";
Dir::State::Lists "$deb_src_apt/lists";
Dir::Cache "$deb_src_apt/cache";
#clear APT::Update::Pre-Invoke;
#clear APT::Update::Post-Invoke;
#clear APT::Update::Post-Invoke-Success;
EOF
}

# Source entries named hanhua-deb-src.* in the system's configuration are
# this project's, not the user's, and nothing needs them: they are removed.
remove_system_deb_src() {
  local f sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  for f in /etc/apt/sources.list.d/hanhua-deb-src.sources /etc/apt/sources.list.d/hanhua-deb-src.list; do
    [ -e "$f" ] || continue
    echo "== removing $f (source packages come through build-deps/apt)" >&2
    $sudo rm -f "$f"
  done
}

# apt-get with the private configuration.
deb_src_apt_get() { apt-get -c "$deb_src_apt/apt.conf" "$@"; }

# The private configuration with fresh lists.
prepare_deb_src() {
  remove_system_deb_src
  write_deb_src_entries
  write_deb_src_config
  echo "== updating the source package lists in build-deps/apt" >&2
  deb_src_apt_get update -qq >&2
}

# The version apt would install of binary package $1 (the system's lists).
candidate_version() {
  apt-cache show --no-all-versions "$1" 2>/dev/null | sed -n 's/^Version: //p' | head -1
}

source_package() {
  local name=$1 dir=$2 binary=${3:-$1} version src
  version=$(candidate_version "$binary")
  prepare_deb_src
  rm -rf "$dir"
  mkdir -p "$dir"
  (cd "$dir" && { deb_src_apt_get source -qq "$name=$version" >/dev/null 2>&1 ||
                  deb_src_apt_get source -qq "$name" >/dev/null; }) || return 1
  src=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -name "$name-*" | head -1)
  [ -n "$src" ] || { echo "$name source package not unpacked" >&2; return 1; }
  echo "$src"
}
