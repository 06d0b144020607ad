list(APPEND FXENGINE_SOURCES plugins/tpluginfactory.cpp)
list(APPEND FXENGINE_PUBLIC_HEADERS
    plugins/tfilterpluginif.h
    plugins/tfxpluginif.h
    plugins/tpluginfactory.h)
