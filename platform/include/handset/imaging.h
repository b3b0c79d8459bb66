// The phone's imaging: the imaging factory, a built-in COM class, decodes
// pictures (JPEG, PNG, BMP, GIF) from a file or a stream into images that
// tell their size, make thumbnails of any size and draw themselves into a
// device context.
//
//     IImagingFactory* factory = nullptr;
//     CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
//                      reinterpret_cast<void**>(&factory));
//     IImage* image = nullptr;
//     factory->CreateImageFromFile(u"\\My Documents\\My Pictures\\Sunset.jpg", &image);
//
// The class lives in the library handset_imaging (it decodes and draws with
// Qt Gui); a program that links that library finds it through
// CoCreateInstance like every other built-in class. Only the operations below exist: images are
// read whole, never pushed into sinks or encoded.
//
// Creating an image reads the encoded bytes and the picture's header (its
// format and size); the pixels are decoded when the image is first drawn or
// asked for a thumbnail. Failures: E_POINTER for a null output,
// E_INVALIDARG for a bad argument, HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
// or (ERROR_PATH_NOT_FOUND) for a file that is not there, the stream's own
// HRESULT when reading it fails, E_OUTOFMEMORY for more than 32 MB of bytes
// or more than 32 million pixels, and E_FAIL for bytes that are no picture
// of the four formats or whose pixels cannot be decoded.
#pragma once

#include <handset/com.h>
#include <handset/gdi.h>

// Pixel formats: index, bits per pixel and kind, as the phone numbers them.
using PixelFormat = INT;
using PixelFormatID = PixelFormat;
constexpr PixelFormat PixelFormat8bppIndexed = 0x00030803;
constexpr PixelFormat PixelFormat24bppRGB = 0x00021808;
constexpr PixelFormat PixelFormat32bppRGB = 0x00022009;
constexpr PixelFormat PixelFormat32bppARGB = 0x0026200A;

// ImageInfo flags.
constexpr UINT ImageFlagsNone = 0;
constexpr UINT ImageFlagsHasAlpha = 0x0002;
constexpr UINT ImageFlagsColorSpaceRGB = 0x0010;
constexpr UINT ImageFlagsHasRealPixelSize = 0x2000;
constexpr UINT ImageFlagsReadOnly = 0x00010000;

struct ImageInfo {
    GUID RawDataFormat;  // ImageFormatJPEG ...; ImageFormatMemoryBMP for a thumbnail
    ::PixelFormat PixelFormat;
    UINT Width;
    UINT Height;
    UINT TileWidth;      // the whole image: pictures are not tiled here
    UINT TileHeight;
    double Xdpi;         // 96: the resolution a picture file gives is not used
    double Ydpi;
    UINT Flags;
};

// How CreateImageFromBuffer may free the caller's buffer: never, here (the
// bytes are copied, so the caller keeps and frees its buffer).
enum BufferDisposalFlag { BufferDisposalFlagNone = 0, BufferDisposalFlagGlobalFree = 1, BufferDisposalFlagLocalFree = 2 };

// Formats of the encoded bytes.
inline constexpr GUID ImageFormatMemoryBMP = {0xB96B3CAA, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID ImageFormatBMP = {0xB96B3CAB, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID ImageFormatJPEG = {0xB96B3CAE, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID ImageFormatPNG = {0xB96B3CAF, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr GUID ImageFormatGIF = {0xB96B3CB0, 0x0728, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// The class and its interfaces. The class lives in the library
// handset_imaging, which the platform loads when a process first asks for
// the class, so a program needs not link it.
inline constexpr CLSID CLSID_ImagingFactory = {0x327ABDA8, 0x072B, 0x11D3,
                                               {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr IID IID_IImagingFactory = {0x327ABDA7, 0x072B, 0x11D3,
                                            {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};
inline constexpr IID IID_IImage = {0x327ABDA9, 0x072B, 0x11D3, {0x9D, 0x7B, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// A decoded (or decodable) picture.
struct IImage : IUnknown {
    // Fills the format, pixel format, size and flags. Needs no decoding.
    virtual HRESULT GetImageInfo(ImageInfo* imageInfo) = 0;
    // Draws the whole image scaled into dstRect of the context (a window's,
    // a memory context's, a bitmap section's). srcRect must be null: parts
    // of an image are not drawn here (E_NOTIMPL). E_INVALIDARG for a bad
    // context or an empty rectangle.
    virtual HRESULT Draw(HDC hdc, const RECT* dstRect, const RECT* srcRect) = 0;
    // A new image of exactly thumbWidth x thumbHeight pixels, the picture
    // scaled smoothly to it (its proportions are the caller's to keep).
    // E_INVALIDARG for a width or height of 0 or above 4096.
    virtual HRESULT GetThumbnail(UINT thumbWidth, UINT thumbHeight, IImage** thumbImage) = 0;
};

struct IImagingFactory : IUnknown {
    // Reads the stream from its current position to its end.
    virtual HRESULT CreateImageFromStream(IStream* stream, IImage** image) = 0;
    // A device path ("\My Documents\My Pictures\Sunset.jpg").
    virtual HRESULT CreateImageFromFile(const WCHAR* filename, IImage** image) = 0;
    // Copies the bytes (buf may be null when size is 0); only
    // BufferDisposalFlagNone is taken (E_INVALIDARG).
    virtual HRESULT CreateImageFromBuffer(const void* buf, UINT size, BufferDisposalFlag disposalFlag,
                                          IImage** image) = 0;
};
