# The scripted toolkit backend for tests. Written with CMAKE_CURRENT_LIST_DIR
# so that the test suite can include it when the window program is not built.
add_library(quorvel_ui_headless STATIC ${CMAKE_CURRENT_LIST_DIR}/toolkit_headless.cpp)
target_link_libraries(quorvel_ui_headless PUBLIC quorvel_runtime)
