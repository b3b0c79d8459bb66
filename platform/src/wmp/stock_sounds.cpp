#include "wmp/stock_sounds.h"

namespace handset::wmp {

bool writeStockSounds(const std::filesystem::path& folder, std::string* why)
{
    return writeEmbeddedFiles(kStockSoundFiles, kStockSoundFileCount, folder, why);
}

}  // namespace handset::wmp
