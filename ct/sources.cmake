# Sources of ct/: core files (no QtWidgets) and widget files with their forms.
list(APPEND ZUVO2_CORE_SOURCES
)
list(APPEND ZUVO2_GUI_SOURCES
)
