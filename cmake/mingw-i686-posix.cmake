# 32-bit Windows with MinGW-w64, the posix thread model: GCC 12's win32 model has no
# std::thread or std::mutex, which the host tools use. Only the host tools' sub-build uses it;
# the deliverables stay on the win32 model (no winpthreads inside them).
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
