# `cmake --install <tree> --prefix <folder>` makes <folder> the relocatable bundle: bin/quillon,
# the shared libraries it loads in lib/, the pages in share/quillon/, bundle.ini, and bundle.sig
# made by quillon-sign with QLN_BUNDLE_SIGNING_KEY, the development key unless the publisher names
# its own. `cmake --build <tree> --target bundle` installs one into <tree>/bundle/Quillon.

# The prefix becomes the program's own folder, which updates replace whole: never a shared one
# such as /usr/local.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
  set(CMAKE_INSTALL_PREFIX /opt/quillon CACHE PATH "The program folder to install" FORCE)
endif()
set(QLN_BUNDLE_VERSION "${PROJECT_VERSION}" CACHE STRING "version= of the bundle's bundle.ini")
set(QLN_BUNDLE_SIGNING_KEY
    "${PROJECT_SOURCE_DIR}/tools/dev-keys/DEVELOPMENT-ONLY-release-private.pem"
    CACHE FILEPATH "Private key that signs the bundle (PEM)")

set(qln_bundle_dir ${PROJECT_BINARY_DIR}/bundle/Quillon)
add_custom_target(bundle
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${qln_bundle_dir}
  COMMAND ${CMAKE_COMMAND} --install ${PROJECT_BINARY_DIR} --prefix ${qln_bundle_dir}
  VERBATIM)
add_dependencies(bundle quillon-sign qln_resources)

# The programs of bin/ and the shared libraries of lib/, which find each other through the rpath
# $ORIGIN/../lib. Each is a target; an imported one is installed as the file it names and is
# built with the programs that link it.
set(QLN_BUNDLE_PROGRAMS quillon)
set(QLN_BUNDLE_LIBRARIES qln_webview quillon_program)

install(TARGETS ${QLN_BUNDLE_PROGRAMS} RUNTIME DESTINATION bin)
add_dependencies(bundle ${QLN_BUNDLE_PROGRAMS})
foreach(library IN LISTS QLN_BUNDLE_LIBRARIES)
  get_target_property(imported ${library} IMPORTED)
  if(imported)
    install(IMPORTED_RUNTIME_ARTIFACTS ${library} LIBRARY DESTINATION lib)
  else()
    install(TARGETS ${library} LIBRARY DESTINATION lib)
    add_dependencies(bundle ${library})
  endif()
endforeach()
install(DIRECTORY ${QLN_RESOURCE_DIR}/ DESTINATION share/quillon)

set(qln_bundle_ini ${PROJECT_BINARY_DIR}/bundle-files/bundle.ini)
file(CONFIGURE OUTPUT ${qln_bundle_ini}
  CONTENT "identifier=app.quillon.free\nversion=${QLN_BUNDLE_VERSION}\n")
install(FILES ${qln_bundle_ini} DESTINATION .)

# Signed last, over everything installed before it.
install(CODE "
  set(qln_bundle \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  execute_process(
    COMMAND \"$<TARGET_FILE:quillon-sign>\" bundle \"\${qln_bundle}\" \"${QLN_BUNDLE_SIGNING_KEY}\"
    RESULT_VARIABLE qln_signed)
  if(NOT qln_signed EQUAL 0)
    message(FATAL_ERROR \"quillon-sign could not sign the bundle \${qln_bundle}\")
  endif()")
