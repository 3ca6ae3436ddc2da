# The install tree and the Debian package, checked with the tools a Linux
# desktop uses (desktop-file-validate, xmllint, man).
add_test(NAME Install.StagedInstallAndPackage
    COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/packaging/install_test.sh ${PROJECT_BINARY_DIR})
set_tests_properties(Install.StagedInstallAndPackage PROPERTIES TIMEOUT 600)
