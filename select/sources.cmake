# select/: selection widgets and the pop-out container, all widgets (gui/).
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gui/SelectAFile.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectAFile.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/SelectDataFiles.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectDataFiles.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/SeekCtrl.cpp
  ${CMAKE_SOURCE_DIR}/forms/SeekCtrl.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/ClosableBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/PopDockBase.cpp
  ${CMAKE_SOURCE_DIR}/forms/PopDockBase.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/I0ofImage.cpp
  ${CMAKE_SOURCE_DIR}/forms/I0ofImage.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/SelectDir.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectDir.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/SelectAImgFile.cpp
  ${CMAKE_SOURCE_DIR}/forms/SelectAImgFile.ui
)
