list(APPEND FXENGINE_SOURCES
    image/tfxcommondata.cpp
    image/tim.cpp
    image/troi.cpp
    image/tsampleimage.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    image/fxtrace.h
    image/tfxcommondata.h
    image/tim.h
    image/troi.h
    image/tsampleimage.h)
