# The real schemas as the tests and benchmarks read them, under
# ${KOVA_CORPUS_DIR} in the build tree: UBL unpacked from the archive of its
# xsd/ tree (common/ and maindoc/), beside a link to the ISO 20022 schemas.
# The archive is unpacked again whenever it changes.
set(KOVA_CORPUS_DIR ${CMAKE_BINARY_DIR}/corpus)
set(_ubl_archive ${CMAKE_CURRENT_LIST_DIR}/ubl-2.5/xsd.tar.xz)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${_ubl_archive})
file(SHA256 ${_ubl_archive} _ubl_sum)
set(_ubl_stamp ${KOVA_CORPUS_DIR}/ubl-2.5/.unpacked)
set(_ubl_unpacked "")
if(EXISTS ${_ubl_stamp})
  file(READ ${_ubl_stamp} _ubl_unpacked)
endif()
if(NOT _ubl_unpacked STREQUAL _ubl_sum)
  file(REMOVE_RECURSE ${KOVA_CORPUS_DIR}/ubl-2.5)
  file(ARCHIVE_EXTRACT INPUT ${_ubl_archive} DESTINATION ${KOVA_CORPUS_DIR}/ubl-2.5)
  file(WRITE ${_ubl_stamp} ${_ubl_sum})
endif()
if(NOT EXISTS ${KOVA_CORPUS_DIR}/iso20022)
  file(CREATE_LINK ${CMAKE_CURRENT_LIST_DIR}/iso20022 ${KOVA_CORPUS_DIR}/iso20022 SYMBOLIC)
endif()
