# display/: coordinates, mouse capture, text drawing (core); widgets in gui/.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/DispMath.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ColorSnapshot.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ChCoord.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MouseC.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DrawText.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gui/DispA.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/DispAWLayout.cpp
  ${CMAKE_SOURCE_DIR}/forms/DispAWLayout.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/ColorBar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/FieldWidth.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/WrapLayout.cpp
  ${CMAKE_SOURCE_DIR}/forms/CBarUI.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/ImgDisp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/ImgDispWCBar.cpp
  ${CMAKE_SOURCE_DIR}/forms/ImgDispWCBar.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/ImgDispWPV.cpp
  ${CMAKE_SOURCE_DIR}/forms/ImgDispWPV.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/RawDisp.h
)
