spirelle_test(engine_tests
    SOURCES
        engine/devices_test.cpp
        engine/engine_test.cpp
        engine/schedule_test.cpp
        engine/view_values_test.cpp
        engine/wide_form_test.cpp
    LIBS spirelle_engine spirelle_scene)
# The hand-written reference kernels live with the benchmarks that share them.
target_include_directories(engine_tests PRIVATE ${PROJECT_SOURCE_DIR}/bench)
