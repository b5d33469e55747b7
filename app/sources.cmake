# app/: configuration store, signal handling, the session and its batch words (core); the main window (gui/).
list(APPEND ZUVO2_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ConfigStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Failures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Logging.cpp
  ${CMAKE_CURRENT_LIST_DIR}/LogRelay.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WorkProgress.cpp
  ${CMAKE_CURRENT_LIST_DIR}/QuitOnSignal.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ToolExit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandContext.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SeriesCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CentreCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ViewCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/DataSetCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/XafsTabCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SettingCommands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SessionHost.cpp
  ${CMAKE_CURRENT_LIST_DIR}/NoWindow.cpp
)
list(APPEND ZUVO2_GUI_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/gui/Body.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/CtDisplays.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/RawImageView.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/SessionControls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/WindowFit.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/MessagePanel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gui/WorkStatus.cpp
  ${CMAKE_SOURCE_DIR}/forms/Body.ui
)
