# Run by CPack on its staging tree before it is packed: compresses the manual page and the
# changelog as Debian wants them, without a name or a time stamp in the gzip header so that the
# bytes stay the same.
file(GLOB_RECURSE pages ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/man/*.6
  ${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/share/doc/orvanti/changelog)
foreach(page ${pages})
  execute_process(COMMAND gzip -9nf ${page} COMMAND_ERROR_IS_FATAL ANY)
endforeach()
