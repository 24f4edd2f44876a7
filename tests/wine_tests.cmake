# The Windows build's unit tests, run under Wine: those that need no scripted window system.
# GoogleTest is built for Windows from Debian's source.
set(gtest_source /usr/src/googletest)
if(NOT EXISTS ${gtest_source}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's source is missing: install googletest (make test-deps)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${gtest_source} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(library gtest gtest_main gmock gmock_main)
  target_compile_options(${library} PRIVATE -Wno-error)
endforeach()

wine_prefix_fixture()

# Console text and keys for the tests; every window call is the system's own, and the rest of
# the backend (the PNG writer) is linked behind it.
add_library(console_scripted STATIC ${CMAKE_CURRENT_SOURCE_DIR}/scripted/scripted_console.cpp)
target_link_libraries(console_scripted PUBLIC bmpcore)

# wine_test(NAME SOURCES... LIBS... [FILTER gtest-filter]): one Windows test binary, one test.
function(wine_test name)
  cmake_parse_arguments(arg "" "FILTER" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${arg_SOURCES})
  target_link_libraries(${name} PRIVATE ${arg_LIBS} gtest gtest_main)
  target_compile_definitions(${name} PRIVATE BMPSPECTRUM_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  set(filter)
  if(arg_FILTER)
    set(filter --gtest_filter=${arg_FILTER})
  endif()
  # The emulator (wine) runs it; no display, so that nothing of the run waits for one.
  add_test(NAME ${name} COMMAND ${name} ${filter})
  set_tests_properties(${name} PROPERTIES LABELS wine FIXTURES_REQUIRED wine_prefix
    ENVIRONMENT "WINEPREFIX=${wine_prefix};WINEDEBUG=-all"
    ENVIRONMENT_MODIFICATION "DISPLAY=unset:;WAYLAND_DISPLAY=unset:")
endfunction()

# The transform, the fast path for every kernel set this processor runs, the fast logarithm and
# the rendering. The whole program with its dialog is checked end to end by the Linux build.
wine_test(spectrum_tests
  SOURCES spectrum/fft1d_test.cpp spectrum/spectrum_test.cpp spectrum/fast_path_test.cpp
          spectrum/fast_log_test.cpp spectrum/picture_fixture.cpp spectrum/reference_spectrum.cpp
          spectrum/taper_test.cpp
  LIBS bmpcore console_scripted platform_windows
  FILTER -SpectrumTest.EveryModeKeyEndToEnd)

# The console text conversion of the Windows backend.
wine_test(windows_console_tests
  SOURCES platform/windows_console_text_test.cpp
  LIBS platform_windows)

# The reader on hostile files and on its table of broken ones (choosing through the dialog needs
# the scripted one); the test counts the reader's allocations through a wrapped malloc and
# platform block.
wine_test(bitmap_tests
  SOURCES bitmap/bitmap_reader_test.cpp bitmap/hostile_files_test.cpp
  LIBS bmpcore console_scripted platform_windows
  FILTER -BitmapReader.ChoosesThroughTheDialog)
target_link_options(bitmap_tests PRIVATE -Wl,--wrap=malloc -Wl,--wrap=obtainZeroedBlock)
