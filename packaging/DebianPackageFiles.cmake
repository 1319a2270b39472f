# Run by cpack while it stages the Debian package (CPACK_INSTALL_SCRIPTS): adds the files that
# only the package carries, which a prefix install has no use for. The changelog is compressed
# without name or time stamp, so that the package is reproducible.
set(share ${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/share)
set(changelog ${share}/doc/${CPACK_PACKAGE_NAME}/changelog.Debian.gz)
set(overrides ${share}/lintian/overrides/${CPACK_PACKAGE_NAME})
file(MAKE_DIRECTORY ${share}/doc/${CPACK_PACKAGE_NAME} ${share}/lintian/overrides)
execute_process(COMMAND gzip -9nc ${CPACK_ORVEX_DEBIAN_DIR}/changelog
  OUTPUT_FILE ${changelog} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip could not compress ${CPACK_ORVEX_DEBIAN_DIR}/changelog (${status})")
endif()
file(COPY_FILE ${CPACK_ORVEX_DEBIAN_DIR}/lintian-overrides ${overrides})
file(CHMOD ${changelog} ${overrides} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
