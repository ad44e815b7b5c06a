#!/usr/bin/env bash
# Installs the Debian packages the build, the examples and the tests need.
set -euo pipefail
pkgs=(build-essential cmake libgtest-dev libx11-dev libshp-dev xfonts-base
      clang libclang-rt-14-dev libomp-dev xvfb xdotool x11-apps gdal-bin python3-ezdxf imagemagick
      libgdal-dev python3-netcdf4 python3-xarray openbox x11-utils ccache slurm-wlm munge
      libopenmpi-dev openmpi-bin)
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${pkgs[@]}" >/dev/null
