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

# The desktop program on a virtual X display (Xvfb with Mesa's software
# OpenGL), compared pixel for pixel with spirelle-cli. Screenshots are kept
# under test-artifacts/ in the build folder.
find_package(X11 REQUIRED)
spirelle_test(window_tests
    SOURCES ui/window_test.cpp ui/x_close.cpp
    LIBS X11::X11 PkgConfig::STB)
target_compile_definitions(window_tests PRIVATE
    SPIRELLE_DESKTOP_PATH="$<TARGET_FILE:spirelle>"
    SPIRELLE_ARTIFACT_DIR="${CMAKE_BINARY_DIR}/test-artifacts")
add_dependencies(window_tests spirelle spirelle-cli)
