#include "formula/preprocess.h"

namespace spirelle {

std::string preprocess(const std::string& text) { return text; }

}  // namespace spirelle
