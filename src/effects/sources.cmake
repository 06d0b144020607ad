list(APPEND FXENGINE_SOURCES
    effects/tfx.cpp
    effects/tfxstack.cpp
    effects/tfxstack_proc.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    effects/tfx.h
    effects/tfxstack.h)
