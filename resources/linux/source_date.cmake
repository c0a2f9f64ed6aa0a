# Run by CPack once it has installed the files into its staging folder, before it
# packs them: every file and folder takes the time SOURCE_DATE_EPOCH gives (the
# commit's time in CI), so that a package does not carry the clock of its build.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  return()
endif()
if(NOT IS_DIRECTORY "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
  message(FATAL_ERROR "no staging folder at '${CPACK_TEMPORARY_INSTALL_DIRECTORY}'")
endif()
execute_process(
  COMMAND find "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" -exec touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" {} +
  RESULT_VARIABLE touched)
if(NOT touched EQUAL 0)
  message(FATAL_ERROR "could not set the file times of the staging folder")
endif()
