find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(CURL REQUIRED)
find_package(LibArchive REQUIRED)

pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11 xi xtst xkbcommon xkbcommon-x11 x11-xcb xscrnsaver)
# GTK 4 on X11, the toolkit under the web view library: the window services reach it directly.
pkg_check_modules(GTK4 REQUIRED IMPORTED_TARGET gtk4 gtk4-x11)
