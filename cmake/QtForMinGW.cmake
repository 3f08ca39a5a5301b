# The Windows cross build takes the window program along when it finds a Qt 6 built for MinGW-w64: the
# folder QUILLMERE_QT_MINGW names (environment or cache), else the first of QUILLMERE_QT_MINGW_SEARCH that
# holds one. Debian packages no such Qt; tools/build-qt-mingw.sh makes one into the last of those folders.
# Without one the window program is left out, and the configure output says so.
#
# Sets QUILLMERE_QT_MINGW_DIR (empty when none was found) and QUILLMERE_QT_MINGW_WHY_NOT.

set(QUILLMERE_QT_MINGW "$ENV{QUILLMERE_QT_MINGW}" CACHE PATH "Qt 6 built for MinGW-w64 (a folder with lib/cmake/Qt6)")
set(QUILLMERE_QT_MINGW_SEARCH
  "${PROJECT_SOURCE_DIR}/../shared/qt6-mingw;$ENV{HOME}/.cache/quillmere/qt6-mingw-6.4.2"
  CACHE STRING "Folders searched for a Qt for MinGW-w64 when QUILLMERE_QT_MINGW is empty")
# moc, rcc and uic run on the build machine: Debian's Qt of the same version provides them.
set(QT_HOST_PATH /usr CACHE PATH "Qt for the build machine, whose moc, rcc and uic the cross build runs")

function(quillmere_holds_qt folder out)
  set(${out} FALSE PARENT_SCOPE)
  if(NOT folder STREQUAL "" AND EXISTS "${folder}/lib/cmake/Qt6/Qt6Config.cmake"
     AND EXISTS "${folder}/bin/Qt6Widgets.dll")
    set(${out} TRUE PARENT_SCOPE)
  endif()
endfunction()

set(QUILLMERE_QT_MINGW_DIR "")
set(QUILLMERE_QT_MINGW_WHY_NOT "")
if(NOT QUILLMERE_QT_MINGW STREQUAL "")
  quillmere_holds_qt("${QUILLMERE_QT_MINGW}" held)
  if(held)
    set(QUILLMERE_QT_MINGW_DIR "${QUILLMERE_QT_MINGW}")
  else()
    set(QUILLMERE_QT_MINGW_WHY_NOT "QUILLMERE_QT_MINGW=${QUILLMERE_QT_MINGW} holds no Qt for MinGW-w64 (no lib/cmake/Qt6, bin/Qt6Widgets.dll)")
  endif()
else()
  foreach(folder IN LISTS QUILLMERE_QT_MINGW_SEARCH)
    quillmere_holds_qt("${folder}" held)
    if(held)
      get_filename_component(QUILLMERE_QT_MINGW_DIR "${folder}" ABSOLUTE)
      break()
    endif()
  endforeach()
  if(QUILLMERE_QT_MINGW_DIR STREQUAL "")
    list(JOIN QUILLMERE_QT_MINGW_SEARCH ", " searched)
    set(QUILLMERE_QT_MINGW_WHY_NOT "no Qt 6 for MinGW-w64 found: QUILLMERE_QT_MINGW is not set, and none is in ${searched} (tools/build-qt-mingw.sh makes one)")
  endif()
endif()
if(NOT QUILLMERE_QT_MINGW_DIR STREQUAL "" AND NOT EXISTS "${QT_HOST_PATH}/lib/qt6/libexec/moc")
  set(QUILLMERE_QT_MINGW_WHY_NOT "Qt for MinGW-w64 found in ${QUILLMERE_QT_MINGW_DIR}, but no moc of the build machine's Qt in QT_HOST_PATH=${QT_HOST_PATH} (Debian: qt6-base-dev)")
  set(QUILLMERE_QT_MINGW_DIR "")
endif()

if(NOT QUILLMERE_QT_MINGW_DIR STREQUAL "")
  # The toolchain searches packages only below its roots.
  list(APPEND CMAKE_FIND_ROOT_PATH "${QUILLMERE_QT_MINGW_DIR}")
  list(APPEND CMAKE_PREFIX_PATH "${QUILLMERE_QT_MINGW_DIR}")
endif()
