# Launchers of the Windows tree are packed by the host packer, the same command a packager runs.
set(TARNIC_HOST_TREE "${CMAKE_SOURCE_DIR}/out/host" CACHE PATH "host tree holding the packer")
set(TARNIC_PACK "${TARNIC_HOST_TREE}/packer/tarnic-pack")

# The kit: everything the packer needs to link a launcher. One "key=value" a line; lists are
# separated by ';'. Sections aligned to pages in the file as in memory, so that the loader can
# map the payload region from the file instead of reading all of it in at every start (Wine
# reads in every section of an image whose file alignment is smaller than a page).
set(TARNIC_KIT "${CMAKE_BINARY_DIR}/tarnic-kit.txt")
file(GENERATE OUTPUT "${TARNIC_KIT}" CONTENT "cxx=${CMAKE_CXX_COMPILER}
windres=${CMAKE_RC_COMPILER}
libraries=$<TARGET_FILE:tarnic_launcher_kit>;${TARNIC_ZSTD_DIR}/lib/libzstd.a;${TARGET_ZLIB}
system_libraries=-lshell32
link_options=-static;-municode;-Wl,--file-alignment=4096
manifest=${CMAKE_SOURCE_DIR}/build/launcher.manifest
")

# tarnic_add_launcher(<target> OUTPUT <exe> CONFIG <toml> [APP <folder> | REGION <file>]
#                     [DEPENDS <files or targets>...])
# Packs a launcher .exe from a configuration file, with an application folder or a region
# made beforehand in place of the configuration's own folder.
function(tarnic_add_launcher target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "OUTPUT;CONFIG;APP;REGION" "DEPENDS")
  set(source_args)
  if(arg_APP)
    set(source_args --app "${arg_APP}")
  elseif(arg_REGION)
    set(source_args --region "${arg_REGION}")
  endif()
  add_custom_command(OUTPUT "${arg_OUTPUT}"
    COMMAND "${TARNIC_PACK}" launcher --config "${arg_CONFIG}" --kit "${TARNIC_KIT}"
            --out "${arg_OUTPUT}" ${source_args}
    DEPENDS "${arg_CONFIG}" "${TARNIC_PACK}" "${TARNIC_KIT}" tarnic_launcher_kit ${arg_DEPENDS}
    COMMENT "Packing ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${arg_OUTPUT}")
endfunction()

# The icon the test launchers carry: the shipped one, drawn by the host tree.
set(TARNIC_TEST_ICON "${TARNIC_HOST_TREE}/build/icon/tessaline-deck.ico")

# tarnic_test_config(<file> SPEC <target spec> MAIN <main file> COMPANY <name> PRODUCT <name>
#                    [VERSIONS <version> <file version> <product version>])
# Writes the configuration of a test launcher; its application folder is given when packing.
function(tarnic_test_config file)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SPEC;MAIN;COMPANY;PRODUCT" "VERSIONS")
  if(NOT arg_VERSIONS)
    set(arg_VERSIONS 1.20.0.0 1.20.0.0 1.20.0.0)
  endif()
  list(GET arg_VERSIONS 0 version)
  list(GET arg_VERSIONS 1 file_version)
  list(GET arg_VERSIONS 2 product_version)
  file(WRITE ${file} "target_spec = '${arg_SPEC}'
[version]
company = \"${arg_COMPANY}\"
product = \"${arg_PRODUCT}\"
version = \"${version}\"
file_version = \"${file_version}\"
product_version = \"${product_version}\"
copyright = \"Copyright (C) 2026 Zarvel Dynamics\"
[application]
main = '${arg_MAIN}'
icon = '${TARNIC_TEST_ICON}'
")
endfunction()
