# Configurations of the test launchers, which the end-to-end and fault tests pack.

# tarnic_test_config(<file> SPEC <target spec> MAIN <main file> COMPANY <name> PRODUCT <name>
#                    [VERSIONS <version> <file version> <product version>]
#                    [LAUNCHER console|windowed] [ARGUMENTS <TOML array items>]
#                    [SHARED_TARGET] [REMOVE_AFTER_EXIT] [KEEP_VERSIONS <count>])
# Writes the configuration of a test launcher; its application folder is given when packing.
# The launcher carries the packer's own icon. SHARED_TARGET allows a spec that starts outside
# the user's own folders; REMOVE_AFTER_EXIT has the launcher remove what it unpacked;
# KEEP_VERSIONS keeps that many versions beside each other.
function(tarnic_test_config file)
  cmake_parse_arguments(PARSE_ARGV 1 arg "SHARED_TARGET;REMOVE_AFTER_EXIT"
    "SPEC;MAIN;COMPANY;PRODUCT;LAUNCHER;ARGUMENTS;KEEP_VERSIONS"
    "VERSIONS")
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
  if(arg_SHARED_TARGET)
    string(APPEND launcher_line "shared_target = true\n")
  endif()
  if(arg_REMOVE_AFTER_EXIT)
    string(APPEND launcher_line "remove_after_exit = true\n")
  endif()
  if(arg_KEEP_VERSIONS)
    string(APPEND launcher_line "keep_versions = ${arg_KEEP_VERSIONS}\n")
  endif()
  if(arg_ARGUMENTS)
    string(APPEND launcher_line "arguments = [${arg_ARGUMENTS}]\n")
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
