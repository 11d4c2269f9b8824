#!/usr/bin/env bash
# Cross-builds Corvane for 64-bit Windows: build/windows/corvane.exe, one self-contained file
# (everything linked statically), and the Windows test executables, which run under Wine.
#
# tools/install-deps.sh installs the toolchain and Wine from Debian. The libraries the player
# links (libFLAC, FreeType, GLEW, HarfBuzz) have no MinGW packages in Debian, so they are built
# here from Debian's own source packages (`apt-get source`; a deb-src line is added for that when
# none is present), libFLAC with one fix of ours (patch_flac), into build/windows-deps/prefix.
# That build is cached: it runs again only when a source package version, the compiler or the
# recipe below changes.
# Usage: tools/build-windows.sh [extra CMake arguments for build/windows]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deps="$root/build/windows-deps"
prefix="$deps/prefix"
jobs=$(nproc)
host=x86_64-w64-mingw32
source_packages=(flac freetype glew harfbuzz)

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# apt-get source needs a deb-src entry for the suite the machine runs.
ensure_deb_src() {
  apt-cache showsrc flac 2>/dev/null | grep -q '^Package: flac' && return 0
  local suite list=/etc/apt/sources.list.d/corvane-deb-src.sources
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "build-windows: adding Debian source packages ($suite) to apt in $list" >&2
  as_root tee "$list" >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  as_root apt-get update -q
}

source_version() { apt-cache showsrc --only-source "$1" | sed -n 's/^Version: //p' | sort -V | tail -n 1; }

# Everything that decides the dependency build: source versions, compiler and this recipe.
deps_key() {
  local p
  for p in "${source_packages[@]}"; do echo "$p $(source_version "$p")"; done
  echo "googletest $(dpkg-query -W -f='${Version}' googletest)"
  $host-gcc-posix --version | head -n 1
  declare -f fetch_sources patch_flac build_flac build_freetype build_glew build_harfbuzz build_googletest \
    cross_cmake
}

fetch_sources() {
  rm -rf "$deps/src"
  mkdir -p "$deps/src"
  (cd "$deps/src" && apt-get source -q "${source_packages[@]}" >/dev/null)
}

source_dir() { find "$deps/src" -maxdepth 1 -type d -name "$1-*" | head -n 1; }

cross_cmake() { # cross_cmake SOURCE BUILD [options]
  local src=$1 build=$2
  shift 2
  cmake -S "$src" -B "$build" -G "Unix Makefiles" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DCORVANE_WINDOWS_DEPS="$prefix" "$@" >/dev/null
  cmake --build "$build" -j"$jobs" >/dev/null
  cmake --install "$build" >/dev/null
}

# libFLAC's file decoder counts on a successful seek clearing the end-of-file flag, as the C
# standard says it does: when the file ends inside a frame, the decoder seeks back to the frame
# and reads on to report the lost sync. MinGW's fseeko goes through msvcrt's fsetpos, which
# under Wine leaves the flag set; the decoder then saw a clean end of stream and a truncated
# track played as if whole. The seek callback clears the flag itself.
patch_flac() {
  patch -d "$(source_dir flac)" -p1 --forward <<'PATCH'
--- a/src/libFLAC/stream_decoder.c
+++ b/src/libFLAC/stream_decoder.c
@@ -3641,8 +3641,10 @@
 		return FLAC__STREAM_DECODER_SEEK_STATUS_UNSUPPORTED;
 	else if(fseeko(decoder->private_->file, (FLAC__off_t)absolute_byte_offset, SEEK_SET) < 0)
 		return FLAC__STREAM_DECODER_SEEK_STATUS_ERROR;
-	else
+	else {
+		clearerr(decoder->private_->file);
 		return FLAC__STREAM_DECODER_SEEK_STATUS_OK;
+	}
 }
 
 FLAC__StreamDecoderTellStatus file_tell_callback_(const FLAC__StreamDecoder *decoder, FLAC__uint64 *absolute_byte_offset, void *client_data)
PATCH
}

# Decoder only: no Ogg container, no programs, no C++ wrapper.
build_flac() {
  patch_flac
  cross_cmake "$(source_dir flac)" "$deps/obj/flac" -DWITH_OGG=OFF -DBUILD_CXXLIBS=OFF \
    -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF -DBUILD_DOCS=OFF \
    -DINSTALL_MANPAGES=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
}

# Rasteriser only: compressed and colour fonts are not needed for the embedded TrueType faces.
build_freetype() {
  cross_cmake "$(source_dir freetype)" "$deps/obj/freetype" -DFT_DISABLE_ZLIB=TRUE \
    -DFT_DISABLE_BZIP2=TRUE -DFT_DISABLE_PNG=TRUE -DFT_DISABLE_HARFBUZZ=TRUE \
    -DFT_DISABLE_BROTLI=TRUE
}

# GLEW ships its generated loader as one C file.
build_glew() {
  local src obj="$deps/obj/glew"
  src=$(source_dir glew)
  mkdir -p "$obj" "$prefix/include/GL" "$prefix/lib"
  $host-gcc-posix -O2 -DGLEW_STATIC -DGLEW_NO_GLU -I"$src/include" -c "$src/src/glew.c" -o "$obj/glew.o"
  rm -f "$prefix/lib/libglew32.a"
  $host-ar rcs "$prefix/lib/libglew32.a" "$obj/glew.o"
  cp "$src/include/GL/glew.h" "$src/include/GL/wglew.h" "$prefix/include/GL/"
}

# HarfBuzz's single-file build with FreeType font functions; nothing else it can use.
build_harfbuzz() {
  local src obj="$deps/obj/harfbuzz"
  src=$(source_dir harfbuzz)
  mkdir -p "$obj" "$prefix/include/harfbuzz" "$prefix/lib"
  $host-g++-posix -std=c++17 -O2 -fno-exceptions -fno-rtti -DHAVE_FREETYPE=1 \
    -DHAVE_FT_GET_VAR_BLEND_COORDINATES=1 -DHAVE_FT_SET_VAR_BLEND_COORDINATES=1 \
    -DHAVE_FT_DONE_MM_VAR=1 -DHAVE_FT_GET_TRANSFORM=1 \
    -I"$prefix/include/freetype2" -c "$src/src/harfbuzz.cc" -o "$obj/harfbuzz.o"
  rm -f "$prefix/lib/libharfbuzz.a"
  $host-ar rcs "$prefix/lib/libharfbuzz.a" "$obj/harfbuzz.o"
  find "$src/src" -maxdepth 1 -name 'hb*.h' -exec cp {} "$prefix/include/harfbuzz/" \;
}

# GoogleTest for the Windows test executables, from the sources Debian installs.
build_googletest() {
  cross_cmake /usr/src/googletest "$deps/obj/googletest" -DINSTALL_GTEST=ON -DBUILD_GMOCK=OFF
}

build_deps() {
  local key stamp="$prefix/.key"
  key=$(deps_key)
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then return 0; fi
  echo "build-windows: building the Windows libraries in $deps (once)" >&2
  rm -rf "$prefix" "$deps/obj"
  mkdir -p "$deps"
  local log="$deps/build.log"
  trap "tail -n 40 '$log' >&2; echo 'build-windows: the Windows libraries did not build (log: $log)' >&2" EXIT
  (fetch_sources; build_flac; build_freetype; build_glew; build_harfbuzz; build_googletest) \
    > "$log" 2>&1
  trap - EXIT
  echo "$key" > "$stamp"
}

"$root/tools/install-deps.sh"
ensure_deb_src
build_deps
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$root/build/windows" \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DCORVANE_WINDOWS_DEPS="$prefix" \
  -DCMAKE_BUILD_TYPE=Release -DCORVANE_TESTS=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$root/build/windows" -j"$jobs"
