#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sodrel::convert {

// One option of the command line: -x and/or --name, taking a value when `valueName` is set.
struct OptionEntry {
  char letter = 0;  // 0: no one-letter form
  std::string_view name;
  std::string_view valueName;  // shown as "<valueName>" in the help
  std::string_view help;
};

// What a command line gave. Options and other words come in any order, "--" ends the options;
// a value follows its option as the next word, after "=" ("--jobs=4", "-o=DIR") or, for a
// letter, right after it ("-j4"); letters may be bundled ("-rf"). Words are kept byte for byte.
struct ParsedOptions {
  std::vector<std::string> words;  // the words that are not options, in order
  std::string error;               // what is wrong ("unknown option 'x'"), or empty
  std::vector<std::pair<std::string_view, std::string>> given;  // each option's name and value

  bool Has(std::string_view name) const { return Value(name).has_value(); }
  // The value given last, "" for an option without one.
  std::optional<std::string> Value(std::string_view name) const;
};

ParsedOptions ParseOptions(std::span<const OptionEntry> table, int argc, char** argv);

// The help's two tables: each option's names with its help beside them, wrapped to 79 columns,
// and after "Arguments:" each of `arguments` likewise.
struct ArgumentHelp {
  std::string_view name;
  std::string_view help;
};
std::string OptionsHelp(std::span<const OptionEntry> table,
                        std::span<const ArgumentHelp> arguments);

}  // namespace sodrel::convert
