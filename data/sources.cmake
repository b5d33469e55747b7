# Sources of data/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TextUtils.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileEnergy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDataITEX.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDataTiff.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDatas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ItexWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Phantom.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SampleWriter.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
)
