# The window program's shell: start-up, event loop, commands. It calls the
# window toolkit but links no backend: the program or test links exactly one.
add_library(quorvel_shell STATIC
  ${CMAKE_CURRENT_LIST_DIR}/shell.cpp
  ${CMAKE_CURRENT_LIST_DIR}/commands.cpp)
target_link_libraries(quorvel_shell PUBLIC quorvel_report)
