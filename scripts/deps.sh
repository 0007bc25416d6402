# Debian packages the project builds and tests with; sourced by the project's scripts. clang
# and its runtime libraries (libFuzzer, the sanitizers) build the fuzz targets.
QVL_PACKAGES=(
    cmake g++ make pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libboost-dev nlohmann-json3-dev
    curl python3 libedit-dev
    clang libclang-rt-14-dev
    # The Python package: pybind11, the interpreter's headers, the libraries it works with and
    # its tests, and pip's build from the source tree into a virtual environment.
    pybind11-dev python3-dev python3-numpy python3-pandas python3-matplotlib python3-pytest
    python3-setuptools python3-wheel python3-venv python3-pip
)
# The Windows build of qvl.xll and its smoke test: the mingw-w64 cross compiler and Wine.
QVL_WINDOWS_PACKAGES=(
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev wine wine64
)
# The HTTP load script: wrk drives the load, nginx serves the yardstick it is compared with.
QVL_BENCH_PACKAGES=(wrk nginx)

install_deps() {
    local missing=()
    for p in "${QVL_PACKAGES[@]}" "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$p")
        fi
    done
    if ((${#missing[@]})); then
        echo "== installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}
