# Warnings are errors everywhere; sanitizers apply to every target of a build tree.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wno-unused-parameter -Werror)

if(QLN_SANITIZE)
  add_compile_options(-fsanitize=${QLN_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${QLN_SANITIZE})
endif()
