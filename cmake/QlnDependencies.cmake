find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)

pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xi xtst xkbcommon xkbcommon-x11 x11-xcb xscrnsaver)
