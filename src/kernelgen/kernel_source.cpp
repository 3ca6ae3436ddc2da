#include "kernelgen/kernel_source.h"

namespace spirelle {

std::string build_kernel_source(const Scene&) { return {}; }

}  // namespace spirelle
