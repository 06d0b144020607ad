list(APPEND FXENGINE_SOURCES
    effects/tfx.cpp
    effects/tfxbasic.cpp
    effects/tfxbasic_blend.cpp
    effects/tfxcimindproc.cpp
    effects/tfxfullproc.cpp
    effects/tfxhalfproc.cpp
    effects/tfxstack.cpp
    effects/tfxstack_proc.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    effects/tfx.h
    effects/tfxbasic.h
    effects/tfxcimindproc.h
    effects/tfxfullproc.h
    effects/tfxhalfproc.h
    effects/tfxstack.h)
