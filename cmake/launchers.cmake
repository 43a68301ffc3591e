# Launchers of the Windows tree are packed by the host packer, the same command a packager
# runs. The packer is an input of this tree, passed explicitly (scripts/build does): it is
# built after this tree's launcher images, which it carries.
set(TARNIC_PACK "" CACHE FILEPATH "tarnic-pack of the host tree, which packs this tree's launchers")
if(NOT TARNIC_PACK)
  message(FATAL_ERROR "Pass -DTARNIC_PACK=<host tree>/packer/tarnic-pack (scripts/build does).")
endif()

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
    COMMAND "${TARNIC_PACK}" --quiet launcher --config "${arg_CONFIG}" --out "${arg_OUTPUT}"
            ${source_args}
    DEPENDS "${arg_CONFIG}" "${TARNIC_PACK}" ${arg_DEPENDS}
    COMMENT "Packing ${arg_OUTPUT}"
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS "${arg_OUTPUT}")
endfunction()

# tarnic_test_config(<file> SPEC <target spec> MAIN <main file> COMPANY <name> PRODUCT <name>
#                    [VERSIONS <version> <file version> <product version>]
#                    [LAUNCHER console|windowed])
# Writes the configuration of a test launcher; its application folder is given when packing.
# The launcher carries the packer's own icon.
function(tarnic_test_config file)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SPEC;MAIN;COMPANY;PRODUCT;LAUNCHER" "VERSIONS")
  if(NOT arg_VERSIONS)
    set(arg_VERSIONS 1.20.0.0 1.20.0.0 1.20.0.0)
  endif()
  list(GET arg_VERSIONS 0 version)
  list(GET arg_VERSIONS 1 file_version)
  list(GET arg_VERSIONS 2 product_version)
  set(launcher_line "")
  if(arg_LAUNCHER)
    set(launcher_line "launcher = \"${arg_LAUNCHER}\"\n")
  endif()
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
${launcher_line}")
endfunction()
