spirelle_test(app_tests
    SOURCES app/export_test.cpp
    LIBS spirelle_app PkgConfig::STB)
