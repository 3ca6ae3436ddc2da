// Parameter declarations and the conditions that they decide.
//
// Only two properties of a param or func block matter to rendering: "enum"
// and "default". Enumerated parameters are known before translation, so a
// chain of if/elseif/else/endif that compares them with constants is folded
// here and never reaches the kernel; everything else is left to run time.
#include "formula/declarations.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "formula/lines.h"
#include "scene/text.h"

namespace spirelle {

namespace {

// Tried in this order; each includes its trailing blank.
const char* const kTypeKeywords[] = {"complex ", "float ", "int ", "bool ", "color "};

// The keyword that starts the text, or nullptr.
const char* leading_type_keyword(const std::string& text) {
    for (const char* keyword : kTypeKeywords) {
        if (starts_with(text, keyword)) return keyword;
    }
    return nullptr;
}

// The texts between pairs of double quotes; an unpaired last quote is ignored.
std::vector<std::string> quoted_runs(const std::string& text) {
    std::vector<std::string> runs;
    size_t pos = 0;
    for (;;) {
        size_t open = text.find('"', pos);
        if (open == std::string::npos) break;
        size_t close = text.find('"', open + 1);
        if (close == std::string::npos) break;
        runs.push_back(text.substr(open + 1, close - open - 1));
        pos = close + 1;
    }
    return runs;
}

// A parameter without enumerated values has no declaration, so that it
// never decides a condition.
void set_enumeration(ParamDecls& decls, const std::string& name, const std::string& line) {
    std::vector<std::string> values = quoted_runs(line);
    if (!values.empty()) decls[name] = std::move(values);
}

// The value of a "default" line: quotes removed, and a complex pair "(a, b)"
// written as "a/b" like complex values in parameter files.
std::string default_value(const std::string& line) {
    std::string value = trim(line.substr(7));
    if (starts_with(value, "=")) value = trim(value.substr(1));
    if (value.size() <= 1) return value;
    if (value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
    size_t comma = value.find(',');
    if (value.front() == '(' && value.back() == ')' && comma != std::string::npos) {
        return trim(value.substr(1, comma - 1)) + "/" +
               trim(value.substr(comma + 1, value.size() - comma - 2));
    }
    return value;
}

// The name of a "param NAME" or "func NAME" line, without "@".
std::string declared_name(const std::string& line) {
    std::string rest = trim(line.substr(line.find(' ') + 1));
    rest = rest.substr(0, rest.find(' '));
    if (starts_with(rest, "@")) rest.erase(0, 1);
    return rest;
}

}  // namespace

void parse_default_section(const std::string& text, ParamDecls& decls, ParamDefaults& defaults) {
    std::string current;
    std::string pending_enum;
    bool continuing_enum = false;
    for (const std::string& line : split_lines(text)) {
        std::string t = trim(line);
        if (t.empty()) continue;
        if (continuing_enum) {
            if (ends_with(t, '\\')) {
                pending_enum += " " + trim(t.substr(0, t.size() - 1));
                continue;
            }
            pending_enum += " " + t;
            continuing_enum = false;
            if (!current.empty()) set_enumeration(decls, current, pending_enum);
            continue;
        }
        std::string lower = to_lower(t);
        std::string orig = t;
        if (const char* keyword = leading_type_keyword(lower)) {
            size_t length = std::char_traits<char>::length(keyword);
            lower.erase(0, length);
            orig.erase(0, length);
        }
        if (starts_with(lower, "param ") || starts_with(lower, "func ")) {
            current = declared_name(orig);
        } else if (lower == "endparam" || lower == "endfunc") {
            current.clear();
        } else if (!current.empty() && starts_with(lower, "enum")) {
            if (ends_with(orig, '\\')) {
                pending_enum = trim(orig.substr(0, orig.size() - 1));
                continuing_enum = true;
            } else {
                set_enumeration(decls, current, orig);
            }
        } else if (!current.empty() && starts_with(lower, "default")) {
            defaults.emplace(current, default_value(orig));
        }
    }
    for (const auto& [name, values] : decls) {
        if (!values.empty()) defaults.emplace(name, values.front());
    }
}

void merge_defaults(const ParamDefaults& defaults, ParamValues& values) {
    for (const auto& [name, value] : defaults) values.emplace(to_lower(name), value);
}

// [SECTION] Deciding conditions

namespace {

const std::vector<std::string>* find_decl(const std::string& name, const ParamDecls& decls) {
    std::string key = to_lower(name);
    for (const auto& [declared, values] : decls) {
        if (to_lower(declared) == key) return &values;
    }
    return nullptr;
}

int position_ignoring_case(const std::vector<std::string>& values, const std::string& wanted) {
    std::string key = to_lower(wanted);
    for (size_t i = 0; i < values.size(); ++i) {
        if (to_lower(values[i]) == key) return static_cast<int>(i);
    }
    return -1;
}

// True when the first "(" is closed by the last ")" rather than earlier.
bool enclosed_in_matching_parens(const std::string& text) {
    if (text.size() < 2 || text.front() != '(' || text.back() != ')') return false;
    int depth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && --depth == 0) return i + 1 == text.size();
    }
    return false;
}

std::vector<std::string> split_at_or(const std::string& text) {
    std::vector<std::string> parts;
    int depth = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '(') ++depth;
        if (text[i] == ')' && depth > 0) --depth;
        if (depth == 0 && text.compare(i, 2, "||") == 0) {
            parts.push_back(text.substr(start, i - start));
            start = i + 2;
            ++i;
        }
    }
    parts.push_back(text.substr(start));
    return parts;
}

bool is_decimal_integer(const std::string& text) {
    size_t digits = (!text.empty() && (text[0] == '+' || text[0] == '-')) ? 1 : 0;
    if (digits == text.size()) return false;
    return text.find_first_not_of("0123456789", digits) == std::string::npos;
}

// "@name == 2" or "@name == \"label\""; undecided for anything else.
StaticCondition evaluate_comparison(std::string part, const ParamValues& values,
                                    const ParamDecls& decls) {
    part = trim(part);
    for (int i = 0; i < 4 && part.size() >= 2 && part.front() == '(' && part.back() == ')'; ++i) {
        part = trim(part.substr(1, part.size() - 2));
    }
    size_t at = part.find('@');
    size_t eq = at == std::string::npos ? at : part.find("==", at);
    if (eq == std::string::npos) return {};
    std::string name = trim(part.substr(at + 1, eq - at - 1));
    std::string rhs = trim(part.substr(eq + 2));
    int current = enum_index(name, values, decls);

    if (starts_with(rhs, "\"")) {
        bool one_label = rhs.size() >= 2 && rhs.back() == '"' && rhs.find('"', 1) == rhs.size() - 1;
        if (!one_label) return {};
        const std::vector<std::string>* decl = find_decl(name, decls);
        int label = decl ? position_ignoring_case(*decl, rhs.substr(1, rhs.size() - 2)) : -1;
        return {true, current >= 0 && label >= 0 && current == label};
    }
    if (!is_decimal_integer(rhs) || current < 0) return {};
    return {true, std::strtoll(rhs.c_str(), nullptr, 10) == current};
}

}  // namespace

int enum_index(const std::string& name, const ParamValues& values, const ParamDecls& decls) {
    auto value = values.find(to_lower(name));
    const std::vector<std::string>* decl = find_decl(name, decls);
    if (value == values.end() || decl == nullptr) return -1;
    int position = position_ignoring_case(*decl, value->second);
    if (position >= 0) return position;
    const char* begin = value->second.c_str();
    char* end = nullptr;
    errno = 0;
    long number = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || number < INT_MIN || number > INT_MAX) return -1;
    return static_cast<int>(number);
}

StaticCondition evaluate_static_condition(const std::string& condition, const ParamValues& values,
                                          const ParamDecls& decls) {
    std::string text = trim(condition);
    for (int i = 0; i < 4 && enclosed_in_matching_parens(text); ++i) {
        text = trim(text.substr(1, text.size() - 2));
    }
    StaticCondition result{true, false};
    for (const std::string& part : split_at_or(text)) {
        StaticCondition comparison = evaluate_comparison(part, values, decls);
        if (!comparison.decided) return {};
        result.value = result.value || comparison.value;
    }
    return result;
}

// [SECTION] Folding

namespace {

struct StaticIfFrame {
    bool decided = false;
    bool active = true;
    bool taken = false;
    bool outer_emitting = true;  // every frame below this one is emitting
};

class FoldStack {
  public:
    bool empty() const { return frames_.empty(); }
    StaticIfFrame& top() { return frames_.back(); }
    void pop() { frames_.pop_back(); }

    bool emitting() const {
        if (frames_.empty()) return true;
        const StaticIfFrame& f = frames_.back();
        return f.outer_emitting && !(f.decided && !f.active);
    }

    void push(bool decided, bool active, bool taken) {
        frames_.push_back({decided, active, taken, emitting()});
    }

  private:
    std::vector<StaticIfFrame> frames_;
};

bool is_keyword_line(const std::string& lower, const char* keyword) {
    size_t n = std::char_traits<char>::length(keyword);
    return lower.compare(0, n, keyword) == 0 &&
           (lower.size() == n || lower[n] == ' ' || lower[n] == ';');
}

bool opens_with(const std::string& lower, const char* keyword) {
    size_t n = std::char_traits<char>::length(keyword);
    return lower.compare(0, n, keyword) == 0 && lower.size() > n &&
           (lower[n] == ' ' || lower[n] == '(');
}

// "elseif cond" rewritten as "if cond", keeping the indentation.
std::string elseif_as_if(const std::string& raw) {
    size_t keyword = raw.find_first_not_of(" \t\r\n");
    return raw.substr(0, keyword) + "if" + raw.substr(keyword + 6);
}

}  // namespace

std::string fold_static_conditions(const std::string& text, const ParamValues& values,
                                   const ParamDecls& decls) {
    std::vector<std::string> lines = split_lines(text);
    FoldStack stack;
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string raw = lines[i];
        std::string t = trim(raw);
        while (ends_with(t, '\\')) {
            t = trim(t.substr(0, t.size() - 1));
            raw.erase(raw.rfind('\\'));
            if (i + 1 >= lines.size()) break;
            ++i;
            t += " " + trim(lines[i]);
            raw += " " + lines[i];
        }
        std::string lower = to_lower(t);
        auto emit = [&](const std::string& line) {
            if (stack.emitting()) out += line + "\n";
        };

        if (opens_with(lower, "if")) {
            StaticCondition c = evaluate_static_condition(t.substr(2), values, decls);
            if (c.decided) {
                bool on = stack.emitting() && c.value;
                stack.push(true, on, on);
            } else {
                emit(raw);
                stack.push(false, true, false);
            }
        } else if (opens_with(lower, "elseif")) {
            if (stack.empty() || !stack.top().decided) {
                emit(raw);
                continue;
            }
            StaticIfFrame& top = stack.top();
            if (top.taken || !top.outer_emitting) {
                top.active = false;
                continue;
            }
            StaticCondition c = evaluate_static_condition(t.substr(6), values, decls);
            if (c.decided) {
                top.active = top.taken = c.value;
            } else {
                // Nothing before this branch ran, so the rest of the chain
                // becomes a run-time chain starting here.
                top = {false, true, false, true};
                emit(elseif_as_if(raw));
            }
        } else if (is_keyword_line(lower, "else")) {
            if (stack.empty() || !stack.top().decided) {
                emit(raw);
                continue;
            }
            StaticIfFrame& top = stack.top();
            top.active = !top.taken && top.outer_emitting;
            top.taken = top.taken || top.active;
        } else if (is_keyword_line(lower, "endif")) {
            if (stack.empty()) continue;
            StaticIfFrame top = stack.top();
            stack.pop();
            if (!top.decided) emit(raw);
        } else {
            emit(raw);
        }
    }
    return out;
}

// [SECTION] User functions

namespace {

// The function that a "func name(type a, type b)" line opens.
UserFunction open_function(const std::string& line, const std::string& return_type) {
    UserFunction function;
    function.return_type = return_type;
    std::string rest = trim(line.substr(5));
    size_t open = rest.find('(');
    function.name = to_lower(trim(rest.substr(0, open)));
    size_t close = rest.rfind(')');
    std::string list = close == std::string::npos || close < open
                           ? rest.substr(open + 1)
                           : rest.substr(open + 1, close - open - 1);
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos) comma = list.size();
        std::string piece = trim(list.substr(start, comma - start));
        start = comma + 1;
        if (starts_with(piece, "const ")) piece = trim(piece.substr(6));
        size_t blank = piece.rfind(' ');
        if (piece.empty() || blank == std::string::npos) continue;
        function.params.push_back({trim(piece.substr(0, blank)), trim(piece.substr(blank + 1))});
    }
    return function;
}

}  // namespace

std::string extract_user_functions(const std::string& init, std::vector<UserFunction>& functions) {
    std::vector<std::string> lines = split_lines(init);
    std::string out;
    bool inside = false;
    UserFunction current;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string t = trim(lines[i]);
        while (ends_with(t, '\\')) {
            t = trim(t.substr(0, t.size() - 1));
            if (i + 1 >= lines.size()) break;
            t += " " + trim(lines[++i]);
        }
        if (inside) {
            if (t == "endfunc") {
                functions.push_back(std::move(current));
                inside = false;
            } else {
                current.body += t + "\n";
            }
            continue;
        }
        std::string rest = t;
        std::string return_type = "complex";
        if (const char* keyword = leading_type_keyword(t)) {
            return_type = keyword;
            return_type.pop_back();
            rest = trim(t.substr(return_type.size() + 1));
        }
        if (starts_with(rest, "func ") && rest.find('(') != std::string::npos) {
            current = open_function(rest, return_type);
            inside = true;
            continue;
        }
        out += t + "\n";
    }
    return out;
}

}  // namespace spirelle
