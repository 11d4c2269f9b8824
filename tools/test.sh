#!/usr/bin/env bash
# Builds and runs every Corvane test: the whole suite with AddressSanitizer and
# UndefinedBehaviorSanitizer, then the threaded suites again with ThreadSanitizer, then the
# Windows build's suites under Wine (tools/test-windows.sh).
# Starts a virtual X display when none is set. Usage: tools/test.sh [ctest arguments]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/install-deps.sh"
jobs=$(nproc)

. "$root/tools/display.sh"
start_private_display 90

export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
# This libsanitizer (GCC 12) guesses the size of a dynamic TLS block from a header that glibc
# 2.25 and later no longer writes; when the block glibc mallocs for llvmpipe's LLVM happens to
# start 16 bytes past a page boundary (a matter of heap layout), LeakSanitizer reads garbage
# and crashes at exit ("Tracer caught signal 11") after the test passed. Not following
# __tls_get_addr avoids it; a pointer held only there could at worst show as a leak.
export ASAN_OPTIONS="intercept_tls_get_addr=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
# Mesa's shader-cache thread crashes LeakSanitizer's exit check now and then.
export MESA_SHADER_CACHE_DISABLE=true

build() { # build DIR SANITIZER
  cmake -S "$root" -B "$1" -DCORVANE_TESTS=ON -DCORVANE_SANITIZE="$2" -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$1" -j"$jobs"
}

build "$root/build/test-address" address
ctest --test-dir "$root/build/test-address" --output-on-failure -j"$jobs" "$@"

build "$root/build/test-thread" thread
# ThreadSanitizer needs the classic address-space layout.
setarch "$(uname -m)" -R ctest --test-dir "$root/build/test-thread" --output-on-failure -j"$jobs" -L threads "$@"

# The Windows build under Wine: its platform suites, the WASAPI layer against a scripted
# endpoint, and corvane.exe end to end.
"$root/tools/test-windows.sh" "$@"
