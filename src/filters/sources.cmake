list(APPEND FXENGINE_SOURCES
    filters/tfilter.cpp
    filters/tfiltercontext.cpp
    filters/tfilterc.cpp
    filters/tfilterfx.cpp
    filters/tfiltery.cpp
    filters/tfilteryc.cpp
    filters/tfilterycm.cpp
    filters/tinport.cpp
    filters/toutport.cpp
    filters/tport.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    filters/tfilter.h
    filters/tfiltercontext.h
    filters/tfilterc.h
    filters/tfilterfx.h
    filters/tfiltery.h
    filters/tfilteryc.h
    filters/tfilterycm.h
    filters/tinport.h
    filters/toutport.h
    filters/tport.h)
