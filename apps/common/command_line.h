// Command-line parsing shared by quorvel-serve and quorvel-fetch: CLI11 with the exit codes
// our users' scripts expect (0 for --help and --version, which go to stdout; 2 for any
// usage error, which CLI11 would report as 100-127) and `prog: message` errors on stderr.
#ifndef QUORVEL_APPS_COMMON_COMMAND_LINE_H_
#define QUORVEL_APPS_COMMON_COMMAND_LINE_H_

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>

namespace quorvel::apps {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Parses argv into app. Returns -1 when the program should go on, otherwise the code
// to exit with (help and version already printed).
inline int parse_command_line(CLI::App& app, int argc, const char* const* argv,
                              const std::string& program) {
  try {
    app.parse(argc, argv);
    return -1;
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return kExitOk;
  } catch (const CLI::CallForAllHelp&) {
    std::cout << app.help("", CLI::AppFormatMode::All);
    return kExitOk;
  } catch (const CLI::CallForVersion& version) {
    std::cout << version.what() << '\n';
    return kExitOk;
  } catch (const CLI::ParseError& error) {
    std::cerr << program << ": " << error.what() << "\n"
              << "Try '" << program << " --help' for more information.\n";
    return kExitUsage;
  }
}

}  // namespace quorvel::apps

#endif  // QUORVEL_APPS_COMMON_COMMAND_LINE_H_
