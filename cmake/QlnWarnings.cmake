# Warnings are errors everywhere; sanitizers apply to every target of a build tree.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter -Werror)

if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports std::string concatenation as overlapping memcpy at -O2 and above (GCC bug
  # 105329), a false alarm that would fail every optimised build.
  add_compile_options(-Wno-restrict)
endif()

if(QLN_SANITIZE)
  add_compile_options(-fsanitize=${QLN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QLN_SANITIZE})
endif()

if(QLN_FUZZ AND NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "QLN_FUZZ needs clang: the fuzz targets are built with libFuzzer")
endif()
