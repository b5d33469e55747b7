# Sources of ct/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SinogramGen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HSgm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SgmGeom.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FbpKernel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtCond.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SinogramImage.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ProcCtrl.cpp
  ${CMAKE_SOURCE_DIR}/forms/ProcCtrl.ui
  ${CMAKE_CURRENT_LIST_DIR}/Sinogram.cpp
  ${CMAKE_SOURCE_DIR}/forms/Sinogram.ui
)
# The back-projection is the hot loop: full optimisation.  No implicit fused
# multiply-adds, so the pixel runs are decided with exactly the plain loop's t.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/FbpKernel.cpp
  PROPERTIES COMPILE_OPTIONS "-O3;-ffp-contract=off")
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CtCalcBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtCalc2Ui.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtCalc2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtRun.cpp
  ${CMAKE_SOURCE_DIR}/forms/CtCalc.ui
)
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CtProgress.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/CtCalc.cpp
)
