// Runs the kambio-sim executable as a user would and collects what it wrote.
#pragma once

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>

namespace kambio::testing {

struct SimResult {
    int exitCode = -1;
    std::string out;  // standard output, byte for byte
};

// `arguments` are passed to kambio-sim as they are; standard error is dropped.
inline SimResult RunSim(const std::string& arguments) {
    std::string command = std::string(KAMBIO_SIM_EXE) + " " + arguments + " 2>/dev/null";
    SimResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) result.out.append(buffer.data(), n);
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline std::string ScenarioPath(const std::string& name) {
    return std::string(KAMBIO_SOURCE_DIR) + "/scenarios/" + name;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

}  // namespace kambio::testing
