// The imaging factory on real picture files and contact picture streams:
// sizes and formats, thumbnails, drawing into a bitmap section, and files
// that are no pictures.
#include <fstream>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <handset/contacts_admin.h>
#include <handset/device.h>
#include <handset/imaging.h>
#include <handset/wstring.h>

#include "contacts_fixture.h"

namespace handset::testing {
namespace {

// A GIF of the given size, left half red, right half blue. Qt reads GIF but
// does not write it, so the test writes one itself: 2-bit LZW codes left
// uncompressed, the code table cleared every two pixels so that every code
// stays 3 bits wide.
std::vector<BYTE> halvesGif(int width, int height)
{
    std::vector<BYTE> out = {'G', 'I', 'F', '8', '9', 'a'};
    auto word = [&](int v) {
        out.push_back(static_cast<BYTE>(v & 0xFF));
        out.push_back(static_cast<BYTE>(v >> 8));
    };
    word(width);
    word(height);
    out.insert(out.end(), {0x80, 0, 0, 255, 0, 0, 0, 0, 255});  // two colours: red, blue
    out.push_back(0x2C);
    word(0);
    word(0);
    word(width);
    word(height);
    out.push_back(0);
    out.push_back(2);  // minimum code size
    std::vector<BYTE> data;
    unsigned accumulator = 0;
    int bits = 0;
    auto code = [&](unsigned c) {
        accumulator |= c << bits;
        bits += 3;
        while (bits >= 8) {
            data.push_back(static_cast<BYTE>(accumulator & 0xFF));
            accumulator >>= 8;
            bits -= 8;
        }
    };
    constexpr unsigned kClear = 4, kEnd = 5;
    for (int i = 0; i < width * height; ++i) {
        if (i % 2 == 0)
            code(kClear);
        code(i % width < width / 2 ? 0 : 1);
    }
    code(kEnd);
    if (bits > 0)
        data.push_back(static_cast<BYTE>(accumulator));
    for (std::size_t at = 0; at < data.size(); at += 255) {
        const std::size_t n = std::min<std::size_t>(255, data.size() - at);
        out.push_back(static_cast<BYTE>(n));
        out.insert(out.end(), data.begin() + at, data.begin() + at + n);
    }
    out.push_back(0);
    out.push_back(0x3B);
    return out;
}

QImage halves(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(0, 0, width / 2, height, Qt::red);
    painter.fillRect(width / 2, 0, width - width / 2, height, Qt::blue);
    return image;
}

std::vector<BYTE> encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, format)) << format;
    return {bytes.begin(), bytes.end()};
}

bool near(BYTE a, int b)
{
    return std::abs(static_cast<int>(a) - b) < 40;  // JPEG moves colours a little
}

class ImagingTest : public ContactsTest {
protected:
    void SetUp() override
    {
        ContactsTest::SetUp();
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                         factory_.outVoid()));
        std::filesystem::create_directories(deviceFileSystem() / "My Documents/My Pictures");
    }

    // Writes a file into "\My Documents\My Pictures"; its device path.
    std::u16string writePicture(const std::string& name, const std::vector<BYTE>& bytes)
    {
        std::ofstream(deviceFileSystem() / "My Documents/My Pictures" / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return u"\\My Documents\\My Pictures\\" + fromUtf8(name);
    }

    // Draws the image into a bottom-up 24-bit section of the size, as the
    // contact dialog shows a thumbnail, and checks that the left half came
    // out red and the right half blue.
    void expectDrawnHalves(IImage* image, int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* raw = nullptr;
        HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
        ASSERT_NE(nullptr, dib);
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, dib);
        const RECT all{0, 0, width, height};
        EXPECT_EQ(S_OK, image->Draw(dc, &all, nullptr));
        const auto* bits = static_cast<const BYTE*>(raw);
        const int stride = (width * 3 + 3) / 4 * 4;
        const BYTE* middleRow = bits + stride * (height / 2);
        const BYTE* left = middleRow + 3 * (width / 4);
        const BYTE* right = middleRow + 3 * (width * 3 / 4);
        EXPECT_TRUE(near(left[2], 255) && near(left[1], 0) && near(left[0], 0))
            << int(left[2]) << "," << int(left[1]) << "," << int(left[0]);
        EXPECT_TRUE(near(right[2], 0) && near(right[1], 0) && near(right[0], 255))
            << int(right[2]) << "," << int(right[1]) << "," << int(right[0]);
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(dib);
    }

    ComPtr<IImagingFactory> factory_;
};

TEST_F(ImagingTest, EachFormatFromAFileGivesItsSizeAThumbnailAndDraws)
{
    const QImage picture = halves(400, 300);
    const struct {
        std::string name;
        std::vector<BYTE> bytes;
        GUID format;
        int width, height;
    } files[] = {
        {"Sunset.jpg", encode(picture, "JPEG"), ImageFormatJPEG, 400, 300},
        {"Portrait.png", encode(halves(120, 160), "PNG"), ImageFormatPNG, 120, 160},
        {"Square.bmp", encode(halves(64, 64), "BMP"), ImageFormatBMP, 64, 64},
        {"Flag.gif", halvesGif(40, 30), ImageFormatGIF, 40, 30},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        ComPtr<IImage> image;
        ASSERT_EQ(S_OK, factory_->CreateImageFromFile(writePicture(f.name, f.bytes).c_str(), image.out()));
        ImageInfo info{};
        ASSERT_EQ(S_OK, image->GetImageInfo(&info));
        EXPECT_EQ(f.format, info.RawDataFormat);
        EXPECT_EQ(static_cast<UINT>(f.width), info.Width);
        EXPECT_EQ(static_cast<UINT>(f.height), info.Height);

        // The contact dialog's thumbnail: 55 pixels high, the width in proportion.
        const UINT thumbWidth = static_cast<UINT>(info.Width / (info.Height * (1.0f / 55)));
        ComPtr<IImage> thumb;
        ASSERT_EQ(S_OK, image->GetThumbnail(thumbWidth, 55, thumb.out()));
        ImageInfo thumbInfo{};
        ASSERT_EQ(S_OK, thumb->GetImageInfo(&thumbInfo));
        EXPECT_EQ(thumbWidth, thumbInfo.Width);
        EXPECT_EQ(55u, thumbInfo.Height);
        EXPECT_EQ(ImageFormatMemoryBMP, thumbInfo.RawDataFormat);
        expectDrawnHalves(thumb.get(), static_cast<int>(thumbWidth), 55);
        expectDrawnHalves(image.get(), 50, 20);
    }
}

TEST_F(ImagingTest, AContactsPictureStreamIsReadFromItsPosition)
{
    const std::vector<BYTE> jpeg = encode(halves(400, 300), "JPEG");
    contacts::ContactChanges smith;
    smith.lastName = u"Smith";
    smith.picture = jpeg;
    CEOID oid = 0;
    ASSERT_EQ(ERROR_SUCCESS, contacts::addContact(smith, &oid));

    ComPtr<IItem> item;
    ASSERT_EQ(S_OK, openItem(oid, item));
    ComPtr<IStream> stream;
    ASSERT_EQ(S_OK, item->OpenProperty(PIMPR_PICTURE, GENERIC_READ, stream.out()));
    ComPtr<IImage> image;
    ASSERT_EQ(S_OK, factory_->CreateImageFromStream(stream.get(), image.out()));
    ImageInfo info{};
    ASSERT_EQ(S_OK, image->GetImageInfo(&info));
    EXPECT_EQ(ImageFormatJPEG, info.RawDataFormat);
    EXPECT_EQ(400u, info.Width);
    EXPECT_EQ(300u, info.Height);

    // Read to its end, the stream has nothing left to give: no picture.
    ComPtr<IImage> again;
    EXPECT_EQ(E_FAIL, factory_->CreateImageFromStream(stream.get(), again.out()));
    EXPECT_FALSE(again);
}

TEST_F(ImagingTest, WhatIsNoPictureFailsWithoutAnImage)
{
    const std::vector<BYTE> png = encode(halves(120, 160), "PNG");
    const std::vector<BYTE> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'};
    const std::vector<BYTE> header(png.begin(), png.begin() + 20);  // cut inside the size record
    for (const auto& [name, bytes] : {std::pair{"Text.jpg", text}, std::pair{"Cut.png", header},
                                      std::pair{"Empty.png", std::vector<BYTE>{}}}) {
        ComPtr<IImage> image;
        EXPECT_EQ(E_FAIL, factory_->CreateImageFromFile(writePicture(name, bytes).c_str(), image.out())) << name;
        EXPECT_FALSE(image) << name;
        EXPECT_EQ(E_FAIL, factory_->CreateImageFromBuffer(bytes.data(), static_cast<UINT>(bytes.size()),
                                                          BufferDisposalFlagNone, image.out()))
            << name;
    }

    // The header is whole but the pixels stop half way: the image is made,
    // and drawing it or making its thumbnail fails.
    const std::vector<BYTE> half(png.begin(), png.begin() + png.size() / 2);
    ComPtr<IImage> image;
    ASSERT_EQ(S_OK, factory_->CreateImageFromFile(writePicture("Half.png", half).c_str(), image.out()));
    HDC dc = CreateCompatibleDC(nullptr);
    const RECT all{0, 0, 10, 10};
    EXPECT_EQ(E_FAIL, image->Draw(dc, &all, nullptr));
    EXPECT_EQ(E_FAIL, image->Draw(dc, &all, nullptr));
    DeleteDC(dc);
    ComPtr<IImage> thumb;
    EXPECT_EQ(E_FAIL, image->GetThumbnail(10, 10, thumb.out()));

    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
              factory_->CreateImageFromFile(u"\\My Documents\\My Pictures\\Gone.jpg", image.out()));
    EXPECT_EQ(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND),
              factory_->CreateImageFromFile(u"\\..\\..\\etc\\passwd", image.out()));
    EXPECT_EQ(E_INVALIDARG, factory_->CreateImageFromStream(nullptr, image.out()));
}

}  // namespace
}  // namespace handset::testing
