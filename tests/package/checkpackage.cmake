# Installs the built project into a scratch prefix, checks that exactly the public headers are
# installed, then builds the host and plug-in in host/ against that prefix alone and runs it.
# Usage: cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<this folder> -DWORK_DIR=<scratch> -P checkpackage.cmake
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}")
    endif()
    set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

set(expected_fxengine
    fxanalysis.h fxengine_export.h tcms.h tfilterpluginif.h tfx.h tfxbasic.h tfxcimindproc.h tfxcommondata.h
    tfxfullproc.h tfxhalfproc.h tfxpluginif.h tfxstack.h tim.h tparam.h tparambool.h tparamchoices.h tparamcurve.h
    tparamdrawmask.h tparamfloat.h tparamgroup.h tparamint.h tparammhist.h tparamvisual.h tpluginfactory.h troi.h
    tfilter.h tfilterc.h tfiltercontext.h tfilterfx.h tfilterlut.h tfilterscript.h tfiltersink.h tfiltersrc.h
    tfiltertoplevela.h tfiltery.h tfilteryc.h tfilterycm.h tinport.h toutport.h tport.h)
set(expected_qximproca1
    colormanagement.h kernels.h mhist.h planepool.h qximproca.h qximproca1_export.h tdrawmask.h thistdraw.h timage.h
    tpimage.h tprogress.h tuid.h tupdaterect.h)
foreach(dir fxengine qximproca1)
    file(GLOB installed RELATIVE ${prefix}/include/${dir} ${prefix}/include/${dir}/*)
    list(SORT installed)
    set(expected ${expected_${dir}})
    list(SORT expected)
    if(NOT installed STREQUAL expected)
        message(FATAL_ERROR "installed headers in include/${dir}:\n  ${installed}\nexpected:\n  ${expected}")
    endif()
endforeach()

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/host -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/pkghost)
message(STATUS "${last_output}")
if(NOT last_output MATCHES "package host ok")
    message(FATAL_ERROR "the package host did not finish")
endif()
