# seq/: data-directory sets and the sequential driver (core); the panel in gui/.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CtFileSet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DataDirSets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsBatch.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gui/SelectDataDir.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectDataDir.ui
)
