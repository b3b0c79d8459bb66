// Strings and icons compiled into a module by handset_add_resources().
#include <handset/resources.h>

#include <dlfcn.h>

#include <algorithm>

#include <handset/errors.h>
#include <handset/loader.h>
#include <handset/wstring.h>

#include "window_internal.h"

namespace {

constexpr unsigned kIconImage = 1;
constexpr unsigned kString = 6;

// The module's table; a null instance is the program itself.
const handset::ResourceEntry* table(HINSTANCE instance)
{
    void* dl = instance ? handset::moduleHandle(instance) : ::dlopen(nullptr, RTLD_NOW);
    if (!dl)
        return nullptr;
    return static_cast<const handset::ResourceEntry*>(::dlsym(dl, "handset_resources"));
}

unsigned idOf(LPCWSTR name)
{
    return IS_INTRESOURCE(name) ? static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(name)) : 0;
}

}  // namespace

namespace handset::window {

const handset::ResourceEntry* findResource(HINSTANCE instance, unsigned type, unsigned id)
{
    for (const handset::ResourceEntry* e = table(instance); e && e->type; ++e)
        if (e->type == type && e->id == id)
            return e;
    return nullptr;
}

}  // namespace handset::window

int LoadString(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int nBufferMax)
{
    for (const handset::ResourceEntry* e = table(hInstance); e && e->type; ++e) {
        if (e->type != kString || e->id != uID)
            continue;
        const std::u16string text =
            handset::fromUtf8(std::string_view(reinterpret_cast<const char*>(e->data), e->length));
        if (!lpBuffer || nBufferMax <= 0)
            return 0;
        const int count = std::min<int>(static_cast<int>(text.size()), nBufferMax - 1);
        std::copy_n(text.data(), count, lpBuffer);
        lpBuffer[count] = 0;
        return count;
    }
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
}

HANDLE LoadImage(HINSTANCE hinst, LPCWSTR lpszName, UINT uType, int cxDesired, int cyDesired, UINT)
{
    if (uType != IMAGE_ICON) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return nullptr;
    }
    const unsigned id = idOf(lpszName);
    // No size asked: the images are chosen as for the system's icon size.
    const int wanted = cxDesired > 0 ? cxDesired : 32;
    // The image of the size asked for, else the smallest larger one, else the largest.
    const handset::ResourceEntry* best = nullptr;
    auto better = [&](const handset::ResourceEntry* e) {
        if (!best)
            return true;
        const bool eFits = e->size >= wanted, bestFits = best->size >= wanted;
        if (eFits != bestFits)
            return eFits;
        return eFits ? e->size < best->size : e->size > best->size;
    };
    for (const handset::ResourceEntry* e = table(hinst); e && e->type; ++e)
        if (e->type == kIconImage && e->id == id && better(e))
            best = e;
    if (!best) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    QImage image = QImage::fromData(best->data, static_cast<int>(best->length), "PNG");
    if (image.isNull()) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int width = cxDesired > 0 ? cxDesired : image.width();
    const int height = cyDesired > 0 ? cyDesired : image.height();
    if (width != image.width() || height != image.height())
        image = image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return new HICON__{std::move(image)};
}

HICON LoadIcon(HINSTANCE hInstance, LPCWSTR lpIconName)
{
    return static_cast<HICON>(LoadImage(hInstance, lpIconName, IMAGE_ICON, 32, 32, 0));
}

BOOL DestroyIcon(HICON hIcon)
{
    if (!hIcon)
        return FALSE;
    delete hIcon;
    return TRUE;
}

namespace handset {

IconSize iconSize(HICON icon)
{
    return icon ? IconSize{icon->image.width(), icon->image.height()} : IconSize{};
}

}  // namespace handset
