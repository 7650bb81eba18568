# Run by CPack after it has built the packages (CPACK_POST_BUILD_SCRIPTS).
# CPack's dbgsym package lists its files in md5sums under their absolute
# paths in CPack's staging folder, and has no usr/share/doc entry. Both are
# mended as Debian builds its dbgsym packages: md5sums relative to the root,
# and usr/share/doc/<package>-dbgsym a link to the package's own folder.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.ddeb$")
    continue()
  endif()
  get_filename_component(name "${package}" NAME)
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/mend-dbgsym/${name}")
  file(REMOVE_RECURSE "${tree}")
  file(MAKE_DIRECTORY "${CPACK_TOPLEVEL_DIRECTORY}/mend-dbgsym")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE files LIST_DIRECTORIES false RELATIVE "${tree}" "${tree}/usr/*")
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    file(MD5 "${tree}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK "${CPACK_PACKAGE_NAME}" "${tree}/usr/share/doc/${CPACK_PACKAGE_NAME}-dbgsym"
       SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${package}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
