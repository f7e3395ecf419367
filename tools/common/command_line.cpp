#include "command_line.h"

#include <algorithm>
#include <utility>

namespace qmx::tools {
namespace {

// Edits (insert, delete, replace) from one word to the other.
std::size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0u : 1u)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

TCommandLine::TCommandLine(std::string program, std::vector<TOptionSpec> options)
    : FProgram(std::move(program)), FOptions(std::move(options)) {}

void TCommandLine::Conflicting(std::vector<std::string> names) { FConflicts.push_back(std::move(names)); }

const TOptionSpec* TCommandLine::Find(const std::string& name) const {
    for (const auto& option : FOptions)
        if (option.Name == name || (!option.Alias.empty() && option.Alias == name)) return &option;
    return nullptr;
}

std::string TCommandLine::Suggestion(const std::string& unknown) const {
    const std::string bare = unknown.substr(0, unknown.find('='));
    const TOptionSpec* best = nullptr;
    std::size_t bestDistance = 3;  // a typing slip, not another word
    for (const auto& option : FOptions) {
        const bool prefix = bare.size() >= 3 && option.Name.rfind(bare, 0) == 0;
        const std::size_t distance = prefix ? 0 : EditDistance(bare, option.Name);
        if (distance < bestDistance) {
            best = &option;
            bestDistance = distance;
        }
    }
    return best == nullptr ? std::string() : " (did you mean " + best->Name + "?)";
}

std::variant<std::vector<TGivenOption>, std::string> TCommandLine::Parse(
    const std::vector<std::string>& arguments) const {
    std::vector<TGivenOption> given;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.size() < 2 || argument[0] != '-') return "unexpected argument '" + argument + "'";
        const std::size_t equals = argument.rfind("--", 0) == 0 ? argument.find('=') : std::string::npos;
        const std::string name = argument.substr(0, equals);
        const TOptionSpec* option = Find(name);
        if (option == nullptr) return "unknown option '" + argument + "'" + Suggestion(argument);
        std::string value;
        if (!option->TakesValue) {
            if (equals != std::string::npos) return option->Name + " takes no value";
        } else if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return option->Name + " needs a value";
        }
        const bool again = std::any_of(given.begin(), given.end(),
                                       [&](const TGivenOption& earlier) { return earlier.Name == option->Name; });
        if (again && option->TakesValue && !option->Repeats) return option->Name + " is given twice";
        if (!again || option->Repeats) given.push_back(TGivenOption{option->Name, value});
    }
    for (const auto& group : FConflicts) {
        std::vector<std::string> present;
        for (const auto& option : given)
            // A repeated option is one of the group, however often it is given.
            if (std::find(group.begin(), group.end(), option.Name) != group.end() &&
                std::find(present.begin(), present.end(), option.Name) == present.end())
                present.push_back(option.Name);
        if (present.size() > 1) return present[0] + " and " + present[1] + " cannot go together";
    }
    return given;
}

std::string TCommandLine::OptionsHelp(std::size_t column) const {
    std::string text;
    for (const auto& option : FOptions) {
        if (option.Help.empty()) continue;
        std::string name = "  " + option.Name + (option.Alias.empty() ? "" : ", " + option.Alias) +
                           (option.Value.empty() ? "" : " " + option.Value);
        // At least two spaces between the name and its text: help2man takes
        // them for the end of the name.
        name += name.size() + 2 <= column ? std::string(column - name.size(), ' ') : "\n" + std::string(column, ' ');
        std::size_t start = 0;
        for (bool first = true; start <= option.Help.size(); first = false) {
            const std::size_t end = std::min(option.Help.find('\n', start), option.Help.size());
            text += (first ? name : std::string(column, ' ')) + option.Help.substr(start, end - start) + "\n";
            start = end + 1;
        }
    }
    return text;
}

std::string TCommandLine::Hint(const std::string& problem) const {
    return FProgram + ": " + problem + "\nTry '" + FProgram + " --help' for the usage.\n";
}

}  // namespace qmx::tools
