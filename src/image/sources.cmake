list(APPEND FXENGINE_SOURCES
    image/tfxcommondata.cpp
    image/tim.cpp
    image/troi.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    image/tfxcommondata.h
    image/tim.h
    image/troi.h)
