# The panels' logic, headless: captions, colour packing, zoom steps, the
# navigation arithmetic against the generated kernel, the pane layout's
# settings and the file dialog's directory walking.
spirelle_test(ui_tests
    SOURCES
        ui/file_dialog_test.cpp
        ui/navigation_test.cpp
        ui/pane_layout_test.cpp
        ui/panel_logic_test.cpp
    LIBS spirelle_ui spirelle_kernelgen)
