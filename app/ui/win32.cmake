# The Win32 backend of the window toolkit, and quorvel.exe built on it.
add_library(quorvel_ui_win32 STATIC
  ${CMAKE_CURRENT_LIST_DIR}/toolkit_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialogs_win32.cpp)
target_link_libraries(quorvel_ui_win32 PUBLIC quorvel_runtime user32 gdi32 comctl32 comdlg32 shell32 ole32)
target_compile_definitions(quorvel_ui_win32 PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)

if(TARGET quorvel_shell)
  enable_language(RC)
  add_executable(quorvel WIN32
    ${PROJECT_SOURCE_DIR}/app/main_win32.cpp
    ${PROJECT_SOURCE_DIR}/app/quorvel.rc)
  target_link_libraries(quorvel PRIVATE quorvel_shell quorvel_ui_win32)
  # Beside quorvel-export.exe.
  set_target_properties(quorvel PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app)
  # wWinMain, and no console window.
  target_link_options(quorvel PRIVATE -municode -mwindows)
  set_source_files_properties(${PROJECT_SOURCE_DIR}/app/quorvel.rc PROPERTIES
    OBJECT_DEPENDS ${PROJECT_SOURCE_DIR}/app/quorvel.manifest)
endif()
