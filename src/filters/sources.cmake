# The filter graph: one public class per header/source pair.
set(FX_FILTER_CLASSES
    tfilter tfiltercontext tport tinport toutport
    tfiltery tfilterc tfilteryc tfilterycm tfilterfx
    tfilterscript tfiltersrc tfiltersink tfiltertoplevela tfilterlut)
foreach(class ${FX_FILTER_CLASSES})
    if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/${class}.cpp)
        list(APPEND FXENGINE_SOURCES filters/${class}.cpp)
        list(APPEND FXENGINE_PUBLIC_HEADERS filters/${class}.h)
    endif()
endforeach()
