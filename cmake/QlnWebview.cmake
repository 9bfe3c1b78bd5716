# The web view library: the prebuilt webview 0.12 C library of the npm package webview-bun, pinned
# by package-lock.json. The build keeps it as lib/libwebview.so.0.12 (its SONAME) so that
# bin/quillon finds it through the rpath $ORIGIN/../lib, in the build tree and installed alike.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|arm64)$")
  set(qln_webview_arch arm64)
else()
  set(qln_webview_arch x64)
endif()
set(QLN_WEBVIEW_SOURCE
  ${PROJECT_SOURCE_DIR}/node_modules/webview-bun/build/libwebview-${qln_webview_arch}.so)
if(NOT EXISTS ${QLN_WEBVIEW_SOURCE})
  message(FATAL_ERROR "The web view library ${QLN_WEBVIEW_SOURCE} is missing: run "
    "scripts/install-deps.sh, which installs the npm packages of package-lock.json.")
endif()

find_program(QLN_PATCHELF patchelf)
if(NOT QLN_PATCHELF)
  message(FATAL_ERROR "patchelf is missing: run scripts/install-deps.sh.")
endif()

set(QLN_WEBVIEW_LIBRARY ${PROJECT_BINARY_DIR}/lib/libwebview.so.0.12)
# The published library carries a RUNPATH of empty entries, which the loader takes as the working
# directory: a libgtk-4.so.1 or the like planted wherever quillon starts would be loaded. The copy
# has no RUNPATH, so its dependencies come from the system only.
add_custom_command(OUTPUT ${QLN_WEBVIEW_LIBRARY}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/lib
  COMMAND ${CMAKE_COMMAND} -E copy ${QLN_WEBVIEW_SOURCE} ${QLN_WEBVIEW_LIBRARY}.tmp
  COMMAND ${QLN_PATCHELF} --remove-rpath ${QLN_WEBVIEW_LIBRARY}.tmp
  COMMAND ${CMAKE_COMMAND} -E rename ${QLN_WEBVIEW_LIBRARY}.tmp ${QLN_WEBVIEW_LIBRARY}
  DEPENDS ${QLN_WEBVIEW_SOURCE}
  COMMENT "Placing the web view library as lib/libwebview.so.0.12"
  VERBATIM)
add_custom_target(qln_webview_library DEPENDS ${QLN_WEBVIEW_LIBRARY})

add_library(qln_webview SHARED IMPORTED GLOBAL)
set_target_properties(qln_webview PROPERTIES
  IMPORTED_LOCATION ${QLN_WEBVIEW_LIBRARY}
  IMPORTED_SONAME libwebview.so.0.12)
add_dependencies(qln_webview qln_webview_library)

