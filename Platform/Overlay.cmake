# The overlay window service: cairo for pictures, xcb for the window.
pkg_check_modules(OVERLAY_DEPS REQUIRED IMPORTED_TARGET cairo pangocairo xcb xcb-shape cairo-xcb)

add_library(zed_overlay STATIC
    ${CMAKE_CURRENT_LIST_DIR}/OverlayWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11OverlayWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeOverlayWindow.cpp
)
target_include_directories(zed_overlay PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zed_overlay PUBLIC PkgConfig::OVERLAY_DEPS)
