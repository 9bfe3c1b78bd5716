# Read by CPack for each generator. The .deb installs the bundle as /opt/quillon. The tarball
# holds it as the folder Quillon, the name every update archive gives it: an unpacked copy
# updates itself.
if(CPACK_GENERATOR STREQUAL "DEB")
  set(CPACK_PACKAGING_INSTALL_PREFIX /opt/quillon)
else()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_PACKAGING_INSTALL_PREFIX /Quillon)
endif()
