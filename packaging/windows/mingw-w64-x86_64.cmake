# CMake toolchain file for the Windows build: x86_64 Windows with Debian's mingw-w64 compilers
# (the posix threads flavour, package g++-mingw-w64-x86-64-posix), against the Qt, SQLite and
# GoogleTest cross-built into QUORVANE_MINGW_PREFIX (packaging/windows/build-toolchain.sh makes it).
#   cmake -G Ninja -DCMAKE_TOOLCHAIN_FILE=packaging/windows/mingw-w64-x86_64.cmake \
#         -DQUORVANE_MINGW_PREFIX=/path/to/qt6-mingw ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_SYSTEM_VERSION 10)

set(_quorvane_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${_quorvane_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${_quorvane_mingw}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${_quorvane_mingw}-windres)
set(CMAKE_AR /usr/bin/${_quorvane_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${_quorvane_mingw}-ranlib CACHE FILEPATH "")

# The prefix is handed on to try_compile projects through the environment as well.
if(NOT QUORVANE_MINGW_PREFIX AND DEFINED ENV{QUORVANE_MINGW_PREFIX})
  set(QUORVANE_MINGW_PREFIX $ENV{QUORVANE_MINGW_PREFIX})
endif()
if(NOT QUORVANE_MINGW_PREFIX)
  message(FATAL_ERROR "Set QUORVANE_MINGW_PREFIX to the folder of the cross-built Qt "
    "(packaging/windows/build-toolchain.sh makes it)")
endif()
set(QUORVANE_MINGW_PREFIX ${QUORVANE_MINGW_PREFIX} CACHE PATH "Cross-built Qt, SQLite and GoogleTest for mingw-w64")
set(ENV{QUORVANE_MINGW_PREFIX} ${QUORVANE_MINGW_PREFIX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUORVANE_MINGW_PREFIX)

# Headers and libraries only from the mingw sysroot and the prefix; programs (moc, uic, rcc)
# from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${_quorvane_mingw} ${QUORVANE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Qt's host tools are Debian's (qt6-base-dev-tools), whose CMake packages are in the multiarch
# folder.
if(NOT DEFINED QT_HOST_PATH)
  set(QT_HOST_PATH /usr CACHE PATH "")
endif()
if(NOT DEFINED QT_HOST_PATH_CMAKE_DIR)
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()

# The Windows programs run under Wine (wine-run.sh: through files, see there): the test lists
# are read through it, and the tests run through it.
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
endif()
