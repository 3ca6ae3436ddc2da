spirelle_test(app_tests
    SOURCES
        app/export_test.cpp
        app/render_worker_test.cpp
        app/render_thread_test.cpp
        app/range_render_test.cpp
        app/sequence_test.cpp
    LIBS spirelle_app spirelle_kernelgen PkgConfig::STB)
# The thread tests compare their images with what spirelle-cli writes.
add_dependencies(app_tests spirelle-cli)
