# The buttons page: map-type pop-ups, the key capture panels and the advanced
# panel, with their strings. Part of the pane library.
target_sources(zed_pane_model PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ButtonsController.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ButtonsController.h
    ${CMAKE_CURRENT_LIST_DIR}/KeyInputPanel.cpp
    ${CMAKE_CURRENT_LIST_DIR}/KeyInputPanel.h
    ${CMAKE_CURRENT_LIST_DIR}/ui/AdvancedPanel.ui
    ${CMAKE_CURRENT_LIST_DIR}/ui/AssignKeyPanel.ui
    ${CMAKE_CURRENT_LIST_DIR}/ui/ButtonsPage.ui
    ${CMAKE_CURRENT_LIST_DIR}/ui/MacroPanel.ui
)
# Key codes to and from evdev, and key names by the keyboard layout.
target_link_libraries(zed_pane_model PUBLIC zed_desktop zed_keyboard_layout)

# Id-based strings, loaded by the pane bundle with its own. The library's
# own lrelease target is taken, so these are compiled by a target of their own.
add_custom_target(zed_buttons_strings)
qt_add_lrelease(zed_buttons_strings
    TS_FILES
        ${CMAKE_CURRENT_LIST_DIR}/translations/Buttons_en.ts
        ${CMAKE_CURRENT_LIST_DIR}/translations/Buttons_de.ts
    QM_FILES_OUTPUT_VARIABLE buttons_qm_files
    OPTIONS -idbased
)
add_dependencies(zed_pane_model zed_buttons_strings)
qt_add_resources(zed_pane_model Buttons_translations
    PREFIX /com.tovik.ZED/translations
    BASE ${CMAKE_CURRENT_BINARY_DIR}
    FILES ${buttons_qm_files}
)
