add_library(zed_daemon STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Application.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CallBacks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/HidUtils.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Preferences.cpp
)
target_link_libraries(zed_daemon PUBLIC zed_platform zed_sensdrawer)

add_executable(zed-agent ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(zed-agent PRIVATE zed_daemon zed_desktop zed_leak_suppressions)
