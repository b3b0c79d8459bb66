// The contact categories as the phone's contacts volume keeps them: the
// records of its category database, read in record order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tonquil {

struct CategoryEntry {
    std::uint32_t recordId = 0;
    std::u16string name;  // spelled as the contacts database spells it
};

// Every category record whose name reads, in record order. A record whose
// name cannot be read is left out (it has no name to be listed under). No
// volume, connection or database: no categories.
std::vector<CategoryEntry> readCategories();

}  // namespace tonquil
