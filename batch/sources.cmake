# batch/: the interpreter, widget-free.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Batch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BatchCmd.cpp
)
