# Shared by run.sh and test.sh: installs the Debian packages that are missing.
# Sourced, with PACKAGES set by the caller.
vantrel_install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing packages: ${missing[*]}" >&2
        echo "Install them with:" >&2
        echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

VANTREL_BUILD_PACKAGES=(g++ cmake ninja-build qt6-base-dev libgl-dev fonts-ipafont-gothic)
VANTREL_TEST_PACKAGES=(libgtest-dev libbenchmark-dev zlib1g-dev libjpeg-dev libtiff-dev
                       xvfb xauth openbox x11-utils icc-profiles-free clang libclang-rt-14-dev
                       imagemagick python3-pil python3-numpy libtiff-tools exiv2 libjpeg-turbo-progs
                       libimage-exiftool-perl gdal-bin libpng-dev liblzma-dev libgif-dev 7zip ffmpeg optipng netpbm gifsicle)
