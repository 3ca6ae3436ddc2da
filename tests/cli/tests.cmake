spirelle_test(cli_tests
    SOURCES cli/info_test.cpp cli/render_test.cpp cli/kernel_test.cpp cli/sequence_test.cpp
    LIBS spirelle_cli PkgConfig::STB)
add_dependencies(cli_tests spirelle-cli)

# Sequences spread over machines with the tools people already have: GNU
# parallel, and a single-node Slurm cluster started by the test itself
# (skipped, never passed, where its daemons cannot run).
foreach(cluster_test parallel slurm)
    add_test(NAME Cluster.${cluster_test}
        COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cluster/${cluster_test}_test.sh
                $<TARGET_FILE:spirelle-cli> ${PROJECT_SOURCE_DIR})
    set_tests_properties(Cluster.${cluster_test} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()
