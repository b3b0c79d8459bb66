// The phone's stock pictures (Sunset.jpg 400 x 300, Portrait.jpg 120 x 160,
// Daisy.png 64 x 64), drawn when the platform is built and carried in the
// platform library, so that a new device has pictures to give a contact.
#pragma once

#include "core/embedded_files.h"

namespace handset::imaging {

// Made at build time (stock_pictures_data.cpp, generated).
extern const EmbeddedFile kStockPictureFiles[];
extern const std::size_t kStockPictureFileCount;

}  // namespace handset::imaging
