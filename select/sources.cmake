# Sources of select/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SelectAFile.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectAFile.ui
  ${CMAKE_CURRENT_LIST_DIR}/SelectDataFiles.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectDataFiles.ui
  ${CMAKE_CURRENT_LIST_DIR}/SeekCtrl.cpp
  ${CMAKE_SOURCE_DIR}/forms/SeekCtrl.ui
  ${CMAKE_CURRENT_LIST_DIR}/ClosableBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PopDockBase.cpp
  ${CMAKE_SOURCE_DIR}/forms/PopDockBase.ui
  ${CMAKE_CURRENT_LIST_DIR}/I0ofImage.cpp
  ${CMAKE_SOURCE_DIR}/forms/I0ofImage.ui
)
list(APPEND ZUVO2_GUI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SelectDir.cpp)
list(APPEND ZUVO2_GUI_SOURCES ${CMAKE_SOURCE_DIR}/forms/SelectDir.ui)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SelectAImgFile.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectAImgFile.ui
)
