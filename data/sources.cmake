# Sources of data/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TextUtils.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileEnergy.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
)
