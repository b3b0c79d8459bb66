#include "wmp/stock_sounds.h"

#include <fstream>

namespace handset::wmp {

bool writeStockSounds(const std::filesystem::path& folder, std::string* why)
{
    for (std::size_t i = 0; i < kStockSoundFileCount; ++i) {
        const StockSoundFile& sound = kStockSoundFiles[i];
        const std::filesystem::path file = folder / sound.name;
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(sound.bytes), static_cast<std::streamsize>(sound.size));
        out.close();
        if (!out) {
            if (why)
                *why = "cannot write " + file.string();
            return false;
        }
    }
    return true;
}

}  // namespace handset::wmp
