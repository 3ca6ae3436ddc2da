spirelle_test(scene_tests
    SOURCES
        scene/model_test.cpp
        scene/reader_test.cpp
        scene/compressed_test.cpp
        scene/gradient_test.cpp
        scene/resolve_test.cpp
    LIBS spirelle_scene)
