# Run by CPack once the files are staged: what a package carries beyond make install.
# The .deb: the program stripped, the manual compressed, the licence as Debian's copyright file
# and the changelog;
# the Windows zip: the README and the licence as Windows text, and SHA256SUMS of every file.
cmake_policy(VERSION 3.25)
set(source ${CPACK_BMPSPECTRUM_SOURCE_DIR})
set(stage ${CPACK_TEMPORARY_DIRECTORY})

# Writes a copy of FILE with CRLF line ends, for Notepad and its kind.
function(write_windows_text file destination)
  file(READ ${file} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${destination} "${text}")
endfunction()

# Compresses FILE in place as Debian wants it: gzip -9 without a name or a time stamp.
function(gzip_in_place file)
  execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endfunction()

if(CPACK_GENERATOR STREQUAL "DEB")
  set(usr ${stage}${CPACK_PACKAGING_INSTALL_PREFIX})
  # Stripped as Debian strips its programs, the compiler's notes included.
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
    --strip-unneeded ${usr}/bin/bmpspectrum RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip ${usr}/bin/bmpspectrum failed")
  endif()
  gzip_in_place(${usr}/share/man/man1/bmpspectrum.1)
  set(doc ${usr}/share/doc/bmpspectrum)
  file(MAKE_DIRECTORY ${doc})
  # Debian's machine-readable copyright format, with the licence text from LICENSE.
  file(STRINGS ${source}/LICENSE licence_lines)
  list(FILTER licence_lines EXCLUDE REGEX "^(MIT License|Copyright .*)$")
  file(STRINGS ${source}/LICENSE copyright_line REGEX "^Copyright ")
  string(REGEX REPLACE "^Copyright (\\(c\\) )?" "" holder "${copyright_line}")
  set(licence "")
  set(started FALSE)
  foreach(line IN LISTS licence_lines)
    if(line STREQUAL "" AND NOT started)
      continue()
    endif()
    set(started TRUE)
    if(line STREQUAL "")
      string(APPEND licence " .\n")
    else()
      string(APPEND licence " ${line}\n")
    endif()
  endforeach()
  file(WRITE ${doc}/copyright
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: bmpspectrum\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holder}\n"
    "License: Expat\n"
    "${licence}")
  file(COPY_FILE ${source}/data/changelog ${doc}/changelog)
  gzip_in_place(${doc}/changelog)
  file(CHMOD ${doc}/copyright ${doc}/changelog.gz
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  write_windows_text(${source}/README.md ${stage}/README.txt)
  write_windows_text(${source}/LICENSE ${stage}/LICENSE.txt)
  # Checksums as sha256sum writes them (and sha256sum -c reads them).
  file(GLOB files RELATIVE ${stage} ${stage}/*)
  list(SORT files)
  set(sums "")
  foreach(name IN LISTS files)
    file(SHA256 ${stage}/${name} sum)
    string(APPEND sums "${sum}  ${name}\n")
  endforeach()
  file(WRITE ${stage}/SHA256SUMS "${sums}")
endif()
