#pragma once

// The site addresses already met during one harvest run.

#include <cstddef>
#include <unordered_set>

#include "text/text.h"

namespace sh::harvest {

using sh::text::Text;

class SeenSet {
public:
    // True when the address was new (it is now recorded); false when it was already
    // there. Equality is exact bytes: case matters, nothing is trimmed.
    bool add(const Text& address) { return m_addresses.insert(address).second; }
    std::size_t size() const { return m_addresses.size(); }

private:
    std::unordered_set<Text> m_addresses;
};

}  // namespace sh::harvest
