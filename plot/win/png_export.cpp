#include "plot/win/png_export.h"

#include "win/gdi.h"

// GDI+'s headers use min and max, which NOMINMAX removes.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
// WIN32_LEAN_AND_MEAN leaves out the COM types that GDI+ uses.
#include <objidl.h>
#include <gdiplus.h>

#include <cstring>

namespace {

// GDI+'s PNG encoder, {557CF406-1A04-11D3-9A73-0000F81EF32E}.
const CLSID kPngEncoder = {0x557CF406, 0x1A04, 0x11D3, {0x9A, 0x73, 0x00, 0x00, 0xF8, 0x1E, 0xF3, 0x2E}};

// The bytes written into a memory stream.
bool streamBytes(IStream* stream, std::string& out) {
    HGLOBAL memory = nullptr;
    if (FAILED(GetHGlobalFromStream(stream, &memory)))
        return false;
    STATSTG info{};
    if (FAILED(stream->Stat(&info, STATFLAG_NONAME)))
        return false;
    const void* bytes = GlobalLock(memory);
    if (!bytes)
        return false;
    out.assign(static_cast<const char*>(bytes), static_cast<std::size_t>(info.cbSize.QuadPart));
    GlobalUnlock(memory);
    return true;
}

} // namespace

bool encodePng(int width, int height, const ChartData& data, const ChartOptions& options, const CTimeZone& zone,
               std::string& png) {
    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return false;
    bool encoded = false;
    {
        HDC screen = GetDC(nullptr);
        MemoryDc memory(screen, width, height);
        ReleaseDC(nullptr, screen);
        IStream* stream = nullptr;
        if (memory.valid() && SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream))) {
            const RECT client{0, 0, width, height};
            paintChart(memory.get(), client, data, options, zone, RECT{}, -1);
            HBITMAP bitmap = static_cast<HBITMAP>(GetCurrentObject(memory.get(), OBJ_BITMAP));
            Gdiplus::Bitmap image(bitmap, nullptr);
            encoded = image.Save(stream, &kPngEncoder, nullptr) == Gdiplus::Ok && streamBytes(stream, png);
            stream->Release();
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return encoded;
}

ChartEncoder pngEncoder(const CTimeZone& zone) {
    return [&zone](int width, int height, const ChartData& data, const ChartOptions& options, std::string& png) {
        return encodePng(width, height, data, options, zone, png);
    };
}
