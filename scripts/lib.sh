# Shared by scripts/run, scripts/test and scripts/bench. Source it from the top of the tree.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$ROOT/cmake/wine-env.sh"

# Debian packages the build, the tests and the run need. Not wine32:i386: installing
# it breaks `wine` on these machines, and 32-bit builds are only compiled here.
PM_PACKAGES=(
    cmake ninja-build g++ googletest clang-format clang libclang-rt-14-dev
    g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
    wine wine64 fonts-wine fonts-ipafont-gothic fonts-dejavu-core xvfb xauth x11-utils imagemagick wixl msitools libxml2-utils osslsigncode openssl
)

# Installs whatever is missing (root, Debian packages reachable).
install_packages() {
    local missing=() p
    for p in "${PM_PACKAGES[@]}" "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Which build a figure belongs to: the commit, and whether the tree (the documents
# the scripts write aside) differed from it when it was measured.
build_stamp() {
    local commit
    commit=$(git -C "$ROOT" rev-parse --short HEAD 2>/dev/null) || commit=unknown
    if git -C "$ROOT" diff --quiet HEAD -- . ':!docs' 2>/dev/null; then
        echo "commit $commit (clean tree)"
    else
        echo "commit $commit with uncommitted changes"
    fi
}

# Configures (once) and builds one preset (native, win64 or win32), all or the given targets.
build_preset() {
    local preset=$1
    shift
    if [ ! -f "$ROOT/build/$preset/build.ninja" ]; then
        cmake --preset "$preset" -S "$ROOT" >/dev/null
    fi
    cmake --build "$ROOT/build/$preset" ${1:+--target "$@"}
}
