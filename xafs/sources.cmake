# xafs/: energy stacks of reconstructed slices, spectra, normalisation, maps
# and their export (core); the spectrum panel in gui/.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/XafsStack.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsNormalize.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsMaps.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsPixels.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsExport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsSession.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsReference.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsLcf.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsPca.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsClusters.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsJob.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsWorker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsAlign.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gui/XafsPanel.cpp
)
