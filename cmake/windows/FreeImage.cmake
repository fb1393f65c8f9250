# FreeImage as a static library for Windows, from Debian's source package, whose bundled
# libraries are removed. scripts/windows-deps copies this file into the unpacked source as its
# CMakeLists.txt. Built: the core, the toolkit, the metadata and every plugin that needs no other
# library than zlib and libpng; the others (JPEG, TIFF, ...) stay registered under their own
# numbers, so FIF_PNG and the rest keep their values, but they read and write nothing.
cmake_minimum_required(VERSION 3.25)
project(FreeImage VERSION 3.18.0 LANGUAGES C CXX)

set(SODREL_CMAKE_WINDOWS "" CACHE PATH "The project's cmake/windows folder")
find_package(ZLIB REQUIRED)
find_package(PNG REQUIRED)

file(GLOB core CONFIGURE_DEPENDS Source/FreeImage/*.cpp Source/FreeImage/*.c)
file(GLOB toolkit CONFIGURE_DEPENDS Source/FreeImageToolkit/*.cpp)
file(GLOB metadata CONFIGURE_DEPENDS Source/Metadata/*.cpp)
set(needs_absent_libraries
  J2KHelper MNGHelper PluginEXR PluginG3 PluginJ2K PluginJNG PluginJP2 PluginJPEG PluginJXR
  PluginMNG PluginRAW PluginTIFF PluginWebP TIFFLogLuv XTIFF)
foreach(name IN LISTS needs_absent_libraries)
  list(FILTER core EXCLUDE REGEX "/${name}\\.cpp$")
  list(FILTER metadata EXCLUDE REGEX "/${name}\\.cpp$")
endforeach()

add_library(freeimage STATIC ${core} ${toolkit} ${metadata}
            ${SODREL_CMAKE_WINDOWS}/FreeImageAbsentPlugins.cpp)
target_include_directories(freeimage PRIVATE Source Source/Metadata Source/FreeImageToolkit)
target_compile_definitions(freeimage PUBLIC FREEIMAGE_LIB PRIVATE __ANSI__)
# As Debian builds it, less -fPIC; its warnings are not ours to mend.
target_compile_options(freeimage PRIVATE -fexceptions $<$<COMPILE_LANGUAGE:CXX>:-Wno-ctor-dtor-privacy> -w)
target_link_libraries(freeimage PRIVATE PNG::PNG ZLIB::ZLIB)
install(TARGETS freeimage ARCHIVE DESTINATION lib)
install(FILES Source/FreeImage.h DESTINATION include)
install(FILES license-fi.txt license-gplv2.txt license-gplv3.txt DESTINATION share/licences/freeimage)
