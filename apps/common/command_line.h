// Command-line parsing shared by quorvel-serve and quorvel-fetch: CLI11 with the exit codes
// our users' scripts expect (0 for --help and --version, which go to stdout; 2 for any
// usage error, which CLI11 would report as 100-127), `prog: message` errors on stderr, and
// a --help that names each option's value as we write it (FILE, WxH, 0|1) instead of
// CLI11's type names, ranges and exclusion lists, which say the same less clearly.
#ifndef QUORVEL_APPS_COMMON_COMMAND_LINE_H_
#define QUORVEL_APPS_COMMON_COMMAND_LINE_H_

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

namespace quorvel::apps {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// Each option as "-o, --output FILE|-" (the value's form is its option_text), its
// description beside it, wrapped to 80 columns.
class HelpFormatter : public CLI::Formatter {
 public:
  static constexpr size_t kNameColumn = 30;
  static constexpr size_t kLineWidth = 80;

  std::string make_option_name(const CLI::Option* option, bool positional) const override {
    if (positional) return option->get_option_text();
    std::string names;
    for (const std::string& name : option->get_snames())
      names += (names.empty() ? "-" : ", -") + name;
    for (const std::string& name : option->get_lnames())
      names += (names.empty() ? "--" : ", --") + name;
    return names;
  }

  std::string make_option_opts(const CLI::Option* option) const override {
    return option->get_option_text().empty() || option->get_positional()
               ? std::string()
               : " " + option->get_option_text();
  }

  std::string make_option(const CLI::Option* option, bool positional) const override {
    const std::string left = "  " + make_option_name(option, positional) + make_option_opts(option);
    std::ostringstream out;
    out << left;
    size_t column = left.size();
    if (column + 2 > kNameColumn) {
      out << '\n';
      column = 0;
    }
    std::istringstream words(make_option_desc(option));
    std::string word;
    bool first = true;
    while (words >> word) {
      if (!first && column + 1 + word.size() > kLineWidth) {
        out << '\n';
        column = 0;
      }
      if (column < kNameColumn) {
        out << std::string(kNameColumn - column, ' ');
        column = kNameColumn;
      } else {
        out << ' ';
        ++column;
      }
      out << word;
      column += word.size();
      first = false;
    }
    out << '\n';
    return out.str();
  }
};

inline void use_help_formatter(CLI::App& app) {
  app.formatter(std::make_shared<HelpFormatter>());
}

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
