# Installing and packaging.
#
#   cmake --install build --prefix DIR     (DESTDIR is honoured)
#
#   DIR/lib/sodrel-tools/        the program folder: sodrel-tools, sodrel-convert, the header
#                                template KX00.dll and the empty working folder Temp/
#   DIR/bin/sodrel-tools         links into the program folder (each program finds its folder
#   DIR/bin/sodrel-convert       through the link, so KX00.dll and Temp/ are found)
#   DIR/share/applications/sodrel-tools.desktop      Exec is the installed program's full path
#   DIR/share/icons/hicolor/256x256/apps/sodrel-tools.png
#   DIR/share/mime/packages/sodrel-tools.xml          the container type, known by its content
#   DIR/share/thumbnailers/sodrel-tools.thumbnailer   sodrel-convert thumbnail, by full path,
#                                                     for containers and DDS files
#   DIR/share/man/man1/sodrel-convert.1.gz            the batch tool's manual page
#
# install_manifest.txt lists every installed file, the generated entries included.
#
# A user who can write the program folder's Temp/ works there; anyone else in a Temp/ of their
# own (workfiles/WorkPlaces.h), so an install that belongs to root serves every user. Installing
# again keeps a KX00.dll already in the program folder.
#
# scripts/package makes the Debian package from this install with the prefix /usr.
#
# `cpack` in the build folder packs the program folder alone into a .tar.gz (component
# "program"); unpacked anywhere writable, it is ready to run.

set(SODREL_INSTALL_FOLDER "lib/sodrel-tools" CACHE STRING
    "Program folder, relative to the install prefix")

install(TARGETS sodrel-tools sodrel-convert
        RUNTIME DESTINATION ${SODREL_INSTALL_FOLDER} COMPONENT program)
# The default header template, unless the folder already has one: installing again must not
# replace a template the user put there.
install(CODE "
  set(_template \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${SODREL_INSTALL_FOLDER}/KX00.dll\")
  if(EXISTS \"\${_template}\")
    message(STATUS \"Keeping: \${_template}\")
    # Still part of the install, so that an uninstall from install_manifest.txt removes it.
    list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${_template}\")
  else()
    file(INSTALL \"${CMAKE_SOURCE_DIR}/resources/KX00.dll\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${SODREL_INSTALL_FOLDER}\")
  endif()" COMPONENT program)
install(DIRECTORY DESTINATION ${SODREL_INSTALL_FOLDER}/Temp COMPONENT program)

# bin/ links, made once in the build folder; installing copies them as links.
set(_sodrel_links ${CMAKE_BINARY_DIR}/generated/bin)
file(MAKE_DIRECTORY ${_sodrel_links})
file(RELATIVE_PATH _sodrel_to_folder /prefix/bin /prefix/${SODREL_INSTALL_FOLDER})
foreach(_program sodrel-tools sodrel-convert)
  file(CREATE_LINK ${_sodrel_to_folder}/${_program} ${_sodrel_links}/${_program} SYMBOLIC)
  install(FILES ${_sodrel_links}/${_program} DESTINATION bin COMPONENT desktop)
endforeach()

# The desktop and thumbnailer entries get their Exec lines at install time, when the final
# prefix is known.
set(SODREL_DESKTOP_ENTRY ${CMAKE_BINARY_DIR}/generated/sodrel-tools.desktop)
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallDesktopEntry.cmake.in
               ${CMAKE_BINARY_DIR}/generated/InstallDesktopEntry.cmake @ONLY)
install(SCRIPT ${CMAKE_BINARY_DIR}/generated/InstallDesktopEntry.cmake COMPONENT desktop)
install(FILES ${CMAKE_SOURCE_DIR}/resources/sodrel-tools.png
        DESTINATION share/icons/hicolor/256x256/apps COMPONENT desktop)
# File managers see the new type once update-mime-database has run on share/mime.
install(FILES ${CMAKE_SOURCE_DIR}/resources/sodrel-tools-mime.xml
        DESTINATION share/mime/packages RENAME sodrel-tools.xml COMPONENT desktop)

# The man page, compressed without a name or time stamp (gzip -9n), as Debian packages want it.
set(_sodrel_man ${CMAKE_BINARY_DIR}/generated/sodrel-convert.1.gz)
add_custom_command(OUTPUT ${_sodrel_man}
                   COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/docs/sodrel-convert.1 > ${_sodrel_man}
                   DEPENDS ${CMAKE_SOURCE_DIR}/docs/sodrel-convert.1 VERBATIM)
add_custom_target(sodrel-man ALL DEPENDS ${_sodrel_man})
install(FILES ${_sodrel_man} DESTINATION share/man/man1 COMPONENT desktop)

set(CPACK_GENERATOR TGZ)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Converts game texture containers to and from DDS files and previews the textures")
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};program;/")
set(CPACK_SODREL_INSTALL_FOLDER ${SODREL_INSTALL_FOLDER})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/PackageProgramFolder.cmake)
include(CPack)
