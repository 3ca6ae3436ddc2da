spirelle_test(translator_tests
    SOURCES
        formula/translator_front_test.cpp
        formula/translator_expressions_test.cpp
        formula/translator_names_test.cpp
        formula/translator_statements_test.cpp
        formula/translator_wide_test.cpp
    LIBS spirelle_formula)

spirelle_test(formula_entry_tests
    SOURCES
        formula/preprocess_test.cpp
        formula/sections_test.cpp
        formula/declarations_test.cpp
    LIBS spirelle_formula)
