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

# kelvora_manifest(TARGET LEVEL WHAT): gives a Windows program its
# application manifest.  A 32-bit program without one runs with file and
# registry virtualisation, its writes to Program Files, the Fonts folder or
# HKLM perhaps redirected to a per-user store, and its elevation guessed
# from its file name.  LEVEL is asInvoker or requireAdministrator.  The
# supportedOS entries (Vista to 11) keep the system from applying older
# compatibility shims; there is no DPI awareness on purpose, so that the
# system scales the pixel layouts instead of showing them tiny.
function(kelvora_manifest target level what)
  set(KELVORA_MANIFEST_LEVEL "${level}")
  set(KELVORA_MANIFEST_WHAT "${what}")
  set(manifest ${CMAKE_BINARY_DIR}/generated/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/app.manifest.in ${manifest} @ONLY)
  set(rc ${CMAKE_BINARY_DIR}/generated/${target}_manifest.rc)
  # 1 is the manifest a program is started with, 24 the manifest type.
  file(WRITE ${rc} "1 24 \"${manifest}\"\n")
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
  target_sources(${target} PRIVATE ${rc})
endfunction()
