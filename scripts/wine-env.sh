# Environment for running the project's Windows programs under Wine.
# Source it with the build folder as $BUILD (default: build beside this script's folder).
: "${BUILD:=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}"
# The loader, through the wrapper that keeps its start reliable (see wine-loader).
export WINE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine-loader"
export WINESERVER=/usr/lib/wine/wineserver
export WINEARCH=win64
export WINEPREFIX="$BUILD/wineprefix"
# Wine's error messages are kept (a library not found, a process that cannot
# be set up: some of those end the program with no other word); its traces
# and warnings are off.
export WINEDEBUG=-all,err+all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winedbg.exe=d"
export LANG=zh_CN.UTF-8
export LC_ALL=zh_CN.UTF-8
export HOME="$BUILD/winehome"
mkdir -p "$HOME"
# Where the tests find the sources and the build.
export TEST_SOURCE_DIR="${TEST_SOURCE_DIR:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}"
export TEST_BINARY_DIR="${TEST_BINARY_DIR:-$BUILD}"
