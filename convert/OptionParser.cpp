#include "convert/OptionParser.h"

#include <algorithm>

namespace sodrel::convert {
namespace {

const OptionEntry* Find(std::span<const OptionEntry> table, std::string_view name) {
  const auto it = std::find_if(table.begin(), table.end(), [&](const OptionEntry& entry) {
    return entry.name == name || (name.size() == 1 && entry.letter == name[0]);
  });
  return it == table.end() ? nullptr : &*it;
}

// "-r, --recursive" or "-o, --output-dir <DIR>".
std::string Names(const OptionEntry& entry) {
  std::string names;
  if (entry.letter != 0) names = std::string("-") + entry.letter + ", ";
  names += "--" + std::string(entry.name);
  if (!entry.valueName.empty()) names += " <" + std::string(entry.valueName) + ">";
  return names;
}

// `help` beside `names` (padded to `width`), broken at spaces into lines that end by column 79.
std::string Wrapped(std::string_view names, std::size_t width, std::string_view help) {
  const std::size_t most = 79 - (2 + width + 1);
  std::string text;
  std::size_t lineStart = 0;
  std::size_t x = 0;
  std::optional<std::size_t> lastSpace;
  for (std::size_t i = 0; i < help.size(); ++i) {
    ++x;
    if (help[i] == ' ') lastSpace = i;
    std::size_t end = 0;
    std::size_t next = 0;
    if (x > most && lastSpace) {
      end = *lastSpace, next = *lastSpace + 1;
    } else if ((x > most - 1 && !lastSpace) || i == help.size() - 1) {
      end = next = i + 1;
    } else {
      continue;
    }
    std::string column(names);
    column.resize(std::max(width, column.size()), ' ');
    text += "  " + column + " " + std::string(help.substr(lineStart, end - lineStart)) + "\n";
    names = {};
    x = 0, lastSpace.reset(), lineStart = next;
    if (lineStart < help.size() && help[lineStart] == ' ') ++lineStart;
    i = lineStart;
  }
  return text;
}

}  // namespace

std::optional<std::string> ParsedOptions::Value(std::string_view name) const {
  for (auto it = given.rbegin(); it != given.rend(); ++it) {
    if (it->first == name) return it->second;
  }
  return std::nullopt;
}

ParsedOptions ParseOptions(std::span<const OptionEntry> table, int argc, char** argv) {
  ParsedOptions parsed;
  std::vector<std::string> unknown;
  // The value of `entry`, found in `word` (the option's own word) after "=" or else as the next
  // word; false after saying what is missing or unexpected.
  const auto take = [&](const OptionEntry& entry, const std::string& word, int& i) {
    const std::size_t assign = word.find('=');
    if (entry.valueName.empty()) {
      if (assign == std::string::npos) return parsed.given.emplace_back(entry.name, ""), true;
      parsed.error = "unexpected value after '" + word.substr(0, assign) + "'";
    } else if (assign != std::string::npos) {
      return parsed.given.emplace_back(entry.name, word.substr(assign + 1)), true;
    } else if (i + 1 < argc) {
      return parsed.given.emplace_back(entry.name, argv[++i]), true;
    } else {
      parsed.error = "missing value after '" + word + "'";
    }
    return false;
  };
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      parsed.words.push_back(word);
    } else if (word == "--") {
      optionsEnded = true;
    } else if (word[1] == '-') {
      const std::string name = word.substr(2, word.find('=') - 2);
      if (const OptionEntry* entry = Find(table, name)) {
        take(*entry, word, i);
      } else {
        unknown.push_back(name);
      }
    } else {
      // Bundled letters: a letter that takes a value takes the rest of the word, if any.
      const OptionEntry* last = nullptr;
      bool valueFound = false;
      for (std::size_t at = 1; at < word.size(); ++at) {
        last = Find(table, word.substr(at, 1));
        if (last == nullptr) {
          unknown.push_back(word.substr(at, 1));
        } else if (!last->valueName.empty()) {
          if (at + 1 < word.size()) {
            parsed.given.emplace_back(last->name, word.substr(at + 1 + (word[at + 1] == '=')));
            valueFound = true;
          }
          break;
        } else if (at + 1 < word.size() && word[at + 1] == '=') {
          break;
        } else {
          parsed.given.emplace_back(last->name, "");
        }
      }
      // A last letter that takes a value and has none yet takes the next word.
      if (last != nullptr && !valueFound &&
          (!last->valueName.empty() || word.find('=') != std::string::npos)) {
        take(*last, word, i);
      }
    }
  }
  if (parsed.error.empty() && unknown.size() == 1) {
    parsed.error = "unknown option '" + unknown[0] + "'";
  } else if (parsed.error.empty() && !unknown.empty()) {
    parsed.error = "unknown options: " + unknown[0];
    for (std::size_t k = 1; k < unknown.size(); ++k) parsed.error += ", " + unknown[k];
  }
  return parsed;
}

std::string OptionsHelp(std::span<const OptionEntry> table,
                        std::span<const ArgumentHelp> arguments) {
  std::size_t width = 0;
  for (const OptionEntry& entry : table) width = std::max(width, Names(entry).size());
  for (const ArgumentHelp& argument : arguments) width = std::max(width, argument.name.size());
  width = std::min<std::size_t>(width + 1, 50);
  std::string text = "Options:\n";
  for (const OptionEntry& entry : table) text += Wrapped(Names(entry), width, entry.help);
  text += "\nArguments:\n";
  for (const ArgumentHelp& argument : arguments) {
    text += Wrapped(argument.name, width, argument.help);
  }
  return text;
}

}  // namespace sodrel::convert
