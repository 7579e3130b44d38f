#!/usr/bin/env bash
# Installs the Debian packages TESSORA builds and tests with, when they are
# missing. As root it installs them; otherwise it prints the apt-get line.
# Sourced by the start and test scripts.

tessora_packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libhwy-dev libcli11-dev zlib1g-dev
  qt6-base-dev qt6-svg-dev xvfb xauth
  clang libclang-rt-14-dev
  pybind11-dev python3-dev python3-pybind11 python3-numpy python3-scipy python3-pandas
  python3-pytest python3-dask python3-distributed python3-setuptools python3-pip python3-venv
  python3-sklearn python3-pynndescent
  r-base-dev r-cran-rcpp r-cran-testthat r-cran-vegan r-cran-matrix
)

tessora_install_deps() {
  local missing=()
  local p
  for p in "${tessora_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null || {
      echo "apt-get could not install: ${missing[*]}" >&2
      return 1
    }
  else
    echo "Some packages are missing. Run this as root, then run this command again:" >&2
    echo "  apt-get install -y ${missing[*]}" >&2
    return 1
  fi
}
