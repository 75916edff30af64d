# CPack runs this on the staged package tree: Debian wants the manual page and the
# changelog compressed at the highest level, with no name or time stamp in the header, and
# the binary without the .comment and .note sections (as dh_strip leaves it).
foreach(stage IN LISTS CPACK_TEMPORARY_INSTALL_DIRECTORY)
  execute_process(COMMAND strip --remove-section=.comment --remove-section=.note
                          ${stage}${CPACK_SNMPD_BINARY} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "strip ${stage}${CPACK_SNMPD_BINARY} failed")
  endif()
  set(man ${stage}${CPACK_SNMPD_MAN_DIR}/snmpd.8)
  set(doc ${stage}${CPACK_SNMPD_DOC_DIR})
  file(COPY_FILE ${CPACK_SNMPD_CHANGELOG} ${doc}/changelog)
  foreach(file ${man} ${doc}/changelog)
    execute_process(COMMAND gzip -9nf ${file} RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip ${file} failed")
    endif()
  endforeach()
endforeach()
