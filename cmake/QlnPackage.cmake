# `cmake --build <tree> --target package` makes, from the installed bundle, the .deb (the bundle
# as /opt/quillon with the desktop files of packaging/, /usr/bin/quillon and the man page) and
# the .tar.gz (the bundle in one folder, for users without a package manager).
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_PACKAGE_NAME quillon)
set(CPACK_PACKAGE_VERSION ${QLN_BUNDLE_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillon developers")
set(CPACK_PACKAGE_CONTACT "Quillon developers <packages@quillon.app>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "auto clicker, key spammer and macro recorder for X11")
set(CPACK_PACKAGE_DESCRIPTION "Quillon clicks, types and replays recorded mouse and keyboard input.
Global hotkeys start and stop each tool from any application. Its own window
sets the intervals, the click location, the keys and the recordings of three
profiles.")
set(CPACK_PACKAGE_FILE_NAME quillon-${QLN_BUNDLE_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/QlnDebStage.cmake)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/QlnPackageGenerator.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://quillon.app)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Read by QlnDebStage.cmake: the files it adds and the tool that signs the bundle again.
set(CPACK_QLN_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(CPACK_QLN_SIGN_TOOL_FILE ${PROJECT_BINARY_DIR}/bundle-files/sign-tool.cmake)
file(GENERATE OUTPUT ${CPACK_QLN_SIGN_TOOL_FILE}
  CONTENT "set(qln_sign_tool \"$<TARGET_FILE:quillon-sign>\")\n")
set(CPACK_QLN_SIGNING_KEY ${QLN_BUNDLE_SIGNING_KEY})
include(CPack)
