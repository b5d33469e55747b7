# Sources of batch/: the interpreter lives in the core library.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/Batch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/BatchCmd.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
)
