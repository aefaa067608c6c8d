# The sensitivity overlay: the panel's picture and its window.
add_library(zed_sensdrawer STATIC
    ${CMAKE_CURRENT_LIST_DIR}/SensDrawer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ABezierPathCategory.cpp
)
target_include_directories(zed_sensdrawer PUBLIC ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(zed_sensdrawer PUBLIC zed_overlay)

# Writes the panel for one or two values as PNG, to look at or compare.
add_executable(zed-overlay-render ${CMAKE_CURRENT_LIST_DIR}/tools/zed-overlay-render.cpp)
target_link_libraries(zed-overlay-render PRIVATE zed_sensdrawer zed_leak_suppressions)
