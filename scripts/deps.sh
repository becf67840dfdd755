# Sourced by the scripts: installs the Debian packages the project needs, only those missing.
vemor_packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libqcustomplot-dev libgl-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth xdotool x11-apps imagemagick
    dbus-daemon
)
# bench/line-rate's peer: kst2, a general plotting program, drawing the same traces.
vemor_bench_packages=(kst)
# The Windows programs (scripts/windows): the cross compiler, GoogleTest's sources, Wine with
# its fonts, a display for the window, and the zip and installer makers.
vemor_windows_packages=(
    cmake ninja-build g++ g++-mingw-w64-x86-64-posix googletest
    wine wine64 fonts-wine
    xvfb xauth xdotool libx11-dev imagemagick zip nsis
)
# Making the Debian package (scripts/package), and checking it (scripts/check-package).
vemor_package_packages=(dpkg-dev file)
vemor_check_packages=(lintian desktop-file-utils appstream xvfb xauth xdotool libx11-dev imagemagick)

# vemor_install_deps [PACKAGE...]: those of them that are missing; vemor_packages by default.
vemor_install_deps() {
    local wanted=("$@")
    if ((${#wanted[@]} == 0)); then
        wanted=("${vemor_packages[@]}")
    fi
    local missing=()
    local p
    for p in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    vemor_as_root apt-get update
    vemor_as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        -o DPkg::Lock::Timeout=300 "${missing[@]}"
}

# Runs the command as root: directly when we are, through sudo otherwise.
vemor_as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    else
        sudo "$@"
    fi
}
