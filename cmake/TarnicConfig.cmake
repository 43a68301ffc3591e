# The Tarnic package: tarnic-pack, the packer (the imported target Tarnic::tarnic-pack), and
# tarnic_add_launcher(), which packs a launcher as part of a project's build (see
# launchers.cmake beside this file, and share/doc/tarnic/packaging.md).
if(CMAKE_VERSION VERSION_LESS 3.21)
  # Not found, as find_package() reports it: a REQUIRED call stops with this message, another
  # goes on without the package.
  set(Tarnic_FOUND FALSE)
  string(CONCAT Tarnic_NOT_FOUND_MESSAGE "Tarnic needs CMake 3.21 or later, whose custom "
    "commands take a depfile with every generator: this is ${CMAKE_VERSION}.")
  return()
endif()
include("${CMAKE_CURRENT_LIST_DIR}/TarnicTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/launchers.cmake")
