list(APPEND FXENGINE_SOURCES
    params/tparam.cpp
    params/tparambool.cpp
    params/tparamchoices.cpp
    params/tparamcurve.cpp
    params/tparamdrawmask.cpp
    params/tparamfloat.cpp
    params/tparamgroup.cpp
    params/tparamint.cpp
    params/tparammhist.cpp
    params/tparamvisual.cpp
    params/paramsearch.h
    params/presetlist.h)
list(APPEND FXENGINE_PUBLIC_HEADERS
    params/tparam.h
    params/tparambool.h
    params/tparamchoices.h
    params/tparamcurve.h
    params/tparamdrawmask.h
    params/tparamfloat.h
    params/tparamgroup.h
    params/tparamint.h
    params/tparammhist.h
    params/tparamvisual.h)
