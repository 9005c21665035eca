#!/usr/bin/env bash
# Installs what the build and the tests need beyond the machine's defaults: the mingw-w64 cross
# compiler, wine (to run the Windows build), GNU readline (the demo host's line editor), tmux
# (for the terminal tests of the demo host), and Python with Python-Markdown (the DLL contract
# test, the release's bill of materials and its HTML guide).
#   scripts/setup-toolchain.sh        everything make test needs
#   scripts/setup-toolchain.sh demo   only what the native build of make demo needs
# As root it installs what is missing; otherwise it prints the exact command to run.
set -euo pipefail

need=()
# The native build (the demo host, and the tests and benchmarks that CMake configures with it).
[ -e /usr/src/googletest/CMakeLists.txt ] || need+=(googletest libgtest-dev)
[ -e /usr/include/benchmark/benchmark.h ] || need+=(libbenchmark-dev)
[ -e /usr/include/readline/readline.h ] || need+=(libreadline-dev)
if [ "${1:-}" != demo ]; then
  command -v x86_64-w64-mingw32-g++ >/dev/null 2>&1 || need+=(g++-mingw-w64-x86-64-posix mingw-w64-tools)
  command -v x86_64-w64-mingw32-windres >/dev/null 2>&1 || need+=(binutils-mingw-w64-x86-64)
  command -v wine >/dev/null 2>&1 || need+=(wine wine64)
  command -v tmux >/dev/null 2>&1 || need+=(tmux)
  command -v zip >/dev/null 2>&1 || need+=(zip)
  command -v clang++ >/dev/null 2>&1 || need+=(clang)
  # The contract test reads the DLL's headers, and the release writes its bill of materials, in
  # Python; the release turns the user guide into HTML with Python-Markdown.
  command -v python3 >/dev/null 2>&1 || need+=(python3)
  command -v markdown_py >/dev/null 2>&1 || need+=(python3-markdown)
fi

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi
cmd="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${need[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing build tools. Run as root:" >&2
  echo "  $cmd" >&2
  exit 1
fi
echo "Installing: ${need[*]}"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
