#pragma once

// The command line as the tools take it, by the conventions a Unix user
// expects: `--name value` and `--name=value`, options in any order, a short
// hint (not the whole usage) on a mistake, and options that contradict each
// other refused rather than one silently winning.

#include <string>
#include <variant>
#include <vector>

namespace qmx::tools {

struct TOptionSpec {
    std::string Name;        // "--com"
    bool TakesValue = false;
    std::string Alias = {};  // "-h"
    bool Repeats = false;    // each value counts, like faults added one by one
    // What --help, and so the man page, says of it: the value's name ("N")
    // and the text, whose lines go on under the first. An option without a
    // text is not shown.
    std::string Value = {};
    std::string Help = {};
};

struct TGivenOption {
    std::string Name;  // as in its TOptionSpec, whichever spelling was used
    std::string Value;
};

class TCommandLine {
public:
    TCommandLine(std::string program, std::vector<TOptionSpec> options);

    // At most one of `names` may be given.
    void Conflicting(std::vector<std::string> names);

    // The options in the order given, or a one-line problem. A valued
    // option given twice is a problem unless it repeats; a flag given twice
    // counts once.
    std::variant<std::vector<TGivenOption>, std::string> Parse(const std::vector<std::string>& arguments) const;

    // What to print after a problem: the program, the problem, and where the
    // usage is, on two lines.
    std::string Hint(const std::string& problem) const;

    // The options' part of --help: a line "  --name VALUE  text" for each
    // option with a text, in the table's order, the texts starting at
    // `column` (or on the next line when the name is longer).
    std::string OptionsHelp(std::size_t column) const;

private:
    const TOptionSpec* Find(const std::string& name) const;
    std::string Suggestion(const std::string& unknown) const;

    std::string FProgram;
    std::vector<TOptionSpec> FOptions;
    std::vector<std::vector<std::string>> FConflicts;
};

}  // namespace qmx::tools
