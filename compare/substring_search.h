// Many substrings looked for in one pass over a text (Aho–Corasick over the bytes of UTF-8
// text): which of a set of patterns each text contains.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx::compare {

class SubstringSearch {
  public:
    // Non-empty patterns, numbered by their position.
    explicit SubstringSearch(const std::vector<std::string>& patterns);

    // The numbers of the patterns `text` contains, each once, in no particular order.
    void find(std::string_view text, std::vector<std::uint32_t>& out);

  private:
    struct Node {
        std::vector<std::pair<unsigned char, std::uint32_t>> children;  // sorted by byte
        std::uint32_t fail = 0;
        std::uint32_t output = kNone;  // the nearest node on the fail chain that ends a pattern
        std::uint32_t pattern = kNone;
    };
    static constexpr std::uint32_t kNone = 0xFFFFFFFF;
    std::uint32_t child(std::uint32_t node, unsigned char byte) const;
    std::uint32_t step(std::uint32_t node, unsigned char byte) const;

    std::vector<Node> nodes_;
    std::uint32_t root_[256];          // the root's transitions, looked up directly
    std::vector<std::uint32_t> seen_;  // per pattern: the number of the last text that had it
    std::uint32_t texts_ = 0;
};

}  // namespace qx::compare
