# Cross build for 64-bit Windows with Debian's MinGW-w64 (the posix thread
# model, which Qt 6 needs): the `windows` preset and scripts/windows/build.sh
# use it.
#
# The Windows builds of Qt and libarchive are found in, first to last:
#   TARVO_WINDOWS_QT / TARVO_WINDOWS_LIBS (cache variables or environment);
#   ../shared/windows/qt6-mingw beside the clone (a ready Qt CI provides);
#   the cache scripts/windows/build.sh fills ($XDG_CACHE_HOME or
#   ~/.cache, then tarvo-windows/).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_tarvo_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${_tarvo_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${_tarvo_triplet}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${_tarvo_triplet}-windres)
set(CMAKE_AR /usr/bin/${_tarvo_triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${_tarvo_triplet}-ranlib CACHE FILEPATH "")
set(CMAKE_NM /usr/bin/${_tarvo_triplet}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP /usr/bin/${_tarvo_triplet}-objdump CACHE FILEPATH "")
set(CMAKE_STRIP /usr/bin/${_tarvo_triplet}-strip CACHE FILEPATH "")

if(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_tarvo_cache "$ENV{XDG_CACHE_HOME}/tarvo-windows")
else()
  set(_tarvo_cache "$ENV{HOME}/.cache/tarvo-windows")
endif()
if(NOT TARVO_WINDOWS_QT)
  if(DEFINED ENV{TARVO_WINDOWS_QT} AND NOT "$ENV{TARVO_WINDOWS_QT}" STREQUAL "")
    set(TARVO_WINDOWS_QT "$ENV{TARVO_WINDOWS_QT}")
  elseif(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../../shared/windows/qt6-mingw/lib/cmake/Qt6")
    get_filename_component(TARVO_WINDOWS_QT "${CMAKE_CURRENT_LIST_DIR}/../../shared/windows/qt6-mingw" ABSOLUTE)
  else()
    set(TARVO_WINDOWS_QT "${_tarvo_cache}/qt6-mingw")
  endif()
endif()
if(NOT TARVO_WINDOWS_LIBS)
  if(DEFINED ENV{TARVO_WINDOWS_LIBS} AND NOT "$ENV{TARVO_WINDOWS_LIBS}" STREQUAL "")
    set(TARVO_WINDOWS_LIBS "$ENV{TARVO_WINDOWS_LIBS}")
  else()
    set(TARVO_WINDOWS_LIBS "${_tarvo_cache}/libs")
  endif()
endif()
set(TARVO_WINDOWS_QT "${TARVO_WINDOWS_QT}" CACHE PATH "Qt 6 built for 64-bit Windows (MinGW-w64)")
set(TARVO_WINDOWS_LIBS "${TARVO_WINDOWS_LIBS}" CACHE PATH "libarchive built for 64-bit Windows (MinGW-w64)")
# try_compile projects see the same folders.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES TARVO_WINDOWS_QT TARVO_WINDOWS_LIBS)

# The Qt tools (moc, rcc, uic, lrelease) are the host's, of the same version.
set(QT_HOST_PATH /usr CACHE PATH "")
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")

set(CMAKE_FIND_ROOT_PATH "${TARVO_WINDOWS_QT}" "${TARVO_WINDOWS_LIBS}" /usr/${_tarvo_triplet})
list(APPEND CMAKE_PREFIX_PATH "${TARVO_WINDOWS_QT}/lib/cmake" "${TARVO_WINDOWS_QT}" "${TARVO_WINDOWS_LIBS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages of the target first, then the host's (Qt's host tools).
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
