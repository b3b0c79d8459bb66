// The imaging factory and its images over Qt's image readers.
#include <handset/imaging.h>

#include <mutex>
#include <new>
#include <optional>

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <handset/com_ptr.h>
#include <handset/device.h>
#include <handset/host_file.h>
#include <handset/log.h>
#include <handset/qt_host.h>

#include "window_internal.h"

const CLSID CLSID_ImagingFactory = {0x327ABDA8, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const IID IID_IImagingFactory = {0x327ABDA7, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
const IID IID_IImage = {0x327ABDA9, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

namespace {

// A contact's picture is a photo of a few hundred kilobytes; the bounds
// keep a damaged or hostile file from taking the device's memory.
constexpr qint64 kMaxEncodedBytes = 32 * 1024 * 1024;
constexpr qint64 kMaxPixels = 32 * 1024 * 1024;
constexpr UINT kMaxThumbnailSide = 4096;

struct Format {
    const char* reader;  // Qt's name of the format
    const GUID* raw;
};
constexpr Format kFormats[] = {
    {"jpeg", &ImageFormatJPEG}, {"png", &ImageFormatPNG}, {"bmp", &ImageFormatBMP}, {"gif", &ImageFormatGIF}};

// Encoded bytes whose header was read: the picture's format and size.
struct Encoded {
    QByteArray bytes;
    const Format* format = nullptr;
    QSize size;
    QImage::Format pixels = QImage::Format_Invalid;  // what the reader will decode to, when it says
};

const Format* formatNamed(const QByteArray& name)
{
    for (const Format& f : kFormats)
        if (name == f.reader)
            return &f;
    return nullptr;
}

// Reads the header of the bytes; E_FAIL when they are not a picture of one of
// the four formats, E_OUTOFMEMORY when it is too large to decode.
HRESULT readHeader(QByteArray bytes, Encoded& out)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const Format* format = formatNamed(reader.format());
    const QSize size = reader.size();
    if (!format || !size.isValid() || size.isEmpty())
        return E_FAIL;
    if (static_cast<qint64>(size.width()) * size.height() > kMaxPixels)
        return E_OUTOFMEMORY;
    out.format = format;
    out.size = size;
    out.pixels = reader.imageFormat();
    buffer.close();
    out.bytes = std::move(bytes);
    return S_OK;
}

// Decodes the bytes, scaled to `scaled` when it is valid (the JPEG reader
// then decodes at a reduced size directly). A null image when they cannot be.
QImage decode(const Encoded& encoded, QSize scaled = QSize())
{
    QByteArray bytes = encoded.bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, encoded.format->reader);
    if (scaled.isValid())
        reader.setScaledSize(scaled);
    QImage image = reader.read();
    if (image.isNull())
        return image;
    if (scaled.isValid() && image.size() != scaled)
        image = image.scaled(scaled, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

PixelFormat pixelFormatOf(QImage::Format format, bool& alpha)
{
    alpha = false;
    switch (format) {
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return PixelFormat8bppIndexed;
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
    case QImage::Format_RGBA8888:
    case QImage::Format_RGBA64:
        alpha = true;
        return PixelFormat32bppARGB;
    case QImage::Format_RGB32:
        return PixelFormat32bppRGB;
    default:
        return PixelFormat24bppRGB;
    }
}

class Image final : public handset::com::Object<IImage, IID_IImage> {
public:
    explicit Image(Encoded encoded) : encoded_(std::move(encoded)) {}
    explicit Image(QImage pixels) : pixels_(std::move(pixels)) {}

    HRESULT GetImageInfo(ImageInfo* info) override
    {
        if (!info)
            return E_POINTER;
        const bool encoded = encoded_.format != nullptr;
        const QSize size = encoded ? encoded_.size : pixels_.size();
        bool alpha = false;
        *info = {};
        info->RawDataFormat = encoded ? *encoded_.format->raw : ImageFormatMemoryBMP;
        info->PixelFormat = pixelFormatOf(encoded ? encoded_.pixels : pixels_.format(), alpha);
        if (!encoded)
            alpha = pixels_.hasAlphaChannel();
        info->Width = info->TileWidth = static_cast<UINT>(size.width());
        info->Height = info->TileHeight = static_cast<UINT>(size.height());
        info->Xdpi = info->Ydpi = 96.0;
        info->Flags = ImageFlagsColorSpaceRGB | ImageFlagsHasRealPixelSize | ImageFlagsReadOnly |
                      (alpha ? ImageFlagsHasAlpha : 0);
        return S_OK;
    }

    HRESULT Draw(HDC hdc, const RECT* dst, const RECT* src) override
    {
        if (src)
            return E_NOTIMPL;
        if (!hdc || !dst || dst->right <= dst->left || dst->bottom <= dst->top)
            return E_INVALIDARG;
        const QImage* image = pixels();
        if (!image)
            return E_FAIL;
        const QRect target(dst->left, dst->top, dst->right - dst->left, dst->bottom - dst->top);
        return handset::window::drawImage(hdc, target, *image, image->rect()) ? S_OK : E_INVALIDARG;
    }

    HRESULT GetThumbnail(UINT width, UINT height, IImage** thumb) override
    {
        if (!thumb)
            return E_POINTER;
        *thumb = nullptr;
        if (width == 0 || height == 0 || width > kMaxThumbnailSide || height > kMaxThumbnailSide)
            return E_INVALIDARG;
        const QSize size(static_cast<int>(width), static_cast<int>(height));
        QImage scaled;
        {
            std::lock_guard lock(mutex_);
            if (pixels_.isNull() && encoded_.format)
                scaled = decode(encoded_, size);
            else
                scaled = pixels_.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
        if (scaled.isNull())
            return E_FAIL;
        return handset::com::handOut(new (std::nothrow) Image(std::move(scaled)), IID_IImage,
                                     reinterpret_cast<void**>(thumb));
    }

private:
    // The decoded pixels, decoded on first use; null when they cannot be.
    const QImage* pixels()
    {
        std::lock_guard lock(mutex_);
        if (pixels_.isNull() && encoded_.format && !decodeFailed_) {
            pixels_ = decode(encoded_);
            decodeFailed_ = pixels_.isNull();
            if (!decodeFailed_)
                encoded_.bytes.clear();
        }
        return pixels_.isNull() ? nullptr : &pixels_;
    }

    std::mutex mutex_;
    Encoded encoded_;  // its format stays known after the bytes are decoded
    QImage pixels_;
    bool decodeFailed_ = false;
};

HRESULT imageFromBytes(QByteArray bytes, IImage** image)
{
    Encoded encoded;
    if (const HRESULT hr = readHeader(std::move(bytes), encoded); FAILED(hr))
        return hr;
    return handset::com::handOut(new (std::nothrow) Image(std::move(encoded)), IID_IImage,
                                 reinterpret_cast<void**>(image));
}

class ImagingFactory final : public handset::com::Object<IImagingFactory, IID_IImagingFactory> {
public:
    HRESULT CreateImageFromStream(IStream* stream, IImage** image) override
    {
        if (!image)
            return E_POINTER;
        *image = nullptr;
        if (!stream)
            return E_INVALIDARG;
        QByteArray bytes;
        char chunk[16384];
        for (;;) {
            ULONG read = 0;
            const HRESULT hr = stream->Read(chunk, sizeof chunk, &read);
            if (FAILED(hr))
                return hr;
            if (read == 0)
                break;
            if (bytes.size() + static_cast<qint64>(read) > kMaxEncodedBytes)
                return E_OUTOFMEMORY;
            bytes.append(chunk, static_cast<qsizetype>(read));
        }
        return imageFromBytes(std::move(bytes), image);
    }

    HRESULT CreateImageFromFile(const WCHAR* filename, IImage** image) override
    {
        if (!image)
            return E_POINTER;
        *image = nullptr;
        if (!filename)
            return E_INVALIDARG;
        const auto path = handset::mapDevicePath(filename);
        if (!path)
            return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
        std::error_code ec;
        const auto size = std::filesystem::file_size(*path, ec);
        if (ec || std::filesystem::is_directory(*path, ec))
            return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
        if (size > static_cast<std::uintmax_t>(kMaxEncodedBytes))
            return E_OUTOFMEMORY;
        const std::optional<std::string> read = handset::readHostFile(*path);
        if (!read)
            return HRESULT_FROM_WIN32(ERROR_READ_FAULT);
        QByteArray bytes(read->data(), static_cast<qsizetype>(read->size()));
        return imageFromBytes(std::move(bytes), image);
    }

    HRESULT CreateImageFromBuffer(const void* buf, UINT size, BufferDisposalFlag disposal, IImage** image) override
    {
        if (!image)
            return E_POINTER;
        *image = nullptr;
        if ((!buf && size > 0) || disposal != BufferDisposalFlagNone)
            return E_INVALIDARG;
        if (size > kMaxEncodedBytes)
            return E_OUTOFMEMORY;
        const auto* bytes = static_cast<const char*>(buf);
        return imageFromBytes(size ? QByteArray(bytes, static_cast<qsizetype>(size)) : QByteArray(), image);
    }
};

HRESULT createImagingFactory(REFIID riid, void** ppv)
{
    // Qt's image readers report damaged pictures on their own; that goes to
    // the device log, not the terminal.
    handset::prepareQt();
    return handset::com::handOut(new (std::nothrow) ImagingFactory, riid, ppv);
}

const handset::com::BuiltInClassRegistration registration{{CLSID_ImagingFactory, nullptr, createImagingFactory}};

}  // namespace
