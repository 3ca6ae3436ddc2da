spirelle_test(cli_tests
    SOURCES cli/info_test.cpp cli/render_test.cpp cli/kernel_test.cpp
    LIBS spirelle_cli PkgConfig::STB)
add_dependencies(cli_tests spirelle-cli)
