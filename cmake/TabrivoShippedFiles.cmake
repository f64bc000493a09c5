# Copies the files the programs find beside their executable into the build's
# bin folder, so a built program runs as an installed one does.
set(TABRIVO_ARTWORK_DIR "${PROJECT_SOURCE_DIR}/artwork")
file(GLOB TABRIVO_SAMPLES CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/samples/*.html")
file(GLOB TABRIVO_ICON_PNGS CONFIGURE_DEPENDS "${TABRIVO_ARTWORK_DIR}/icons/*.png")
set(TABRIVO_CURSORS "${TABRIVO_ARTWORK_DIR}/HAND-M.CUR" "${TABRIVO_ARTWORK_DIR}/drag.ico")
set(TABRIVO_SKIN "${TABRIVO_ARTWORK_DIR}/o.cjs")

set(_bin "${CMAKE_RUNTIME_OUTPUT_DIRECTORY}")
add_custom_target(tabrivo_shipped_files ALL
    COMMAND ${CMAKE_COMMAND} -E make_directory "${_bin}/Samples" "${_bin}/x" "${_bin}/icons"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TABRIVO_SAMPLES} "${_bin}/Samples/"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TABRIVO_CURSORS} "${_bin}/"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TABRIVO_SKIN} "${_bin}/x/"
    COMMAND ${CMAKE_COMMAND} -E copy_if_different ${TABRIVO_ICON_PNGS} "${_bin}/icons/"
    COMMENT "Copying the files shipped beside the programs"
    VERBATIM)
