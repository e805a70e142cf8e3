# The progress dialog's animations (AVI 330 and 340) are drawn at build time
# by tools/make-avi and compiled into the core library.
set(PELLVANE_ANIM_DIR ${CMAKE_BINARY_DIR}/res/anim)
set(PELLVANE_ANIM_SOURCE ${CMAKE_BINARY_DIR}/generated/services/avi_resources_data.cpp)
file(MAKE_DIRECTORY ${PELLVANE_ANIM_DIR} ${CMAKE_BINARY_DIR}/generated/services)
add_custom_command(
  OUTPUT ${PELLVANE_ANIM_SOURCE} ${PELLVANE_ANIM_DIR}/330.avi ${PELLVANE_ANIM_DIR}/340.avi
  COMMAND make-avi ${PELLVANE_ANIM_DIR} ${PELLVANE_ANIM_SOURCE}
  DEPENDS make-avi
  COMMENT "Drawing the progress animations"
  VERBATIM)
target_sources(pellvane_core PRIVATE ${PELLVANE_ANIM_SOURCE})
