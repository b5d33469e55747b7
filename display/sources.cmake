# Sources of display/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DispMath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChCoord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MouseC.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DrawText.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DispA.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DispAWLayout.cpp
  ${CMAKE_SOURCE_DIR}/forms/DispAWLayout.ui
  ${CMAKE_CURRENT_LIST_DIR}/ColorBar.cpp
  ${CMAKE_SOURCE_DIR}/forms/CBarUI.ui
  ${CMAKE_CURRENT_LIST_DIR}/ImgDisp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDispWCBar.cpp
  ${CMAKE_SOURCE_DIR}/forms/ImgDispWCBar.ui
  ${CMAKE_CURRENT_LIST_DIR}/ImgDispWPV.cpp
  ${CMAKE_SOURCE_DIR}/forms/ImgDispWPV.ui
  ${CMAKE_CURRENT_LIST_DIR}/RawDisp.h
)
