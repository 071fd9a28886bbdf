// Aho–Corasick matching.
#include "compare/substring_search.h"

#include <algorithm>
#include <deque>

namespace qx::compare {

SubstringSearch::SubstringSearch(const std::vector<std::string>& patterns)
    : seen_(patterns.size(), 0) {
    nodes_.emplace_back();
    for (std::uint32_t p = 0; p < patterns.size(); ++p) {
        std::uint32_t at = 0;
        for (unsigned char b : patterns[p]) {
            std::uint32_t next = child(at, b);
            if (next == kNone) {
                next = static_cast<std::uint32_t>(nodes_.size());
                auto& kids = nodes_[at].children;
                kids.insert(
                    std::lower_bound(kids.begin(), kids.end(), std::make_pair(b, std::uint32_t{0})),
                    {b, next});
                nodes_.emplace_back();
            }
            at = next;
        }
        nodes_[at].pattern = p;
    }
    for (int b = 0; b < 256; ++b) {
        std::uint32_t c = child(0, static_cast<unsigned char>(b));
        root_[b] = c == kNone ? 0 : c;
    }
    // Breadth first: each node's fail link is the longest proper suffix that is in the trie.
    std::deque<std::uint32_t> queue;
    for (const auto& [b, c] : nodes_[0].children) queue.push_back(c);
    while (!queue.empty()) {
        std::uint32_t n = queue.front();
        queue.pop_front();
        const Node& node = nodes_[n];
        std::uint32_t f = node.fail;
        nodes_[n].output = nodes_[f].pattern != kNone ? f : nodes_[f].output;
        for (const auto& [b, c] : node.children) {
            nodes_[c].fail = n == 0 ? 0 : step(f, b);
            queue.push_back(c);
        }
    }
}

std::uint32_t SubstringSearch::child(std::uint32_t node, unsigned char byte) const {
    const auto& kids = nodes_[node].children;
    auto it = std::lower_bound(kids.begin(), kids.end(), std::make_pair(byte, std::uint32_t{0}));
    return it != kids.end() && it->first == byte ? it->second : kNone;
}

std::uint32_t SubstringSearch::step(std::uint32_t node, unsigned char byte) const {
    while (node != 0) {
        std::uint32_t c = child(node, byte);
        if (c != kNone) return c;
        node = nodes_[node].fail;
    }
    return root_[byte];
}

void SubstringSearch::find(std::string_view text, std::vector<std::uint32_t>& out) {
    out.clear();
    ++texts_;
    std::uint32_t at = 0;
    for (unsigned char b : text) {
        at = step(at, b);
        for (std::uint32_t n = nodes_[at].pattern != kNone ? at : nodes_[at].output; n != kNone;
             n = nodes_[n].output) {
            std::uint32_t p = nodes_[n].pattern;
            if (seen_[p] != texts_) {
                seen_[p] = texts_;
                out.push_back(p);
            }
        }
    }
}

}  // namespace qx::compare
