# Settings of the Windows tree.

# The packer carries files in its binary through an assembler file (packer/embedded_files.S),
# and its manifest in a resource file.
enable_language(ASM RC)

# zstd built by scripts/setup from Debian's source package: the decoder alone for the
# launcher, the whole library for the packer.
set(TARNIC_ZSTD_DIR "${CMAKE_SOURCE_DIR}/out/third_party/zstd" CACHE PATH "zstd built for the target")
add_library(zstd_decoder STATIC IMPORTED GLOBAL)
set_target_properties(zstd_decoder PROPERTIES
  IMPORTED_LOCATION "${TARNIC_ZSTD_DIR}/lib/libzstd.a"
  INTERFACE_INCLUDE_DIRECTORIES "${TARNIC_ZSTD_DIR}/include")
add_library(zstd_full STATIC IMPORTED GLOBAL)
set_target_properties(zstd_full PROPERTIES
  IMPORTED_LOCATION "${TARNIC_ZSTD_DIR}/lib/libzstd-full.a"
  INTERFACE_INCLUDE_DIRECTORIES "${TARNIC_ZSTD_DIR}/include")

find_library(TARGET_ZLIB libz.a REQUIRED)
add_library(target_zlib STATIC IMPORTED GLOBAL)
set_target_properties(target_zlib PROPERTIES IMPORTED_LOCATION "${TARGET_ZLIB}")

# Every program imports only system DLLs; wmain is the entry point. No time stamp in the
# image, so that one source gives the same bytes, and packed applications the same regions.
add_link_options(-static -municode -Wl,--no-insert-timestamp)
# The launcher's own code is built for size: every packed application carries it, and its time
# goes to system calls, the decoder and crc32, which come built for speed (scripts/setup's zstd,
# Debian's zlib).
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")
# The launcher writes through msvcrt's own stdio, whose buffering and text mode it relies on.
add_compile_definitions(__USE_MINGW_ANSI_STDIO=0 UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

# clang-tidy (scripts/lint) reads the compile commands.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

# Launcher code: warnings are errors.
set(TARNIC_LAUNCHER_WARNINGS -Wall -Wextra -Werror)

# GoogleTest from Debian's source, built with the cross toolchain.
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# tarnic_windows_test(<name> [TIMEOUT <seconds>] <sources>...): a Windows test program whose
# tests ctest runs under Wine, each given 300 s unless TIMEOUT says otherwise. Tests are listed
# when ctest runs, so the build needs no Wine.
function(tarnic_windows_test name)
  cmake_parse_arguments(PARSE_ARGV 1 test "" "TIMEOUT" "")
  if(NOT test_TIMEOUT)
    set(test_TIMEOUT 300)
  endif()
  add_executable(${name} ${test_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE test_support GTest::gtest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${test_TIMEOUT})
endfunction()

# Launchers of this tree are packed by the host packer, the same command a packager runs, through
# the same tarnic_add_launcher() (cmake/launchers.cmake) that the installed package gives: here
# Tarnic::tarnic-pack is that packer, an input of this tree passed explicitly (scripts/build
# does). It is built after this tree's launcher images, which it carries.
set(TARNIC_PACK "" CACHE FILEPATH "tarnic-pack of the host tree, which packs this tree's launchers")
if(NOT TARNIC_PACK)
  message(FATAL_ERROR "Pass -DTARNIC_PACK=<host tree>/packer/tarnic-pack (scripts/build does).")
endif()
add_executable(Tarnic::tarnic-pack IMPORTED GLOBAL)
set_target_properties(Tarnic::tarnic-pack PROPERTIES IMPORTED_LOCATION "${TARNIC_PACK}")
