# The ICC profiles fxengine embeds. iccgen writes them at build time from published
# colorimetry; a generated .qrc compiles them into the library under ":/iccprofiles/".
# Nothing here is copied from elsewhere or kept in the repository.

set(FXENGINE_ICC_PROFILES
    ProPhoto.icc
    CIERGB.icc
    Adobe98.icc
    AppleRGB.icc
    sRGB_IEC61966-2-1_black_scaled.icc
    MelissaRGB.icc
    WideGamut.icc
    sRGB_IEC61966-2-1_no_black_scaling.icc
    sRGB_v4_ICC_preference.icc
    sRGB_v4_ICC_preference_displayclass.icc
)

set(FXENGINE_ICC_DIR ${CMAKE_CURRENT_BINARY_DIR}/iccprofiles)
set(FXENGINE_ICC_FILES)
set(FXENGINE_ICC_QRC_ENTRIES)
# One rule per file, so that a profile that went missing is made again.
foreach(profile ${FXENGINE_ICC_PROFILES})
    add_custom_command(
        OUTPUT ${FXENGINE_ICC_DIR}/${profile}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${FXENGINE_ICC_DIR}
        COMMAND iccgen ${FXENGINE_ICC_DIR} ${profile}
        DEPENDS iccgen
        COMMENT "Generating ICC profile ${profile}"
        VERBATIM)
    list(APPEND FXENGINE_ICC_FILES ${FXENGINE_ICC_DIR}/${profile})
    string(APPEND FXENGINE_ICC_QRC_ENTRIES "        <file>${profile}</file>\n")
endforeach()

# The .qrc is written at configure time so that qt5_add_resources can read the file list
# and make the resource compilation depend on the generated profiles; configure_file only
# touches it when the list changed, so the resources are not recompiled on every configure.
set(FXENGINE_ICC_QRC ${FXENGINE_ICC_DIR}/iccprofiles.qrc)
file(WRITE ${FXENGINE_ICC_QRC}.in
    "<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n    <qresource prefix=\"/iccprofiles\">\n"
    "${FXENGINE_ICC_QRC_ENTRIES}    </qresource>\n</RCC>\n")
configure_file(${FXENGINE_ICC_QRC}.in ${FXENGINE_ICC_QRC} COPYONLY)

qt5_add_resources(FXENGINE_ICC_RESOURCES ${FXENGINE_ICC_QRC})
target_sources(fxengine PRIVATE ${FXENGINE_ICC_RESOURCES})
