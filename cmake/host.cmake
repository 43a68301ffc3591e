# Settings of the host tree (the packer, native on the build machine).
find_package(GTest REQUIRED)
# zlib as its static archive, since the packer links statically (packer/CMakeLists.txt); under
# the name FindZLIB gives, whose cache would keep the shared library of a tree made before.
find_library(TARNIC_ZLIB_ARCHIVE libz.a REQUIRED)
add_library(ZLIB::ZLIB STATIC IMPORTED)
set_target_properties(ZLIB::ZLIB PROPERTIES IMPORTED_LOCATION ${TARNIC_ZLIB_ARCHIVE})
# zstd with worker threads, which Debian's static archive lacks, built by scripts/setup from
# Debian's source package.
set(TARNIC_ZSTD_DIR "${CMAKE_SOURCE_DIR}/out/third_party/zstd" CACHE PATH "zstd built by setup")
add_library(zstd_full STATIC IMPORTED GLOBAL)
set_target_properties(zstd_full PROPERTIES
  IMPORTED_LOCATION "${TARNIC_ZSTD_DIR}/lib/libzstd-host.a"
  INTERFACE_INCLUDE_DIRECTORIES "${TARNIC_ZSTD_DIR}/include")
add_compile_options(-Wall -Wextra)
enable_language(ASM)
