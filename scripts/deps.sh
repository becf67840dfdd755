# Sourced by the scripts: installs the Debian packages the project needs, only those missing.
vemor_packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev libqcustomplot-dev libgl-dev
    clang libclang-rt-14-dev clang-format
    xvfb xauth xdotool x11-apps imagemagick
)

vemor_install_deps() {
    local missing=()
    local p
    for p in "${vemor_packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]} == 0)); then
        return 0
    fi
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [[ $(id -u) -ne 0 ]]; then
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
}
