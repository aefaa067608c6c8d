# The desktop's own services: uinput typing, X11 pointer settings, GSettings
# double-click time, logind sessions, and the key code table.
pkg_check_modules(DESKTOP_DEPS REQUIRED IMPORTED_TARGET libevdev xcb gio-2.0)

add_library(zed_desktop STATIC
    ${CMAKE_CURRENT_LIST_DIR}/KeyCodes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/VirtualKeyboard.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11PointerControl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GSettingsDoubleClick.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopHidSystem.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopRegistry.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LogindSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Desktop.cpp
)
target_include_directories(zed_desktop PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zed_desktop PUBLIC zed_platform PkgConfig::DESKTOP_DEPS)
