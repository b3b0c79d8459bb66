// The picture files of the program's bitmaps, read straight from the
// source tree, for comparing what is drawn with what was drawn for it.
#pragma once

#include <filesystem>

#include <QImage>
#include <QString>

namespace about_test {

// A file of Tonquil/resources/bitmaps as 32-bit pixels; a null image when
// it cannot be read.
inline QImage bitmapFile(const char* name)
{
    // The build names the folder: a compiler cache may make __FILE__ relative.
    const std::filesystem::path folder = TONQUIL_BITMAPS;
    return QImage(QString::fromStdString((folder / name).string())).convertToFormat(QImage::Format_RGB32);
}

}  // namespace about_test
