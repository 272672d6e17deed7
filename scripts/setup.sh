# Shared set-up of ./run and ./test: Debian packages, configure, build.
# Sourced, not run.

QS_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core
)

# The tests read back the text and pixels of the PDFs they make.
QS_TEST_PACKAGES=(poppler-utils)

# The sanitizer build (scripts/test-sanitized) adds Debian's clang, its
# sanitizer runtimes and the symbolizer that turns reports into file:line.
QS_SANITIZER_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)

# Prints which of the given packages (default: QS_PACKAGES) are not installed.
qs_missing_packages() {
  local missing=()
  local wanted=("$@")
  [ ${#wanted[@]} -eq 0 ] && wanted=("${QS_PACKAGES[@]}")
  for p in "${wanted[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  echo "${missing[@]}"
}

qs_install_packages() {
  local missing
  missing=$(qs_missing_packages "$@")
  [ -z "$missing" ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: $missing"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    # shellcheck disable=SC2086
    apt-get install -y -qq --no-install-recommends $missing
  else
    echo "Quillsheet needs these Debian packages. Install them with:"
    echo "  sudo apt-get install -y $missing"
    exit 1
  fi
}

qs_build() {
  local build_dir=${QS_BUILD_DIR:-build}
  if [ ! -f "$build_dir/build.ninja" ]; then
    cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  # A source file added or removed since the last build: make Qt's moc scan
  # again (its own bookkeeping misses files picked up by a re-run glob).
  local list
  list=$(find src tests bench tools -name '*.h' -o -name '*.cpp' 2>/dev/null | sort | md5sum)
  if [ "$list" != "$(cat "$build_dir/.source-list" 2>/dev/null)" ]; then
    find "$build_dir" -path '*_autogen/timestamp' -delete
    cmake -S . -B "$build_dir" >/dev/null
  fi
  cmake --build "$build_dir" --parallel "${QS_JOBS:-$(nproc)}" "$@"
  echo "$list" > "$build_dir/.source-list"
}
