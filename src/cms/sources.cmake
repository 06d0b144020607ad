list(APPEND FXENGINE_SOURCES cms/tcms.cpp cms/transformbuilder.cpp cms/transformbuilder.h)
list(APPEND FXENGINE_PUBLIC_HEADERS cms/tcms.h)
