# The Windows build (scripts/build-windows): the libraries that are plain C++ and their tests,
# sodrel-convert.exe, cross-built with cmake/mingw-w64-x86_64.cmake and run under Wine. The
# libraries come from scripts/windows-deps; Qt and the window are not part of it.

# Each test program runs under Wine, in a prefix of the build's own; without the persistent
# wineserver that scripts/build-windows starts, each run starts one (seconds rather than a tenth).
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml= wine)
endif()

find_path(SQUISH_INCLUDE_DIR squish.h REQUIRED)
find_library(SQUISH_LIBRARY squish REQUIRED)
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)
find_path(FREEIMAGE_INCLUDE_DIR FreeImage.h REQUIRED)
find_library(FREEIMAGE_STATIC_LIBRARY freeimage REQUIRED)
# Linked statically, FreeImage registers its plugins only when told to: every program that links
# it compiles FreeImageStaticInit.cpp into itself, where no linker can leave it out.
add_library(sodrel_freeimage INTERFACE)
target_compile_definitions(sodrel_freeimage INTERFACE FREEIMAGE_LIB)
target_include_directories(sodrel_freeimage INTERFACE ${FREEIMAGE_INCLUDE_DIR})
target_link_libraries(sodrel_freeimage INTERFACE ${FREEIMAGE_STATIC_LIBRARY} PNG::PNG ZLIB::ZLIB)
target_sources(sodrel_freeimage INTERFACE ${CMAKE_CURRENT_LIST_DIR}/FreeImageStaticInit.cpp)
set(FREEIMAGE_LIBRARY sodrel_freeimage)

find_package(Threads REQUIRED)
set(SODREL_ROOT ${CMAKE_SOURCE_DIR})
add_subdirectory(io)
add_subdirectory(dds)
add_subdirectory(encode)
add_subdirectory(container)
add_subdirectory(workfiles)
add_subdirectory(preview)
add_subdirectory(convert)

include(CTest)
if(BUILD_TESTING)
  include(${CMAKE_CURRENT_LIST_DIR}/Tests.cmake)
endif()
