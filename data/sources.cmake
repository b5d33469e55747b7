# data/: text utilities, image files and sets, file-name energies; widget-free.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/TextUtils.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileEnergy.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgData.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDataITEX.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDataMem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDataTiff.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TiffHandle.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TiffPage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TiffWriter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/H5Scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ScanAngles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SeriesListing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FileIdentity.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OutputGuard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImgDatas.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SeriesLoader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AveragedImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ReferenceSet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MemoryBudget.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SafeWrite.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sha256.cpp
  ${CMAKE_CURRENT_LIST_DIR}/VolumeWriter.cpp
)
