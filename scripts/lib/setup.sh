# SPDX-License-Identifier: GPL-3.0-or-later
# Shared set-up for the scripts: packages and the build.

KV_PACKAGES=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-serialport-dev libgl-dev libqt6opengl6-dev
    xvfb xauth fonts-dejavu-core libx11-dev libxtst-dev
    poppler-utils scdoc librsvg2-bin desktop-file-utils appstream man-db x11-utils
    libmosquitto-dev mosquitto mosquitto-clients systemd qtkeychain-qt6-dev
    zlib1g-dev  # a recording opened may be gzip-compressed
    locales  # the de_DE definitions localedef makes the tests' decimal-comma locale from
)

# What scripts/fuzz (and the short fuzzing of scripts/test) needs on top: clang with libFuzzer
# and the sanitizers' run-time, and the symbolizer that puts lines into their reports.
KV_FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev llvm-14)

kv_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

kv_install_packages() {
    local missing=()
    local p
    for p in "${KV_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        kv_sudo apt-get update -qq
        kv_sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# kv_build DIR [BUILD_TYPE] [extra cmake args...] [-- TARGET...]
# Builds only the TARGETs when some are named (a script that runs two programs need not wait
# for the tests), else everything.
kv_build() {
    local dir="$1"; shift
    local type="${1:-}"; shift || true
    local args=(-S . -B "$dir" -G Ninja) targets=()
    [ -n "$type" ] && args+=(-DCMAKE_BUILD_TYPE="$type")
    while [ $# -gt 0 ] && [ "$1" != -- ]; do args+=("$1"); shift; done
    [ $# -gt 0 ] && shift && targets=(--target "$@")
    cmake "${args[@]}" > /dev/null
    cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}
