# Keyboard layouts through xkbcommon (the X server's layout names through
# xcb), and the system log.
pkg_check_modules(KEYBOARD_LAYOUT_DEPS REQUIRED IMPORTED_TARGET xkbcommon xcb)

add_library(zed_keyboard_layout STATIC
    ${CMAKE_CURRENT_LIST_DIR}/KeyboardLayout.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemLog.cpp
)
target_include_directories(zed_keyboard_layout PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zed_keyboard_layout PUBLIC PkgConfig::KEYBOARD_LAYOUT_DEPS)
