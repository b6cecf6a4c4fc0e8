# Windows, menus, dialogs, message boxes and PNG files for the standalone program
# (GTK 3 on X11; stb_image_write for PNG files).
find_package(PkgConfig REQUIRED)
pkg_check_modules(CORVA_GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0 x11)
corva_library(corva_desktop
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/desktop.cpp
    ${CMAKE_CURRENT_LIST_DIR}/main_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/form_dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/png_file.cpp)
target_link_libraries(corva_desktop PRIVATE PkgConfig::CORVA_GTK3 PUBLIC corva_replace_file)
target_include_directories(corva_desktop SYSTEM PRIVATE /usr/include/stb)
