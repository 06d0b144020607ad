# Installs the built project into a scratch prefix, then checks one side of it:
#   CHECK=host    exactly the public headers are installed, and the host and plug-in in host/
#                 build against that prefix alone and run;
#   CHECK=fxhost  the installed plug-ins reach the prefix's libraries, and the installed fxhost
#                 runs from the prefix alone with its bundled plug-ins and scripts.
# Usage: cmake -DCHECK=host|fxhost -DBUILD_DIR=<build> -DSOURCE_DIR=<this folder>
#        -DWORK_DIR=<scratch> [-DWITH_PLUGINS=ON] [-DWITH_FXHOST=ON] -P checkpackage.cmake
if(NOT CHECK MATCHES "^(host|fxhost)$")
    message(FATAL_ERROR "CHECK must be host or fxhost")
endif()
cmake_policy(SET CMP0057 NEW)
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

if(CHECK STREQUAL "host")
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
    return()
endif()

# The bundled plug-ins sit in bin/filters, one folder deeper than fxhost: their own RPATH has to
# reach the prefix's libraries. (Loaded by fxhost they would find them anyway, as fxhost has
# them loaded already, so this is checked on the files.)
if(WITH_PLUGINS)
    file(GLOB plugins ${prefix}/bin/filters/*.so)
    if(NOT plugins)
        message(FATAL_ERROR "no plug-ins installed in ${prefix}/bin/filters")
    endif()
    file(GET_RUNTIME_DEPENDENCIES LIBRARIES ${plugins} RESOLVED_DEPENDENCIES_VAR resolved
        UNRESOLVED_DEPENDENCIES_VAR unresolved PRE_INCLUDE_REGEXES "fxengine|qximproca1" PRE_EXCLUDE_REGEXES ".*")
    if(unresolved)
        message(FATAL_ERROR "the installed plug-ins cannot find ${unresolved} through their RPATH")
    endif()
    file(REAL_PATH ${prefix} real_prefix)
    foreach(library ${resolved})
        file(REAL_PATH ${library} real)
        string(FIND "${real}" "${real_prefix}/" at)
        if(NOT at EQUAL 0)
            message(FATAL_ERROR "an installed plug-in links ${real}, outside the prefix")
        endif()
    endforeach()
endif()

# The installed fxhost, with nothing pointing it at the build tree: it finds its libraries
# through its RPATH and its plug-ins and scripts in bin/filters beside it.
if(WITH_FXHOST)
    set(fxhost ${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${prefix}/bin/fxhost)
    run(${fxhost} --help)
    set(commands "${last_output}")
    if(commands MATCHES "\n  list ")
        execute_process(COMMAND ${fxhost} list --json RESULT_VARIABLE rc OUTPUT_VARIABLE listing ERROR_VARIABLE errors)
        if(NOT rc EQUAL 0)
            message(FATAL_ERROR "fxhost list --json failed (${rc}):\n${errors}")
        endif()
        set(keys)
        foreach(kind effects filters)
            string(JSON count ERROR_VARIABLE json_error LENGTH "${listing}" ${kind})
            if(json_error)
                message(FATAL_ERROR "fxhost list --json: ${json_error}\n${listing}")
            endif()
            foreach(i RANGE ${count})
                if(i LESS count)
                    string(JSON key GET "${listing}" ${kind} ${i} key)
                    list(APPEND keys ${key})
                endif()
            endforeach()
        endforeach()
        foreach(key Exposure Vignette TFGamma AutoTone)
            if(NOT key IN_LIST keys)
                message(FATAL_ERROR "the installed fxhost does not list ${key}; it lists: ${keys}")
            endif()
        endforeach()
    else()
        message(STATUS "fxhost has no list command yet; the listing is not checked")
    endif()
    if(commands MATCHES "\n  apply ")
        set(picture ${WORK_DIR}/applied.png)
        run(${fxhost} apply --fx Exposure:exposure=0.5 -o ${picture} --quiet)
        if(NOT EXISTS ${picture})
            message(FATAL_ERROR "the installed fxhost wrote no ${picture}:\n${last_output}")
        endif()
        file(READ ${picture} signature LIMIT 8 HEX)
        if(NOT signature STREQUAL "89504e470d0a1a0a")
            message(FATAL_ERROR "${picture} is not a PNG file")
        endif()
    else()
        message(STATUS "fxhost has no apply command yet; applying is not checked")
    endif()
endif()
