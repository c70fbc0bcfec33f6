#!/usr/bin/env bash
# Builds Qt for Windows (x86_64-w64-mingw32, shared, release) from Debian's qt6-base source
# package with MinGW-w64 and this system's Qt tools, and keeps it in a cache outside the clone:
#
#   ${QUENLOR_CACHE:-~/.cache/quenlor}/qt-<version>-mingw-<key>
#
# The key covers everything the result depends on: the source package's version, the configure
# options, what is changed in the source, the MinGW-w64 compiler and the host's Qt tools. With the
# cache present the script only checks it and prints its folder. The build happens beside the
# cache and is moved into place when it is complete, so an interrupted or failed build never
# leaves a cache that looks usable; an interrupted build goes on where it stopped on the next run.
#
# Prints the toolkit's folder as the last line on standard output; everything else goes to
# standard error.
set -euo pipefail
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "${self}")/.."

say() { echo "build-qt-windows: $*" >&2; }

cache_root="${QUENLOR_CACHE:-${XDG_CACHE_HOME:-${HOME}/.cache}/quenlor}"
mingw_cxx=x86_64-w64-mingw32-g++-posix
mingw_cc=x86_64-w64-mingw32-gcc-posix
host_qt_cmake=/usr/lib/x86_64-linux-gnu/cmake

./scripts/install-deps.sh g++-mingw-w64-x86-64-posix qt6-base-dev-tools dpkg-dev libwine-dev perl >&2

package_version() { dpkg-query -W -f='${Version}' "$1"; }
# The source must be the version of the host's tools: they generate code for it (moc, rcc, uic).
host_qt_version="$(package_version qt6-base-dev-tools)"
qt_version="${host_qt_version%%+*}"
qt_version="${qt_version%%-*}"
mingw_version="$(package_version g++-mingw-w64-x86-64-posix) $(${mingw_cxx} -dumpfullversion)"

# Wintab: the Windows platform plugin includes wintab.h and pktdef.h, which Debian's source
# leaves out; Wine's LGPL versions declare the same interface.
wintab_headers=(/usr/include/wine/wine/windows/wintab.h /usr/include/wine/wine/windows/pktdef.h)

configure_options=(
    -G Ninja
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr
    "-DQT_HOST_PATH_CMAKE_DIR=${host_qt_cmake}"
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    # Core, Gui, Widgets and Network; the rest of qtbase is not needed.
    -DFEATURE_sql=OFF
    -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF
    -DINPUT_opengl=no
    -DFEATURE_testlib=OFF
    -DFEATURE_printsupport=OFF
    -DFEATURE_xml=OFF
    -DFEATURE_jpeg=OFF
    -DFEATURE_vulkan=OFF
    # Nothing of the build machine's libraries: the bundled copies, TLS through Schannel.
    -DFEATURE_pkg_config=OFF
    -DFEATURE_system_zlib=OFF
    -DFEATURE_system_pcre2=OFF
    -DFEATURE_system_png=OFF
    -DFEATURE_system_freetype=OFF
    -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_system_libb2=OFF
    -DFEATURE_zstd=OFF
    -DFEATURE_brotli=OFF
    -DFEATURE_icu=OFF
    -DFEATURE_openssl=OFF
    -DFEATURE_schannel=ON
)

# The project's own toolchain file: the compilers and where the target's files lie.
toolchain="${PWD}/cmake/toolchain-mingw-x86_64.cmake"

key="$({
    echo "qt6-base ${host_qt_version}"
    echo "mingw ${mingw_version}"
    printf '%s\n' "${configure_options[@]}"
    cat "${toolchain}"
    cat "${wintab_headers[@]}"
    # The script itself decides how the source is changed.
    sed -n '/^# --- source changes/,/^# --- end of source changes/p' "${self}"
} | sha256sum | cut -c1-16)"
prefix="${cache_root}/qt-${qt_version}-mingw-${key}"

if [ -f "${prefix}/.quenlor-complete" ] && [ -f "${prefix}/lib/cmake/Qt6/Qt6Config.cmake" ]; then
    say "reusing ${prefix}"
    echo "${prefix}"
    exit 0
fi

work="${cache_root}/.work-qt-${qt_version}-mingw-${key}"
mkdir -p "${cache_root}"
# Other keys' leftovers (an older toolkit's interrupted build) only take room.
find "${cache_root}" -maxdepth 1 -name '.work-qt-*' ! -path "${work}" -exec rm -rf {} +
say "building Qt ${qt_version} for Windows in ${work} (about half an hour to an hour on two cores)"
started=$(date +%s)

# The source package, through apt: a deb-src entry mirroring the system's own deb entries is added
# when apt has none.
fetch_source() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    if ! apt-get source --print-uris -q "qt6-base=${host_qt_version}" >/dev/null 2>&1; then
        say "adding deb-src entries derived from the system's apt sources"
        local list=/etc/apt/sources.list.d/quenlor-deb-src.sources
        local tmp
        tmp="$(mktemp)"
        for f in /etc/apt/sources.list.d/*.sources; do
            [ -f "$f" ] && [ "$f" != "${list}" ] || continue
            # deb822 stanzas: each one that has "Types: deb" gets a copy typed deb-src.
            awk 'BEGIN { RS = ""; ORS = "\n\n" }
                 /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && !/Enabled: *no/ {
                     sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f" >>"${tmp}"
        done
        for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
            [ -f "$f" ] || continue
            sed -n 's/^[[:space:]]*deb\([[:space:]]\)/deb-src\1/p' "$f" >>"${tmp}.list"
        done
        [ -s "${tmp}" ] && $sudo install -m 644 "${tmp}" "${list}"
        [ -s "${tmp}.list" ] && $sudo install -m 644 "${tmp}.list" "${list%.sources}.list"
        rm -f "${tmp}" "${tmp}.list"
        $sudo apt-get update -q >&2
    fi
    rm -rf "${work}/src-fetch"
    mkdir -p "${work}/src-fetch"
    (cd "${work}/src-fetch" && apt-get source -q "qt6-base=${host_qt_version}" \
        >"${work}/fetch.log" 2>&1) || { tail -n 40 "${work}/fetch.log" >&2; exit 1; }
    local dir
    dir="$(find "${work}/src-fetch" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)"
    [ -n "${dir}" ] || { say "apt-get source gave no qt6-base folder"; exit 1; }
    rm -rf "${work}/source"
    mv "${dir}" "${work}/source"
    rm -rf "${work}/src-fetch"
    local version
    version="$(sed -n 's/^set(QT_REPO_MODULE_VERSION "\([^"]*\)").*/\1/p' "${work}/source/.cmake.conf")"
    if [ "${version}" != "${qt_version}" ]; then
        say "the source is Qt ${version:-of no known version}, the host's tools are ${qt_version}"
        exit 1
    fi
}

# --- source changes (part of the cache key) ---
change_source() {
    local dir="${work}/source/src/3rdparty/wintab"
    mkdir -p "${dir}"
    cp /usr/include/wine/wine/windows/pktdef.h "${dir}/pktdef.h"
    cp /usr/include/wine/wine/windows/wintab.h "${dir}/wine-wintab.h"
    # Wine's wintab.h uses two helper macros of Wine's own Windows headers, and the plugin names
    # the calling convention as Wintab's original header does.
    cat >"${dir}/wintab.h" <<'SHIM'
#ifndef QUENLOR_WINTAB_SHIM_H
#define QUENLOR_WINTAB_SHIM_H
#include <windows.h>
#ifndef WINELIB_NAME_AW
#ifdef UNICODE
#define WINELIB_NAME_AW(name) name##W
#else
#define WINELIB_NAME_AW(name) name##A
#endif
#endif
#ifndef DECL_WINELIB_TYPE_AW
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#endif
#ifndef API
#define API WINAPI
#endif
#include "wine-wintab.h"
#endif
SHIM
    # The Direct2D platform plugin is a second build of the Windows one that the program never
    # loads (the direct2d feature itself stays on: the Windows plugin's fonts need it).
    sed -i '/^if(QT_FEATURE_direct2d1_1 AND QT_FEATURE_directwrite)$/,/^endif()$/d' \
        "${work}/source/src/plugins/platforms/CMakeLists.txt"
}
# --- end of source changes ---

if [ ! -f "${work}/.configured" ]; then
    rm -rf "${work}"
    mkdir -p "${work}"
    fetch_source
    change_source
    cmake -S "${work}/source" -B "${work}/build" "${configure_options[@]}" \
        "-DCMAKE_TOOLCHAIN_FILE=${toolchain}" "-DCMAKE_INSTALL_PREFIX=${prefix}" \
        >"${work}/configure.log" 2>&1 ||
        { tail -n 60 "${work}/configure.log" >&2; say "configuring failed"; exit 1; }
    touch "${work}/.configured"
fi
# The compiler's output (thousands of warnings from Qt's own headers) goes to a log; every
# hundredth step is reported, and the log's end when the build fails.
log="${work}/build.log"
if ! cmake --build "${work}/build" --parallel "$(nproc)" 2>&1 | tee "${log}" |
    awk -F'[][/]' '/^\[[0-9]+\/[0-9]+\]/ && $2 % 100 == 0 {
        print "build-qt-windows: step " $2 " of " $3; fflush() }' >&2; then
    tail -n 80 "${log}" >&2
    say "the build failed; its log: ${log}"
    exit 1
fi
rm -rf "${work}/stage"
DESTDIR="${work}/stage" cmake --install "${work}/build" >"${work}/install.log" 2>&1 ||
    { tail -n 40 "${work}/install.log" >&2; say "installing failed"; exit 1; }
touch "${work}/stage${prefix}/.quenlor-complete"
rm -rf "${prefix}"
mv "${work}/stage${prefix}" "${prefix}"
rm -rf "${work}"
say "done in $(( ($(date +%s) - started) / 60 )) min: ${prefix} ($(du -sh "${prefix}" | cut -f1))"
echo "${prefix}"
