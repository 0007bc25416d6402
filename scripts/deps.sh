# Debian packages the project builds and tests with; sourced by the project's scripts. clang
# and its runtime libraries (libFuzzer, the sanitizers) build the fuzz targets.
QVL_PACKAGES=(
    cmake g++ make pkg-config
    libgtest-dev libgmock-dev libbenchmark-dev
    libboost-dev nlohmann-json3-dev
    curl python3 libedit-dev
    libzip-dev libpugixml-dev
    clang libclang-rt-14-dev
    # The Python package: pybind11, the interpreter's headers and NumPy, and pip with
    # setuptools, which build its wheel from the source tree.
    pybind11-dev python3-dev python3-numpy python3-setuptools python3-wheel python3-pip
)
# The Windows build of qvl.xll: the mingw-w64 cross compiler; its smoke test adds Wine.
QVL_CROSS_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev)
QVL_WINDOWS_PACKAGES=("${QVL_CROSS_PACKAGES[@]}" wine wine64)
# The workbook tests: pytest drives them, openpyxl writes and reads the workbooks, and
# LibreOffice Calc opens what qvl-host writes. The Python package's tests read tables with pandas
# and plot with matplotlib; python3-venv makes the environment its README installs into.
QVL_TEST_PACKAGES=(python3-pytest python3-openpyxl libreoffice-calc-nogui
                   python3-pandas python3-matplotlib python3-venv)
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
