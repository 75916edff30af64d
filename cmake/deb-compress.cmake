# CPack runs this on the staged package tree: Debian wants the manual page and the
# changelog compressed at the highest level, with no name or time stamp in the header.
foreach(stage IN LISTS CPACK_TEMPORARY_INSTALL_DIRECTORY)
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
