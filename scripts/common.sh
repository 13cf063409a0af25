# Shared by scripts/test.sh and scripts/demo.sh: package installation and build helpers.
# Sourced, not run.

# Debian 12 packages the build and the tests need.
MORAVEL_PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  googletest libgtest-dev libbenchmark-dev
  nlohmann-json3-dev zlib1g-dev
  qt6-base-dev qt6-translations-l10n libgl-dev fonts-dejavu-core
  locales
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "error: '$*' needs root and sudo is not installed; run this script as root" >&2
    return 1
  fi
}

# Installs the packages of the list that are not installed yet.
ensure_packages() {
  local missing=()
  local p
  for p in "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
      missing+=("$p")
    fi
  done
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "== Installing: ${missing[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
  fi
}

# The number tests run under a real German locale; generate it once.
ensure_german_locale() {
  if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    echo "== Generating the de_DE.UTF-8 locale"
    as_root localedef -i de_DE -f UTF-8 de_DE.UTF-8
  fi
}

# configure_and_build DIR [cmake options...]
# Ninja and unity builds (source files of a target compiled together) keep a full build of
# two configurations within a few minutes on two cores.
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=16 "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
