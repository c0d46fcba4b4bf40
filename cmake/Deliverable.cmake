# sfx_deliverable(target): puts the target's file into the dist folder.
function(sfx_deliverable target)
  set_target_properties(${target} PROPERTIES
    RUNTIME_OUTPUT_DIRECTORY "${SFX_DIST_DIR}"
    LIBRARY_OUTPUT_DIRECTORY "${SFX_DIST_DIR}")
  if(WIN32)
    # builder.dll, not libbuilder.dll.
    set_target_properties(${target} PROPERTIES PREFIX "")
  endif()
endfunction()
