spirelle_test(formula_entry_tests
    SOURCES
        formula/preprocess_test.cpp
        formula/sections_test.cpp
        formula/declarations_test.cpp
    LIBS spirelle_formula)
