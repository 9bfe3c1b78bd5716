# Run by CPack on the staged files before it packs them. For the .deb it marks the bundle as the
# package manager's (the updater leaves such a bundle alone), signs it again with the mark, and
# adds what a Debian package has outside it.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root ${CPACK_TEMPORARY_DIRECTORY})
set(bundle ${root}${CPACK_PACKAGING_INSTALL_PREFIX})
set(from ${CPACK_QLN_PACKAGING_DIR})

file(WRITE ${bundle}/packaged-by "dpkg\n")
include(${CPACK_QLN_SIGN_TOOL_FILE})
execute_process(COMMAND ${qln_sign_tool} bundle ${bundle} ${CPACK_QLN_SIGNING_KEY}
  RESULT_VARIABLE signed)
if(NOT signed EQUAL 0)
  message(FATAL_ERROR "quillon-sign could not sign ${bundle}")
endif()

file(MAKE_DIRECTORY ${root}/usr/bin)
file(CREATE_LINK ${CPACK_PACKAGING_INSTALL_PREFIX}/bin/quillon ${root}/usr/bin/quillon SYMBOLIC)

# The files of packaging/ and where they go; the man page and the changelog are compressed the
# reproducible way Debian wants.
set(names app.quillon.free.desktop app.quillon.free.svg app.quillon.free.metainfo.xml copyright
  lintian-overrides quillon.1 changelog)
set(targets
  usr/share/applications/app.quillon.free.desktop
  usr/share/icons/hicolor/scalable/apps/app.quillon.free.svg
  usr/share/metainfo/app.quillon.free.metainfo.xml
  usr/share/doc/quillon/copyright
  usr/share/lintian/overrides/quillon
  usr/share/man/man1/quillon.1.gz
  usr/share/doc/quillon/changelog.gz)
foreach(name target IN ZIP_LISTS names targets)
  get_filename_component(folder ${root}/${target} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  if(target MATCHES "[.]gz$")
    execute_process(COMMAND gzip -9n -c ${from}/${name} OUTPUT_FILE ${root}/${target}
      RESULT_VARIABLE zipped)
    if(NOT zipped EQUAL 0)
      message(FATAL_ERROR "gzip could not compress ${name}")
    endif()
  else()
    file(COPY_FILE ${from}/${name} ${root}/${target})
  endif()
endforeach()
