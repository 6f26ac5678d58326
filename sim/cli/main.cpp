// kambio-sim: runs the real program on a simulated PC described by a
// scenario file. The program's console goes to standard output byte for
// byte; message boxes are shown on standard error, so the two never mix.
#include <clocale>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <langinfo.h>
#include <string>
#include <unistd.h>

#include "display.h"
#include "program_run.h"
#include "scenario.h"

namespace {

constexpr const char* kUsage =
    "usage: kambio-sim [--trace FILE] [--interactive] SCENARIO.json\n"
    "  --trace FILE    write one line per host event to FILE (docs/trace.md)\n"
    "  --interactive   answer message boxes at the terminal once the\n"
    "                  scenario's own answers are used up\n";

struct Options {
    std::string scenario;
    std::string traceFile;
    bool interactive = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--trace" && i + 1 < argc) {
            options.traceFile = argv[++i];
        } else if (arg == "--interactive") {
            options.interactive = true;
        } else if (arg == "-h" || arg == "--help") {
            return false;
        } else if (!arg.empty() && arg[0] != '-' && options.scenario.empty()) {
            options.scenario = arg;
        } else {
            return false;
        }
    }
    return !options.scenario.empty();
}

bool TerminalShowsUtf8(int fd) {
    if (isatty(fd) == 0) return false;
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr && std::strcmp(codeset, "UTF-8") == 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace kambio::sim;
    std::setlocale(LC_ALL, "");
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    Scenario scenario;
    try {
        scenario = LoadScenarioFile(options.scenario);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kambio-sim: %s\n", e.what());
        return 2;
    }

    SimPc& pc = *scenario.pc;
    const bool consoleUtf8 = TerminalShowsUtf8(STDOUT_FILENO);
    const bool boxesUtf8 = TerminalShowsUtf8(STDERR_FILENO);
    bool askedAtTerminal = false;
    pc.onConsoleOutput = [&](std::string_view text) {
        std::string shown = ForTerminal(text, consoleUtf8);
        std::fwrite(shown.data(), 1, shown.size(), stdout);
        std::fflush(stdout);
    };
    if (options.interactive) {
        pc.answerer = [&](const BoxRecord& box) {
            askedAtTerminal = true;
            return AskTerminal(box, boxesUtf8);
        };
    }
    const bool sharedTerminal = isatty(STDOUT_FILENO) != 0 && isatty(STDERR_FILENO) != 0;
    pc.onBox = [&](const BoxRecord& box) {
        std::string description = DescribeBox(box, boxesUtf8);
        // On one terminal a box starts on a line of its own; the console
        // bytes themselves stay as the program wrote them.
        if (sharedTerminal && !pc.console.empty() && pc.console.back() != '\n') description.insert(0, "\n");
        if (askedAtTerminal) description = description.substr(description.rfind("+-- answer"));
        askedAtTerminal = false;
        std::fputs(description.c_str(), stderr);
        std::fflush(stderr);
    };

    int exitCode = 0;
    for (std::size_t i = 0; i < scenario.runs.size(); ++i) {
        pc.boxAnswers.assign(scenario.runs[i].answers.begin(), scenario.runs[i].answers.end());
        if (scenario.runs.size() > 1) {
            std::fprintf(stderr, "=== run %zu of %zu ===\n", i + 1, scenario.runs.size());
            pc.trace.add("run " + std::to_string(i + 1));
        }
        std::string hang;
        exitCode = RunProgram(pc, &hang);
        std::fflush(stdout);
        if (exitCode == kExitHang) std::fprintf(stderr, "kambio-sim: run stopped: %s\n", hang.c_str());
        if (scenario.runs.size() > 1) std::fprintf(stderr, "=== exit code %d ===\n", exitCode);
    }

    if (!options.traceFile.empty()) {
        std::ofstream trace(options.traceFile, std::ios::binary);
        for (const std::string& line : pc.trace.lines()) trace << line << '\n';
        if (!trace) {
            std::fprintf(stderr, "kambio-sim: cannot write %s\n", options.traceFile.c_str());
            return 2;
        }
    }
    return exitCode;
}
