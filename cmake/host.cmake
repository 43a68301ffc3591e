# Settings of the host tree (the packer, native on the build machine).
find_package(GTest REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(ZSTD REQUIRED IMPORTED_TARGET libzstd)
add_compile_options(-Wall -Wextra)
enable_language(ASM)
