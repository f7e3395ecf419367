#pragma once

// The tank file's form: [tank N] sections of key = value lines, comments
// after ; or #. What each value means is the tank file's to judge; here a
// line that is no section header and no key = value, a key the file does
// not know, a key or a section given twice, are refused with their line.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qmx {

struct TSectionValue {
    std::string Text;
    int Line = 0;
};

struct TTankSection {
    int Tank = 0;
    int Line = 0;  // of its header
    std::map<std::string, TSectionValue> Values;
};

// Why a tank file is refused: the line (0 for the file as a whole), and what.
struct TTankFileProblem {
    int Line = 0;
    std::string What;
};

// The sections of `text`, in the order given, or the first mistake of form.
std::optional<TTankFileProblem> ReadTankSections(const std::string& text, std::vector<TTankSection>& sections);

}  // namespace qmx
