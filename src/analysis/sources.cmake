list(APPEND FXENGINE_SOURCES
    analysis/fxanalysis.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    analysis/fxanalysis.h)
