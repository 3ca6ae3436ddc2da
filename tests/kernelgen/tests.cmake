spirelle_test(kernelgen_tests
    SOURCES
        kernelgen/blue_noise_test.cpp
        kernelgen/gradient_table_test.cpp
        kernelgen/instantiate_test.cpp
        kernelgen/coloring_test.cpp
        kernelgen/layer_emitter_test.cpp
        kernelgen/kernel_source_test.cpp
        kernelgen/layer_view_test.cpp
    LIBS spirelle_kernelgen spirelle_scene)

# Builds generated programs with a real OpenCL compiler (the PoCL CPU device)
# and runs the prelude against host reference values.
spirelle_test(kernel_compile_tests
    SOURCES
        kernelgen/prelude_test.cpp
        kernelgen/compile_test.cpp
        kernelgen/wide_prelude_test.cpp
    LIBS spirelle_kernelgen spirelle_scene OpenCL::OpenCL)
