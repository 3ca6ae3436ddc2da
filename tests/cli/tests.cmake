spirelle_test(cli_tests
    SOURCES cli/info_test.cpp
    LIBS spirelle_cli)
add_dependencies(cli_tests spirelle-cli)
