# The GTK 3 backend of the window toolkit and the Linux window program.
find_package(PkgConfig REQUIRED)
pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)

add_library(quorvel_ui_gtk STATIC ${CMAKE_CURRENT_LIST_DIR}/toolkit_gtk.cpp)
target_link_libraries(quorvel_ui_gtk PUBLIC quorvel_runtime PkgConfig::GTK3)

add_executable(quorvel ${PROJECT_SOURCE_DIR}/app/main_posix.cpp)
target_link_libraries(quorvel PRIVATE quorvel_shell quorvel_ui_gtk)
