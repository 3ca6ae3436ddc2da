// Runs spirelle-cli as a user would and captures what it prints.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace spirelle::testing {

struct CliResult {
    int status = -1;
    std::string out;  // standard output, with standard error appended when asked
};

inline CliResult run_cli(const std::string& args, bool merge_stderr = false) {
    std::string command = std::string(SPIRELLE_CLI_PATH) + " " + args;
    command += merge_stderr ? " 2>&1" : " 2>/dev/null";
    CliResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.out.append(buffer.data(), n);
    int raw = pclose(pipe);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return result;
}

}  // namespace spirelle::testing
