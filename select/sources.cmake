# Sources of select/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
)
list(APPEND ZUVO2_GUI_SOURCES
)
list(APPEND ZUVO2_GUI_SOURCES ${CMAKE_CURRENT_LIST_DIR}/SelectDir.cpp)
list(APPEND ZUVO2_GUI_SOURCES ${CMAKE_SOURCE_DIR}/forms/SelectDir.ui)
