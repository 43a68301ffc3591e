# The Tarnic package: tarnic-pack, the packer (the imported target Tarnic::tarnic-pack), and
# tarnic_add_launcher(), which packs a launcher as part of a project's build (see
# launchers.cmake beside this file, and share/doc/tarnic/packaging.md).
if(CMAKE_VERSION VERSION_LESS 3.21)
  message(FATAL_ERROR "Tarnic needs CMake 3.21 or later, whose custom commands take a depfile "
    "with every generator; this is ${CMAKE_VERSION}.")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/TarnicTargets.cmake")
include("${CMAKE_CURRENT_LIST_DIR}/launchers.cmake")
