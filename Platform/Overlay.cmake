# The overlay window service: cairo for pictures, xcb for the window.
pkg_check_modules(OVERLAY_DEPS REQUIRED IMPORTED_TARGET cairo pangocairo xcb xcb-shape cairo-xcb)

add_library(zed_overlay STATIC
    ${CMAKE_CURRENT_LIST_DIR}/OverlayWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11OverlayWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FakeOverlayWindow.cpp
)
target_include_directories(zed_overlay PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zed_overlay PUBLIC PkgConfig::OVERLAY_DEPS)

# Programs that draw text link this: the leak checker of the sanitizer build
# then passes over what fontconfig keeps for the life of the process.
add_library(zed_leak_suppressions OBJECT ${CMAKE_CURRENT_LIST_DIR}/LeakSuppressions.cpp)
