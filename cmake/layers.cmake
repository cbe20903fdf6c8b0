# The folders form layers: a folder includes headers of its own and of the
# folders below it, never of one above.  Configuring checks every source
# file's includes, so an include that runs upward stops the build here
# instead of waiting for a loop to grow.
#
#   kelvora_layer(FOLDER [MAY_USE folder...])
function(kelvora_layer folder)
  cmake_parse_arguments(LAYER "" "" "MAY_USE" ${ARGN})
  set(allowed ${folder} viewer/resources ${LAYER_MAY_USE})
  file(GLOB sources ${PROJECT_SOURCE_DIR}/${folder}/*.cpp ${PROJECT_SOURCE_DIR}/${folder}/*.h)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^#include \"(viewer|writer|cli|uninstaller)/")
    foreach(line ${includes})
      string(REGEX REPLACE "^#include \"(.*)/[^/]*\".*" "\\1" used "${line}")
      if(NOT used IN_LIST allowed)
        file(RELATIVE_PATH shown ${PROJECT_SOURCE_DIR} ${source})
        message(FATAL_ERROR "${shown} includes a header of ${used}, which ${folder} may not use "
                            "(it may use: ${LAYER_MAY_USE})")
      endif()
    endforeach()
  endforeach()
endfunction()
