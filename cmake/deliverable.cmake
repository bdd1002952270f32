# ami_add_model(<name> SOURCES <src>... LIBRARIES <lib>... EXPORT_LISTS <file>... [EXCLUDE <symbol>...])
#
# Builds the model <name> as the shared library <name>_<width>.so (for example
# dorvex8_tx_x86_64.so), so that a model file can name one library per
# platform. The library exports exactly the symbols named in the export lists
# (one per line, '#' starts a comment) less the excluded ones, and carries its
# own copy of the C++ and GCC runtimes so that it needs nothing but libc and
# libm from the host process.
function(ami_add_model name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES;EXPORT_LISTS;EXCLUDE" ${ARGN})

  set(symbols)
  foreach(list_file IN LISTS ARG_EXPORT_LISTS)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
    file(STRINGS ${list_file} lines)
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "#.*" "" line "${line}")
      string(STRIP "${line}" line)
      if(line AND NOT line IN_LIST ARG_EXCLUDE)
        list(APPEND symbols ${line})
      endif()
    endforeach()
  endforeach()
  list(SORT symbols)

  set(expected ${CMAKE_CURRENT_BINARY_DIR}/${name}.exports)
  string(REPLACE ";" "\n" symbol_lines "${symbols}")
  file(WRITE ${expected} "${symbol_lines}\n")
  string(REPLACE ";" ";\n    " script_lines "${symbols}")
  set(version_script ${CMAKE_CURRENT_BINARY_DIR}/${name}.map)
  file(WRITE ${version_script} "{\n  global:\n    ${script_lines};\n  local: *;\n};\n")

  add_library(${name} SHARED ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} m)
  set_target_properties(${name} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${name}_${AMI_ARCH}
    LINK_DEPENDS ${version_script}
    # Where tests and the host program find the deliverable and its export list.
    AMI_EXPORT_LIST ${expected})
  target_link_options(${name} PRIVATE
    -static-libstdc++ -static-libgcc
    -Wl,--version-script=${version_script}
    -Wl,-Bsymbolic -Wl,--as-needed)
  # The sanitizer runtimes are resolved by the executable that loads the model.
  if(NOT AMI_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,-z,defs)
  endif()
endfunction()
