# fx_stage_headers(dir headers...): copies public headers into dir, the include directory
# that targets in this tree build against, so that they reach exactly what an installed
# package offers. The copies are refreshed whenever a header changes.
function(fx_stage_headers dir)
    foreach(header ${ARGN})
        get_filename_component(name ${header} NAME)
        configure_file(${CMAKE_CURRENT_SOURCE_DIR}/${header} ${dir}/${name} COPYONLY)
    endforeach()
endfunction()
