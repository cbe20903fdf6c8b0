# The one version number, from project(): a header for the programs and a
# version resource for each Windows program.
configure_file(${CMAKE_CURRENT_LIST_DIR}/kelvora_version.h.in
               ${CMAKE_BINARY_DIR}/generated/kelvora_version.h @ONLY)
add_library(kelvora_version INTERFACE)
target_include_directories(kelvora_version INTERFACE ${CMAKE_BINARY_DIR}/generated)

# kelvora_version_resource(TARGET DESCRIPTION): gives a Windows program a
# VERSIONINFO block with the product, the file version and the description.
function(kelvora_version_resource target description)
  set(KELVORA_RC_DESCRIPTION "${description}")
  set(KELVORA_RC_NAME "${target}")
  set(KELVORA_RC_FILENAME "${target}.exe")
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
