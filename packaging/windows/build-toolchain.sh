#!/usr/bin/env bash
# Builds what the Windows build of Quorvane links against, from Debian's own source packages,
# with Debian's mingw-w64 (posix threads), into one folder:
#   Qt 6 qtbase (Core, Gui, Widgets, Sql with the SQLite and ODBC plugins, Network with the
#   Schannel TLS backend, Concurrent, Test; the windows and offscreen platform plugins),
#   SQLite (sqlite3.dll), GoogleTest and GoogleMock (static), and the mingw runtime DLLs.
#
#   packaging/windows/build-toolchain.sh PREFIX [WORK]
#
# PREFIX is the folder made (give it to the build as QUORVANE_MINGW_PREFIX); WORK holds the
# sources and build trees (default: PREFIX.work; it can be removed afterwards). Run as root on
# Debian 12: it installs the build's packages and adds a deb-src entry for the archive the
# machine already uses. Expect well over an hour on two cores (qtbase is most of it).
set -euo pipefail

PREFIX=${1:?usage: build-toolchain.sh PREFIX [WORK]}
PREFIX=$(realpath -m "$PREFIX")
WORK=$(realpath -m "${2:-$PREFIX.work}")
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLCHAIN="$HERE/mingw-w64-x86_64.cmake"
HOST=x86_64-w64-mingw32
JOBS=${JOBS:-$(nproc)}

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

# Source entries for the archive the machine installs from: each "deb" line or deb822 entry
# of the apt sources, again as "deb-src".
add_deb_src() {
  local list=/etc/apt/sources.list.d/quorvane-toolchain-src.list
  local sources=/etc/apt/sources.list.d/quorvane-toolchain-src.sources
  if grep -rqsE '^\s*deb-src\s' /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
    grep -rqsE '^Types:.*deb-src' /etc/apt/sources.list.d/*.sources; then
    return
  fi
  if [ -f /etc/apt/sources.list ]; then
    sed -nE 's/^\s*deb(\s)/deb-src\1/p' /etc/apt/sources.list | $sudo tee "$list" >/dev/null
  fi
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    case "$file" in "$sources") continue ;; esac
    sed -E 's/^Types:.*/Types: deb-src/' "$file"
    echo
  done | $sudo tee "$sources" >/dev/null
}

echo "== packages"
add_deb_src
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  dpkg-dev cmake ninja-build perl python3 tcl g++-mingw-w64-x86-64-posix \
  qt6-base-dev qt6-base-dev-tools >/dev/null

mkdir -p "$WORK" "$PREFIX/bin" "$PREFIX/lib" "$PREFIX/include"
cd "$WORK"
echo "== sources"
for package in qt6-base sqlite3 googletest; do
  ls -d "$WORK"/src-"$package" >/dev/null 2>&1 && continue
  mkdir -p "src-$package"
  (cd "src-$package" && apt-get source -qq "$package" >/dev/null)
done
source_tree() { find "$WORK/src-$1" -mindepth 1 -maxdepth 1 -type d | head -n 1; }

echo "== SQLite"
SQLITE_SRC=$(source_tree sqlite3)
mkdir -p "$WORK/sqlite"
(
  cd "$WORK/sqlite"
  # The amalgamation is made on the host (it needs tclsh), then compiled for Windows.
  [ -f sqlite3.c ] || { "$SQLITE_SRC/configure" --disable-tcl >/dev/null && make -s sqlite3.c sqlite3.h shell.c >/dev/null; }
  FLAGS=(-O2 -DSQLITE_ENABLE_COLUMN_METADATA -DSQLITE_ENABLE_FTS3 -DSQLITE_ENABLE_FTS5 -DSQLITE_ENABLE_RTREE
    -DSQLITE_ENABLE_UNLOCK_NOTIFY -DSQLITE_ENABLE_DBSTAT_VTAB -DSQLITE_SECURE_DELETE -DSQLITE_MAX_VARIABLE_NUMBER=250000
    "-DSQLITE_API=__declspec(dllexport)")
  $HOST-gcc-posix "${FLAGS[@]}" -shared sqlite3.c -o "$PREFIX/bin/sqlite3.dll" -Wl,--out-implib,"$PREFIX/lib/libsqlite3.dll.a"
  $HOST-gcc-posix -O2 shell.c sqlite3.c -o "$PREFIX/bin/sqlite3.exe"
  cp sqlite3.h "$PREFIX/include/"
  cp "$SQLITE_SRC/src/sqlite3ext.h" "$PREFIX/include/" 2>/dev/null || true
)

echo "== GoogleTest"
cmake -S "$(source_tree googletest)" -B "$WORK/googletest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DQUORVANE_MINGW_PREFIX="$PREFIX" -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=OFF >/dev/null
cmake --build "$WORK/googletest" -j "$JOBS"
cmake --install "$WORK/googletest" >/dev/null

echo "== qtbase"
QT_SRC=$(source_tree qt6-base)
# Without Direct2D the Windows platform plugin must not use the DirectWrite font database,
# which needs it.
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' \
  "$QT_SRC/src/plugins/platforms/windows/qwindowsintegration.cpp"
mkdir -p "$WORK/qtbase"
(
  cd "$WORK/qtbase"
  # Debian's repacked source lacks the bundled tablet headers, hence no tablet events.
  "$QT_SRC/configure" -prefix "$PREFIX" -release -shared -qt-host-path /usr \
    -xplatform win32-g++ -device-option CROSS_COMPILE=$HOST- \
    -nomake examples -nomake tests \
    -no-opengl -no-dbus -no-icu \
    -qt-zlib -qt-pcre -qt-freetype -qt-harfbuzz -qt-libpng -qt-libjpeg \
    -sql-sqlite -sql-odbc -system-sqlite \
    -no-sql-psql -no-sql-mysql -no-sql-ibase -no-sql-oci -no-sql-db2 \
    -no-feature-xml -no-feature-printsupport \
    -no-feature-tabletevent -no-feature-direct2d -no-feature-vulkan \
    -- -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DQUORVANE_MINGW_PREFIX="$PREFIX" \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DFEATURE_network=ON -DFEATURE_concurrent=ON -DFEATURE_ssl=ON -DFEATURE_schannel=ON \
    -DSQLite3_INCLUDE_DIR="$PREFIX/include" -DSQLite3_LIBRARY="$PREFIX/lib/libsqlite3.dll.a"
  cmake --build . -j "$JOBS"
  cmake --install . >/dev/null
)

echo "== mingw runtime"
for dll in libgcc_s_seh-1.dll libstdc++-6.dll libwinpthread-1.dll; do
  cp "$($HOST-g++-posix -print-file-name=$dll)" "$PREFIX/bin/"
done
echo "Built into $PREFIX"
