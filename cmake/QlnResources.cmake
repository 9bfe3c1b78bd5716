# The pages beside the program: share/quillon/ui and share/quillon/mac-ui in the build tree and
# in an installed folder alike, with the sortable-list script of the npm package sortablejs
# (pinned by package-lock.json) as ui/vendor/Sortable.min.js.
set(QLN_RESOURCE_DIR ${PROJECT_BINARY_DIR}/share/quillon)
set(QLN_SORTABLE_SOURCE ${PROJECT_SOURCE_DIR}/node_modules/sortablejs/Sortable.min.js)
if(NOT EXISTS ${QLN_SORTABLE_SOURCE})
  message(FATAL_ERROR "${QLN_SORTABLE_SOURCE} is missing: run scripts/install-deps.sh.")
endif()

set(qln_resource_pairs
  ${PROJECT_SOURCE_DIR}/ui/index.html ${QLN_RESOURCE_DIR}/ui/index.html
  ${PROJECT_SOURCE_DIR}/mac-ui/boot.html ${QLN_RESOURCE_DIR}/mac-ui/boot.html
  ${QLN_SORTABLE_SOURCE} ${QLN_RESOURCE_DIR}/ui/vendor/Sortable.min.js)
set(qln_resource_outputs "")
list(LENGTH qln_resource_pairs qln_resource_count)
math(EXPR qln_resource_last "${qln_resource_count} - 1")
foreach(i RANGE 0 ${qln_resource_last} 2)
  math(EXPR j "${i} + 1")
  list(GET qln_resource_pairs ${i} source)
  list(GET qln_resource_pairs ${j} target)
  add_custom_command(OUTPUT ${target}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${target}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND qln_resource_outputs ${target})
endforeach()
add_custom_target(qln_resources ALL DEPENDS ${qln_resource_outputs})

