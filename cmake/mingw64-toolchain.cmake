# Cross compiling for 64-bit Windows with Debian's MinGW-w64 (POSIX threads, which Qt's
# std::thread and the serial reader need). Qt's prefix is given as CMAKE_PREFIX_PATH.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(KX_MINGW x86_64-w64-mingw32)
set(CMAKE_C_COMPILER /usr/bin/${KX_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${KX_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER /usr/bin/${KX_MINGW}-windres)
set(CMAKE_AR /usr/bin/${KX_MINGW}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB /usr/bin/${KX_MINGW}-ranlib CACHE FILEPATH "")
# Libraries and headers come from MinGW's root and Qt's prefix only, never from /usr; the
# host tools (moc, rcc, uic) are Linux programs and are looked up on the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${KX_MINGW} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
