# The contacts: "PocketOutlook.Application" over the device's pim.vol, and
# the device's contact tools with the vCard import.
target_sources(handset PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/contact_data.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prop_buffer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/item.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/admin.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vcard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/batch.cpp)

tonquil_add_tests(pimstore_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tests/pimstore_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/find_contact_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/picture_stream_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/contacts_admin_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/vcard_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/tests/contacts_fault_test.cpp
  LIBS handset SQLite::SQLite3)
