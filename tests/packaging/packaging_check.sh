#!/usr/bin/env bash
# Checks of the installed form of the program, one per call, each in a fresh folder of its own:
#   install BUILD     make install into a DESTDIR, the installed program speaks Japanese from its
#                     own catalog outside the tree, make uninstall leaves no file of ours behind
#   desktop SOURCE    the desktop entry passes desktop-file-validate
#   manual BUILD      the manual page renders without a warning and lists the options and the
#                     environment that --help lists
#   completion SOURCE bash completes the options, any file for --output, BMP files and folders
#                     for the picture, nothing for --keys
#   deb BUILD         the .deb builds, named with --version's number, with the program, the
#                     compressed manual, the copyright, a changelog of this version and its
#                     libraries' packages as dependencies; lintian finds no error
#   zip EXE BUILD     the Windows zip holds the exe, README.txt and LICENSE.txt as Windows text
#                     and SHA256SUMS, which verify
#   windows EXE BUILD the exe's version resource and manifest carry --version's number, it has
#                     its icon from 16 to 256 pixels, its subsystem is Vista's or later and it
#                     is stripped
set -euo pipefail

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The tools' own temporary files (lintian leaves some behind) stay in the folder too.
export TMPDIR=$work
fail() { echo "FAIL: $*" >&2; exit 1; }

check_install() {
  local build=$1 stage=$work/stage
  DESTDIR=$stage cmake --install "$build" --prefix /usr/local >/dev/null
  local program=$stage/usr/local/bin/bmpspectrum
  [[ -x $program ]] || fail "no program installed"
  for file in share/man/man1/bmpspectrum.1 share/locale/ja/LC_MESSAGES/bmpspectrum.mo \
    share/applications/bmpspectrum.desktop share/bash-completion/completions/bmpspectrum; do
    [[ -f $stage/usr/local/$file ]] || fail "not installed: $file"
  done
  # Each icon is a PNG of the size its folder names (the PNG header's width and height).
  local size icon
  for size in 16 24 32 48 64 128 256; do
    icon=$stage/usr/local/share/icons/hicolor/${size}x$size/apps/bmpspectrum.png
    [[ -f $icon ]] || fail "no ${size}x$size icon"
    [[ $(od -An -tu4 --endian=big -j16 -N8 "$icon" | xargs) == "$size $size" ]] ||
      fail "the ${size}x$size icon is $(od -An -tu4 --endian=big -j16 -N8 "$icon")"
  done
  # The catalog is found beside the installed program, not in the build tree.
  mkdir "$work/locales" "$work/elsewhere"
  localedef -i ja_JP -f UTF-8 "$work/locales/ja_JP.UTF-8" 2>/dev/null ||
    { echo "localedef cannot make ja_JP.UTF-8: skipped"; exit 77; }
  local shown
  shown=$(cd "$work/elsewhere" && printf '\n' | env -u DISPLAY LOCPATH="$work/locales" \
    LC_ALL=ja_JP.UTF-8 timeout 20 script -qec "$program" /dev/null)
  [[ $shown == *"ファイルを開く"* ]] || fail "the installed program's chooser is not Japanese: $shown"
  # Uninstalling removes every file the install wrote.
  make -s -C "$(dirname "$0")/../.." uninstall DESTDIR="$stage" BUILD_DIR="$build" >/dev/null
  local left
  left=$(find "$stage" -type f)
  [[ -z $left ]] || fail "left after uninstall: $left"
}

check_desktop() {
  local out
  out=$(desktop-file-validate "$1/data/bmpspectrum.desktop" 2>&1) || fail "$out"
  [[ -z $out ]] || fail "desktop-file-validate: $out"
}

check_manual() {
  local build=$1 page=$1/bmpspectrum.1 warnings
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "man warns: $warnings"
  # The options each lists, short and long with the argument's name, as sets; and every
  # environment variable --help names has its entry in the manual.
  local help manual from_help from_manual
  help=$(LC_ALL=C "$build/bmpspectrum" --help)
  manual=$(LC_ALL=C MANWIDTH=200 man -l "$page" 2>/dev/null)
  from_help=$(grep -oE -- '^ +-[a-zA-Z], --[a-z][a-z-]*(=[A-Z]+)?' <<<"$help" | sed 's/^ *//' |
    sort)
  from_manual=$(sed -n '/^OPTIONS/,/^[A-Z]/p' <<<"$manual" |
    grep -oE -- '^ +-[a-zA-Z], --[a-z][a-z-]*(=[A-Z]+)?' | sed 's/^ *//' | sort)
  [[ -n $from_help && $from_help == "$from_manual" ]] ||
    fail "options differ: --help has [$from_help], the manual [$from_manual]"
  local variable
  for variable in $(sed -n '/^Environment/,/^$/p' <<<"$help" | grep -oE '^ +[A-Z][A-Z_]+'); do
    sed -n '/^ENVIRONMENT/,/^[A-Z]/p' <<<"$manual" | grep -qE "^ +$variable\b" ||
      fail "the manual's ENVIRONMENT lacks $variable"
  done
  sed -n '/^Environment/,/^$/p' <<<"$help" | grep -qE '^ +[A-Z][A-Z_]+' ||
    fail "--help names no environment variable"
}

check_completion() {
  cd "$work"
  touch picture.bmp PHOTO.BMP notes.txt
  mkdir folder
  # shellcheck source=/dev/null
  source "$1/data/bmpspectrum.bash-completion"
  # Each case: the words of the command line (the last one is being completed) | the answers.
  local cases=(
    'bmpspectrum --o|--output'
    'bmpspectrum --|--centred --help --keys --output --taper --version'
    'bmpspectrum --keys |'
    'bmpspectrum -k 2|'
    'bmpspectrum --keys = |'
    'bmpspectrum --output |PHOTO.BMP folder notes.txt picture.bmp'
    'bmpspectrum --output = |PHOTO.BMP folder notes.txt picture.bmp'
    'bmpspectrum --output =|PHOTO.BMP folder notes.txt picture.bmp'
    'bmpspectrum -o n|notes.txt'
    'bmpspectrum |PHOTO.BMP folder picture.bmp'
    'bmpspectrum --keys 2 p|picture.bmp'
    'bmpspectrum -o out.png f|folder'
    'bmpspectrum --taper |hann none periodic'
    'bmpspectrum --taper = p|periodic'
  )
  local entry line expected answers
  for entry in "${cases[@]}"; do
    line=${entry%%|*} expected=${entry#*|}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    # As bash runs it: without errexit, its status ignored.
    answers=$(
      set +e
      COMPREPLY=()
      _bmpspectrum
      printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs
    )
    [[ $answers == "$expected" ]] || fail "'$line' completes to [$answers], not [$expected]"
  done
}

# The project's version, as the program tells it.
version_of() {
  "$1/bmpspectrum" --version | awk '{ print $2 }'
}

check_deb() {
  local build=$1 version package
  version=$(version_of "$build")
  cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
  package=$(echo "$work"/bmpspectrum_"$version"_*.deb)
  [[ -f $package ]] || fail "no bmpspectrum_${version}_*.deb: $(ls "$work")"
  local contents
  contents=$(dpkg-deb -c "$package" | awk '{ print $6 }')
  for file in ./usr/bin/bmpspectrum ./usr/share/man/man1/bmpspectrum.1.gz \
    ./usr/share/doc/bmpspectrum/copyright ./usr/share/doc/bmpspectrum/changelog.gz \
    ./usr/share/applications/bmpspectrum.desktop ./usr/share/locale/ja/LC_MESSAGES/bmpspectrum.mo; do
    grep -qxF "$file" <<<"$contents" || fail "not in the package: $file"
  done
  [[ $(dpkg-deb -f "$package" Version) == "$version" ]] || fail "the package's version"
  [[ $(dpkg-deb -f "$package" Depends) == *"libc6 (>= "* ]] || fail "no dependencies found"
  [[ $(dpkg-deb -f "$package" Recommends) == *libgtk-3-0* ]] || fail "GTK is not recommended"
  # The changelog's latest entry is this version.
  mkdir "$work/unpacked"
  dpkg-deb -x "$package" "$work/unpacked"
  [[ $(zcat "$work/unpacked/usr/share/doc/bmpspectrum/changelog.gz" | head -1) == \
    "bmpspectrum ($version) "* ]] || fail "the changelog does not start with $version"
  local findings
  findings=$(lintian --fail-on error "$package" 2>&1) || fail "lintian: $findings"
  [[ $findings != *"E: "* ]] || fail "lintian: $findings"
  findings=$(grep -v 'root privileges' <<<"$findings" || true)
  [[ -z $findings ]] || echo "lintian: $findings"
}

check_zip() {
  local windows=$1 build=$2 version folder
  version=$(version_of "$build")
  cpack --config "$windows/CPackConfig.cmake" -G ZIP -B "$work" >"$work/cpack.log" 2>&1 ||
    fail "cpack: $(cat "$work/cpack.log")"
  [[ -f $work/bmpspectrum-$version-win64.zip ]] || fail "no bmpspectrum-$version-win64.zip"
  mkdir "$work/unpacked"
  (cd "$work/unpacked" && cmake -E tar xf "../bmpspectrum-$version-win64.zip")
  folder=$work/unpacked/bmpspectrum-$version-win64
  [[ $(ls "$folder" | xargs) == "LICENSE.txt README.txt SHA256SUMS bmpspectrum.exe" ]] ||
    fail "the zip holds: $(ls -R "$work/unpacked")"
  (cd "$folder" && sha256sum --strict -c SHA256SUMS >/dev/null) || fail "the checksums do not verify"
  [[ $(cut -d' ' -f3 "$folder/SHA256SUMS" | xargs) == "LICENSE.txt README.txt bmpspectrum.exe" ]] ||
    fail "SHA256SUMS lists: $(cat "$folder/SHA256SUMS")"
  cmp -s "$folder/bmpspectrum.exe" "$windows/bmpspectrum.exe" || fail "not the built exe"
  local text
  for text in README.txt LICENSE.txt; do
    [[ $(grep -c $'\r$' "$folder/$text") == $(wc -l <"$folder/$text") ]] ||
      fail "$text is not Windows text"
  done
}

check_windows() {
  local exe=$1 build=$2 version resource
  version=$(version_of "$build")
  resource=$(x86_64-w64-mingw32-windres -J coff -i "$exe" -O rc)
  for field in FileVersion ProductVersion; do
    [[ $resource == *"VALUE \"$field\", \"$version\""* ]] || fail "$field is not $version"
  done
  [[ $resource == *"OriginalFilename\", \"bmpspectrum.exe\""* ]] || fail "no OriginalFilename"
  grep -aq "name=\"bmpspectrum\" version=\"$version.0\"" "$exe" ||
    fail "the manifest's version is not $version.0"
  # The icon group: 16, 24, 32 and 48 pixels, and 256 (written as 0), each in 32 bits.
  local size
  for size in '\020' '\030' '\040' '\060' '\000'; do
    [[ $resource == *"\"$size$size\\000\\000\", 1, 32,"* ]] || fail "no icon of size $size"
  done
  local headers
  headers=$(x86_64-w64-mingw32-objdump -p "$exe")
  [[ $(awk '/MajorSubsystemVersion/ { print $2 }' <<<"$headers") -ge 6 ]] ||
    fail "subsystem version below 6.0"
  [[ $(x86_64-w64-mingw32-nm "$exe" 2>&1) == *"no symbols"* ]] || fail "the exe is not stripped"
}

case ${1:-} in
  install) check_install "$2" ;;
  desktop) check_desktop "$2" ;;
  manual) check_manual "$2" ;;
  completion) check_completion "$2" ;;
  deb) check_deb "$2" ;;
  zip) check_zip "$2" "$3" ;;
  windows) check_windows "$2" "$3" ;;
  *) fail "usage: $0 install|desktop|manual|completion|deb|zip|windows ..." ;;
esac
echo "ok: $1"
