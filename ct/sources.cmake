# ct/: sinograms, the kernel, the slice workers and their pool, result files
# and run reports (core); panels in gui/.
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/SinogramGen.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HSgm.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SgmGeom.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SeriesFit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FbpKernel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/FbpFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RingRemoval.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PaganinFilter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ZingerRemoval.cpp
  ${CMAKE_CURRENT_LIST_DIR}/OffsetAxis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ImageBinning.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CorrectedSeries.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtCond.cpp
  ${CMAKE_CURRENT_LIST_DIR}/EnergyShifts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingTable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtFiles.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DataText.cpp
  ${CMAKE_CURRENT_LIST_DIR}/InstructionSet.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SinogramImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SliceStepper.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtCalc2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkerPool.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtRun.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CtRunReport.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SeriesPlan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CorSearch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CorSweep.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CorSweepWorker.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CorTrial.h
)
# The back-projection is the hot loop: full optimisation.  No implicit fused
# multiply-adds, so the pixel runs are decided with exactly the plain loop's t.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/FbpKernel.cpp
  PROPERTIES COMPILE_OPTIONS "-O3;-ffp-contract=off")
# The centre search back-projects dozens of trial slices.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/CorSearch.cpp PROPERTIES COMPILE_OPTIONS "-O3")
# Zinger removal takes a median of every pixel of every image.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/ZingerRemoval.cpp PROPERTIES COMPILE_OPTIONS "-O3")
# Data files hold millions of numbers.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/DataText.cpp PROPERTIES COMPILE_OPTIONS "-O3")
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gui/ProcCtrl.cpp
  ${CMAKE_SOURCE_DIR}/forms/ProcCtrl.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/Sinogram.cpp
  ${CMAKE_SOURCE_DIR}/forms/Sinogram.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/CtCalcBase.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/CtCalc2Ui.cpp
  ${CMAKE_SOURCE_DIR}/forms/CtCalc.ui
  ${CMAKE_CURRENT_LIST_DIR}/gui/CtCalc.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/CorSweepPanel.cpp
)
