#pragma once

// The benches' figures as bench/results.json keeps them, one object a line.
// Each bench writes its own rows over the file's rows of the same names
// and keeps the others', so the benches run one after another fill one
// file.

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

struct TFigure {
    std::string Name;
    std::string Unit;
    std::string Target;  // as written
    double Median = 0;
    double Low = 0;
    double High = 0;
    int Runs = 0;
    bool Pass = false;
};

inline std::string FigureJson(const TFigure& f) {
    std::ostringstream line;
    line << "  {\"figure\": \"" << f.Name << "\", \"unit\": \"" << f.Unit << "\", \"target\": \"" << f.Target
         << "\", \"measured\": " << f.Median << ", \"low\": " << f.Low << ", \"high\": " << f.High
         << ", \"runs\": " << f.Runs << ", \"pass\": " << (f.Pass ? "true" : "false") << "}";
    return line.str();
}

inline void WriteFigures(const std::string& path, const std::vector<TFigure>& figures) {
    const std::string opening = "  {\"figure\": \"";
    std::vector<std::pair<std::string, std::string>> rows;  // name, line
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, opening.size(), opening) != 0) continue;
        if (line.back() == ',') line.pop_back();
        rows.emplace_back(line.substr(opening.size(), line.find('"', opening.size()) - opening.size()), line);
    }
    for (const auto& figure : figures) {
        auto row = rows.begin();
        while (row != rows.end() && row->first != figure.Name) ++row;
        if (row == rows.end()) row = rows.insert(row, {figure.Name, ""});
        row->second = FigureJson(figure);
    }
    std::ofstream out(path);
    out << "[\n";
    for (std::size_t i = 0; i < rows.size(); ++i) out << rows[i].second << (i + 1 < rows.size() ? "," : "") << "\n";
    out << "]\n";
}
