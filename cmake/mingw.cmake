# What both Windows cross toolchains share; the including file sets CMAKE_SYSTEM_PROCESSOR first.
# The -posix compilers carry std::thread/std::mutex, which GoogleTest needs; the win32 thread model
# of GCC 12 lacks them.
set(CMAKE_SYSTEM_NAME Windows)
set(VLE_MINGW_TRIPLE ${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32)
set(CMAKE_C_COMPILER   ${VLE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VLE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VLE_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VLE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
