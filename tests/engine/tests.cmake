spirelle_test(engine_tests
    SOURCES
        engine/devices_test.cpp
        engine/engine_test.cpp
        engine/schedule_test.cpp
    LIBS spirelle_engine)
