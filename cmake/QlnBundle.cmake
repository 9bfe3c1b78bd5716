# `cmake --build <tree> --target bundle` makes <tree>/bundle/Quillon: the relocatable folder the
# updater installs (bin/, lib/, share/quillon/, bundle.ini) with bundle.sig made by quillon-sign
# with QLN_BUNDLE_SIGNING_KEY, the development key unless the publisher names its own.
set(QLN_BUNDLE_VERSION "1.0.1" CACHE STRING "version= of the bundle's bundle.ini")
set(QLN_BUNDLE_SIGNING_KEY
    "${PROJECT_SOURCE_DIR}/tools/dev-keys/DEVELOPMENT-ONLY-release-private.pem"
    CACHE FILEPATH "Private key that signs the bundle (PEM)")
set(qln_bundle_dir ${PROJECT_BINARY_DIR}/bundle/Quillon)
add_custom_target(bundle
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${qln_bundle_dir}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${qln_bundle_dir}/bin ${qln_bundle_dir}/lib
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:quillon> ${qln_bundle_dir}/bin/quillon
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_BINARY_DIR}/lib ${qln_bundle_dir}/lib
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${QLN_RESOURCE_DIR} ${qln_bundle_dir}/share/quillon
  COMMAND sh -c "printf 'identifier=app.quillon.free\\nversion=%s\\n' \"$1\" > \"$2\"" sh
          ${QLN_BUNDLE_VERSION} ${qln_bundle_dir}/bundle.ini
  COMMAND $<TARGET_FILE:quillon-sign> bundle ${qln_bundle_dir} ${QLN_BUNDLE_SIGNING_KEY}
  DEPENDS quillon quillon-sign qln_resources
  VERBATIM)
