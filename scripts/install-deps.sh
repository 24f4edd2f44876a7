#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need; does nothing when all are present.
# --test: also what the tests need; --windows: also the cross compiler for the Windows build;
# --bench: what the tests need, ImageMagick, which the batch benchmark runs beside the program, and
# the X Damage library, which tells the key-to-repaint benchmark when the window changes;
# --package: also what building the .deb needs (the tests add lintian, which checks it).
set -euo pipefail

# The Japanese window titles and dialog need a CJK font.
build_packages=(g++ cmake make pkg-config libx11-dev libxext-dev libgtk-3-dev libpng-dev gettext python3
  fonts-ipafont-gothic)
test_packages=(googletest libgtest-dev libgmock-dev xvfb xauth xdotool xsel clang libclang-rt-14-dev
  libfftw3-dev libbenchmark-dev locales procps desktop-file-utils man-db bsdutils lintian)
# CPack's .deb: dpkg-shlibdeps finds the libraries' packages, file finds the programs to ask about.
package_packages=(dpkg-dev file)
# The Windows build (mingw-w64 with posix threads) and Wine, which runs it in the tests.
windows_packages=(g++-mingw-w64-x86-64-posix)
wine_packages=(wine64 wine)
bench_packages=(imagemagick libxdamage-dev)

wanted=("${build_packages[@]}")
case "${1:-}" in
  --test) wanted+=("${test_packages[@]}" "${package_packages[@]}" "${windows_packages[@]}"
    "${wine_packages[@]}") ;;
  --windows) wanted+=("${windows_packages[@]}") ;;
  --package) wanted+=("${package_packages[@]}") ;;
  --bench) wanted+=("${test_packages[@]}" "${package_packages[@]}" "${windows_packages[@]}"
    "${wine_packages[@]}" "${bench_packages[@]}") ;;
esac

missing=()
for package in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
