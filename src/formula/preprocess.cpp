// The preprocessor keeps two stacks of equal depth: `active` says whether the
// current branch is emitted given its own condition and every enclosing one,
// `taken` whether the condition of its $ifdef/$ifndef held. Because every
// pushed `active` value already includes the enclosing ones, the top of the
// stack alone tells whether lines are emitted.
#include "formula/preprocess.h"

#include <set>
#include <vector>

#include "formula/lines.h"
#include "scene/text.h"

namespace spirelle {

namespace {

struct Conditionals {
    std::vector<bool> active;
    std::vector<bool> taken;

    bool all_active() const { return active.empty() || active.back(); }

    void open(bool condition) {
        active.push_back(all_active() && condition);
        taken.push_back(condition);
    }

    void flip() {
        if (active.empty()) return;
        active.pop_back();
        active.push_back(!taken.back() && all_active());
    }

    void close() {
        if (active.empty()) return;
        active.pop_back();
        taken.pop_back();
    }
};

// The symbol named after a directive keyword of the given length.
std::string directive_argument(const std::string& directive, size_t keyword_length) {
    return trim(directive.substr(keyword_length));
}

}  // namespace

std::string preprocess(const std::string& text) {
    std::set<std::string> symbols = {"VER30", "VER40", "VER50", "VER60"};
    Conditionals stack;
    std::string out;
    out.reserve(text.size() + 1);
    for (const std::string& line : split_lines(text)) {
        std::string t = trim(line);
        if (t.empty() || t[0] != '$') {
            if (stack.all_active()) out += line + "\n";
            continue;
        }
        std::string lower = to_lower(t);
        if (starts_with(lower, "$ifdef ")) {
            stack.open(symbols.count(directive_argument(t, 7)) != 0);
        } else if (starts_with(lower, "$ifndef ")) {
            stack.open(symbols.count(directive_argument(t, 8)) == 0);
        } else if (lower == "$else") {
            stack.flip();
        } else if (lower == "$endif") {
            stack.close();
        } else if (starts_with(lower, "$define ")) {
            if (stack.all_active()) symbols.insert(directive_argument(t, 8));
        } else if (starts_with(lower, "$undef ")) {
            if (stack.all_active()) symbols.erase(directive_argument(t, 7));
        }
    }
    return out;
}

}  // namespace spirelle
