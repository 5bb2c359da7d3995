cmake_minimum_required(VERSION 3.25)
# Installs the build into a scratch prefix and checks what a desktop needs:
# the program, a valid desktop entry naming it and its icon, and the icons.
# Run with -DBUILD_DIR=<build tree>.
set(prefix "${BUILD_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(file bin/lumora share/applications/lumora.desktop
    share/icons/hicolor/16x16/apps/lumora.png share/icons/hicolor/48x48/apps/lumora.png
    share/icons/hicolor/256x256/apps/lumora.png)
  if(NOT EXISTS "${prefix}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

file(STRINGS "${prefix}/share/applications/lumora.desktop" entry)
foreach(line "Type=Application" "Name=Lumora" "Exec=lumora %f" "Icon=lumora"
    "MimeType=image/jpeg;image/heic;image/heif;image/avif;image/png;image/tiff;image/webp;")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "the desktop entry lacks \"${line}\"")
  endif()
endforeach()
execute_process(COMMAND desktop-file-validate "${prefix}/share/applications/lumora.desktop"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "desktop-file-validate: ${out}")
endif()

# Without a display the program says so in one line and fails, instead of
# Qt's abort.
execute_process(COMMAND env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "${prefix}/bin/lumora"
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(FIND "${err}" "no display" found)
if(result EQUAL 0 OR found EQUAL -1)
  message(FATAL_ERROR "without a display: exit ${result}, said \"${err}\"")
endif()
file(REMOVE_RECURSE "${prefix}")
