# A Debian package of the install tree: `cpack -G DEB` in a build directory (configured with
# -DCMAKE_BUILD_TYPE=Release) writes fxengine_<version>_<arch>.deb.
#
# The package installs under /usr: the libraries and the package config in lib/, fxhost in
# bin/ and the bundled plug-ins and scripts in bin/filters, because the plug-in factory looks
# for them beside the application. Its Depends are worked out by dpkg-shlibdeps from what the
# binaries link, so they follow the distribution's Qt, OpenCV and LittleCMS packages.
set(FXENGINE_PACKAGE_MAINTAINER "fxengine maintainers <fxengine@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME fxengine)
set(CPACK_PACKAGE_VENDOR "fxengine maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "non-destructive image-effect engine with a command-line photo editor")
# The Debian description's first line is the summary; this is the text below it.
set(CPACK_PACKAGE_DESCRIPTION
    "fxengine is a shared library on Qt 5, OpenCV and LittleCMS 2 that applies
stacks of photo effects, restricted by painted masks, at chosen resolution
levels. The package holds the libraries, their headers and CMake package
config (find_package(fxengine)), the bundled effect and filter plug-ins and
scripts, and fxhost, which edits photos from the command line with recipes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${FXENGINE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The plug-ins link our own libraries, which no installed package provides yet; dpkg-shlibdeps
# finds them in the build tree and, as they are part of this package, adds no Depends for them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})

include(CPack)
