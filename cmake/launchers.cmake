# tarnic_add_launcher(<target> OUTPUT <exe> CONFIG <toml> [APP <folder> | REGION <file>]
#                     [ICON <file>] [EXCLUDE <patterns>...] [LEVEL <1..22>] [THREADS <count>]
#                     [DEPENDS <files or targets>...])
#
# Packs the launcher <exe> with tarnic-pack (the imported target Tarnic::tarnic-pack) from the
# configuration <toml> and the application folder APP (else the configuration's own folder), or
# a region made beforehand, at the zstd level LEVEL (19 when not given) on THREADS threads (the
# machine's processors). ICON replaces the configuration's icon; EXCLUDE patterns leave files
# out besides the configuration's own (not with REGION, which holds what it was packed with). <target> builds it as part of ALL; the packer makes the folder of
# <exe> when it is missing, with every generator. The launcher is packed again
# when the configuration, its icon, the packer, or any file or folder of the application (or
# the region) changes: the packer names what it read in a depfile. DEPENDS adds what must be
# done before the packer reads the application, such as the target that makes its folder.
# Relative paths are taken below the current source folder, OUTPUT below the current binary
# folder. The repository's own tree and the installed package (TarnicConfig.cmake) share this
# file.

# The packer writes absolute paths into the depfile; with CMP0116 every generator reads them
# right, whatever policies the calling project has. A function keeps the policies of its
# definition.
cmake_policy(PUSH)
cmake_policy(SET CMP0116 NEW)

function(tarnic_add_launcher target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;CONFIG;APP;REGION;ICON;LEVEL;THREADS"
    "EXCLUDE;DEPENDS")
  if(NOT arg_OUTPUT OR NOT arg_CONFIG)
    message(FATAL_ERROR "tarnic_add_launcher(${target}): OUTPUT and CONFIG are required")
  endif()
  if(arg_APP AND arg_REGION)
    message(FATAL_ERROR "tarnic_add_launcher(${target}): APP and REGION exclude each other")
  endif()
  if(arg_EXCLUDE AND arg_REGION)
    message(FATAL_ERROR "tarnic_add_launcher(${target}): a REGION holds what it was packed with; "
      "EXCLUDE applies to APP")
  endif()
  if(arg_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tarnic_add_launcher(${target}): unknown arguments ${arg_UNPARSED_ARGUMENTS}")
  endif()
  cmake_path(ABSOLUTE_PATH arg_OUTPUT BASE_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}")
  set(command --quiet launcher)
  foreach(option CONFIG APP REGION ICON)
    if(arg_${option})
      cmake_path(ABSOLUTE_PATH arg_${option} BASE_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}")
      string(TOLOWER "--${option}" flag)
      list(APPEND command ${flag} "${arg_${option}}")
    endif()
  endforeach()
  foreach(option LEVEL THREADS)
    if(DEFINED arg_${option})
      string(TOLOWER "--${option}" flag)
      list(APPEND command ${flag} "${arg_${option}}")
    endif()
  endforeach()
  foreach(pattern IN LISTS arg_EXCLUDE)
    list(APPEND command --exclude "${pattern}")
  endforeach()
  set(depfile "${CMAKE_CURRENT_BINARY_DIR}/${target}.launcher.d")
  # Makefile generators (CMake 3.25) add each depfile to the inputs they knew before, and take
  # a file that no longer exists for one made anew: a file removed from the application would
  # have every later build pack again. What they knew goes before each pack; they read the
  # packer's new depfile in full at the next build.
  set(forget_inputs)
  if(CMAKE_GENERATOR MATCHES "Makefiles")
    set(forget_inputs COMMAND "${CMAKE_COMMAND}" -E rm -f
      "${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/${target}.dir/compiler_depend.internal")
  endif()
  add_custom_command(OUTPUT "${arg_OUTPUT}"
    ${forget_inputs}
    COMMAND "$<TARGET_FILE:Tarnic::tarnic-pack>" ${command} --out "${arg_OUTPUT}"
            --depfile "${depfile}"
    DEPENDS "${arg_CONFIG}" ${arg_ICON} "$<TARGET_FILE:Tarnic::tarnic-pack>" ${arg_DEPENDS}
    DEPFILE "${depfile}"
    COMMENT "Packing ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${arg_OUTPUT}")
endfunction()

cmake_policy(POP)
