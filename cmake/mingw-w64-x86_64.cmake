# Cross-builds for 64-bit Windows with Debian's mingw-w64 (g++-mingw-w64-x86-64-posix): the posix
# threads flavour, as the win32 one has no std::thread or std::mutex.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SODREL_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SODREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SODREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SODREL_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw-w64 tree and the folder of the libraries that
# scripts/windows-deps builds (the same SODREL_WINDOWS_DEPS); programs from the build machine.
if(DEFINED ENV{SODREL_WINDOWS_DEPS})
  set(SODREL_WINDOWS_DEPS $ENV{SODREL_WINDOWS_DEPS})
else()
  set(SODREL_WINDOWS_DEPS $ENV{HOME}/.cache/sodrel-windows-deps)
endif()
set(CMAKE_FIND_ROOT_PATH /usr/${SODREL_MINGW_TRIPLE} ${SODREL_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Static libraries first, so that nothing needs a DLL beside the program.
set(CMAKE_FIND_LIBRARY_SUFFIXES .a)

# The compiler's own runtime linked in as well: libstdc++, libgcc and winpthread.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
