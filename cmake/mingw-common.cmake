# Cross-compiles for Windows with Debian's MinGW-w64 tool chain whose prefix
# the including file sets as MINGW_TRIPLE (i686-w64-mingw32, x86_64-w64-mingw32).
set(CMAKE_SYSTEM_NAME Windows)
# MINGW_THREADS=posix picks the compilers whose C++ library has std::thread and
# std::mutex (the test program of the Windows layer needs them for GoogleTest);
# the program itself is built with the default ones.
if(MINGW_THREADS STREQUAL "posix")
  set(MINGW_COMPILER_SUFFIX -posix)
else()
  set(MINGW_COMPILER_SUFFIX "")
endif()
set(CMAKE_C_COMPILER ${MINGW_TRIPLE}-gcc${MINGW_COMPILER_SUFFIX})
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLE}-g++${MINGW_COMPILER_SUFFIX})
set(CMAKE_RC_COMPILER ${MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
