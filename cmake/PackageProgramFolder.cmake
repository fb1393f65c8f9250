# CPack step: the archive holds the program folder itself, so move its files from
# lib/sodrel-tools/ in the staging folder to the archive's top.
set(_top "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
set(_folder "${_top}/${CPACK_SODREL_INSTALL_FOLDER}")
if(NOT IS_DIRECTORY "${_folder}")
  message(FATAL_ERROR "no program folder at ${_folder}")
endif()
file(GLOB _entries RELATIVE "${_folder}" "${_folder}/*")
foreach(_entry IN LISTS _entries)
  file(RENAME "${_folder}/${_entry}" "${_top}/${_entry}")
endforeach()
string(REGEX REPLACE "/.*" "" _first "${CPACK_SODREL_INSTALL_FOLDER}")
file(REMOVE_RECURSE "${_top}/${_first}")
