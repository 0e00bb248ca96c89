# Shared by scripts/test and scripts/demo: install what is missing, configure and build.
# Sourced, not run.

# Debian packages the build needs; the tests need a few more (an X server and its tools).
# libdlib-data holds the 68-point face model that kzmtool faces and the editor read at run time.
# EGL, OpenGL ES and Mesa's llvmpipe serve only bench/peer_bench, which times other renderers.
BUILD_PACKAGES=(g++ cmake ninja-build pkg-config libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev qt6-base-dev libdlib-dev libdlib-data
  libavcodec-dev libavformat-dev libavfilter-dev libavutil-dev libswscale-dev libwebp-dev
  libpng-dev libhwy-dev
  qt6-image-formats-plugins libjpeg-dev libgif-dev libtiff-dev
  libegl-dev libgles-dev libgl1-mesa-dri)
# dpkg-dev and file: CPack's Debian package finds its dependencies with dpkg-shlibdeps.
TEST_PACKAGES=(clang libclang-rt-14-dev xvfb xauth xdotool x11-utils x11-apps imagemagick
  desktop-file-utils libglib2.0-bin dpkg-dev file)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# ensure_packages PKG...: installs the packages that are not installed yet (apt-get update first).
ensure_packages() {
  local missing=()
  local package
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  as_root apt-get update -qq
  # With the recommended packages: fonts, Mesa's drivers and Qt's platform plugins come that way,
  # and the end-to-end tests are run against exactly such an installation.
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
}

# configure_and_build DIR [CMAKE OPTIONS...]
configure_and_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja "$@"
  cmake --build "$dir" -j "$(nproc)"
}
