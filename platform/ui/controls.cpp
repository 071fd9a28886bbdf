// Helpers shared by every implementation of the controls.
#include "platform/ui/controls.h"

namespace qx::ui {

std::vector<std::pair<std::string, std::string>> filterPairs(const std::string& filter) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= filter.size()) {
        std::size_t bar = filter.find('|', start);
        parts.push_back(
            filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
        if (bar == std::string::npos) break;
        start = bar + 1;
    }
    std::vector<std::pair<std::string, std::string>> out;
    for (std::size_t k = 0; k + 1 < parts.size(); k += 2)
        if (!parts[k].empty() || !parts[k + 1].empty()) out.emplace_back(parts[k], parts[k + 1]);
    return out;
}

}  // namespace qx::ui
