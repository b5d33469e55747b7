# batch/: the interpreter, widget-free.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Batch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BatchCmd.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BatchArgs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandLookup.cpp
)
