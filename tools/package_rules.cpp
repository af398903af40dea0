// The rules a sound package keeps beyond the stub's table check.
#include "tools/package_rules.h"

#include "src/stub.h"

namespace sfx::pack {
namespace {

bool same_ignoring_case(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    auto upper = [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    };
    for (size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

}  // namespace

bool find_case_duplicate(const std::vector<std::string>& names, size_t& first, size_t& second) {
    // At most a dozen names: the quadratic scan is the clearest.
    for (second = 1; second < names.size(); ++second)
        for (first = 0; first < second; ++first)
            if (same_ignoring_case(names[first], names[second])) return true;
    return false;
}

bool has_setup_program(const std::vector<std::string>& names) {
    for (const std::string& name : names)
        if (name == sfx::SETUP_PROGRAM_NAME) return true;
    return false;
}

}  // namespace sfx::pack
