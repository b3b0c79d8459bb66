#include "wmp/stock_sounds.h"

#include <handset/host_file.h>

namespace handset::wmp {

bool writeStockSounds(const std::filesystem::path& folder, std::string* why)
{
    for (std::size_t i = 0; i < kStockSoundFileCount; ++i) {
        const StockSoundFile& sound = kStockSoundFiles[i];
        const std::filesystem::path file = folder / sound.name;
        if (!writeHostFile(file, std::string_view(reinterpret_cast<const char*>(sound.bytes), sound.size))) {
            if (why)
                *why = "cannot write " + file.string();
            return false;
        }
    }
    return true;
}

}  // namespace handset::wmp
