# Sources of seq/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CtFileSet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsBatch.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SelectDataDir.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectDataDir.ui
)
