// Reporting sfxpack's problems as single, terminal-safe lines.
#include "tools/problem_line.h"

#include <vector>

#include "src/printable_text.h"

namespace sfx::pack {

std::string shown(const std::string& text) {
    std::vector<char> out(sfx::printable_size(text.size()));
    return sfx::printable_text(text.c_str(), out.data(), out.size());
}

void report_problem(FILE* errors, const std::string& text) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    fprintf(errors, "sfxpack: %s\n", shown(line).c_str());
}

}  // namespace sfx::pack
