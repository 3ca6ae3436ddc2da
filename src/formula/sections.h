// Formula entries: the sections of an entry's text and the readers that turn
// a found entry into a FormulaEntry's section texts, declarations and
// defaults.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "scene/model.h"

namespace spirelle {

enum class FormulaKind { formula, coloring, transform };

// The section names that an entry of one kind may open, in lower case.
using SectionList = std::vector<std::string>;

// Section name -> its lines, each trimmed and followed by a line feed.
using SectionMap = std::map<std::string, std::string>;

struct FormulaSource {
    FormulaKind kind = FormulaKind::formula;
    SectionMap sections;
};

const SectionList& section_list(FormulaKind kind);

// Splits an entry into the sections of the list. A label is a line of its own
// such as "init:"; lines under a label that the list does not know, and lines
// before the first label, are dropped, as are empty and ";" comment lines.
SectionMap split_sections(const std::string& text, const SectionList& list);

// The sections of an entry of the given kind.
FormulaSource read_source(const std::string& text, FormulaKind kind);

// Joins the lines of a bailout section into one expression; a line that ends
// in a backslash is followed by one blank.
std::string join_bailout_lines(const std::string& bailout);

// The position of the "test" parameter's value among its enumerated values,
// compared exactly, when the formula declares such a parameter. A value that
// matches no label exactly is read as "@test" reads it in code: a label in
// another case, or an integer index.
std::optional<int32_t> find_bailout_test_index(const FormulaEntry& entry);

// Fill an entry's section texts, declarations, defaults (added to the
// scene's values) and, for the fractal formula, its user functions and the
// layer's bailout test index. Built-in formula texts are expanded first.
void read_formula_entry(const std::string& text, FormulaEntry& entry, Layer& layer);
void read_coloring_entry(const std::string& text, FormulaEntry& entry);
void read_transform_entry(const std::string& text, FormulaEntry& entry);

}  // namespace spirelle
