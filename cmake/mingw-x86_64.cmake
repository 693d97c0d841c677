# The same Windows code as a 64-bit PE, for running the Windows tests under wine64 on machines
# whose kernel cannot execute 32-bit programs (and so cannot run 32-bit wine).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
