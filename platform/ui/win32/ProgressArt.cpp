#include "ProgressArt.h"

#include <algorithm>
#include <cmath>
#include <memory>

namespace platform {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct GdiDeleter {
    void operator()(void* object) const { DeleteObject(static_cast<HGDIOBJ>(object)); }
};
using Gdi = std::unique_ptr<void, GdiDeleter>;

// Selects an object into a context for one scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : m_Dc(dc), m_Old(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(m_Dc, m_Old); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_Dc;
    HGDIOBJ m_Old;
};

struct MemoryDc {
    explicit MemoryDc(HDC reference) : dc(CreateCompatibleDC(reference)) {}
    ~MemoryDc() { DeleteDC(dc); }
    MemoryDc(const MemoryDc&) = delete;
    MemoryDc& operator=(const MemoryDc&) = delete;
    HDC dc;
};

void Fill(HDC dc, const RECT& r, COLORREF colour)
{
    Gdi brush(CreateSolidBrush(colour));
    FillRect(dc, &r, static_cast<HBRUSH>(brush.get()));
}

void DrawHandheld(HDC dc, int x, int y, int w, int h)
{
    Gdi pen(CreatePen(PS_SOLID, 1, RGB(40, 40, 48)));
    Gdi body(CreateSolidBrush(RGB(96, 100, 112)));
    {
        Selected p(dc, pen.get());
        Selected b(dc, body.get());
        RoundRect(dc, x, y, x + w, y + h, w / 3, w / 3);
    }
    Fill(dc, RECT{x + w * 16 / 100, y + h * 12 / 100, x + w * 84 / 100, y + h * 64 / 100}, RGB(170, 200, 150));
    for (int i = 0; i < 3; ++i) {
        const int bx = x + w * (14 + 27 * i) / 100;
        const int by = y + h * 74 / 100;
        Fill(dc, RECT{bx, by, bx + w * 18 / 100 + 1, by + w * 18 / 100 + 1}, RGB(200, 204, 212));
    }
}

void DrawDesktop(HDC dc, int x, int y, int w, int h)
{
    Fill(dc, RECT{x, y, x + w, y + h * 72 / 100}, RGB(40, 40, 48));
    Fill(dc, RECT{x + 2, y + 2, x + w - 2, y + h * 72 / 100 - 2}, RGB(60, 110, 190));
    Fill(dc, RECT{x + w * 3 / 10, y + h * 80 / 100, x + w * 7 / 10, y + h * 92 / 100}, RGB(160, 160, 170));
}

} // namespace

HICON MakeProgressIcon(int id, int size)
{
    HDC screen = GetDC(nullptr);
    MemoryDc colourDc(screen);
    MemoryDc maskDc(screen);
    Gdi colour(CreateCompatibleBitmap(screen, size, size));
    Gdi mask(CreateBitmap(size, size, 1, 1, nullptr));
    ReleaseDC(nullptr, screen);
    {
        Selected c(colourDc.dc, colour.get());
        Selected m(maskDc.dc, mask.get());
        // Black colour and a white mask outside what is drawn: transparent.
        Fill(colourDc.dc, RECT{0, 0, size, size}, RGB(0, 0, 0));
        PatBlt(maskDc.dc, 0, 0, size, size, WHITENESS);
        const int s = size;
        for (HDC dc : {colourDc.dc, maskDc.dc}) {
            const bool isMask = dc == maskDc.dc;
            Gdi ink(CreateSolidBrush(isMask ? RGB(0, 0, 0) : RGB(96, 100, 112)));
            Gdi pen(CreatePen(PS_SOLID, std::max(2, s / 10), isMask ? RGB(0, 0, 0) : RGB(30, 140, 60)));
            if (isMask) {
                Selected b(dc, ink.get());
                Selected p(dc, GetStockObject(NULL_PEN));
                RoundRect(dc, s * 3 / 10, s * 16 / 100, s * 7 / 10 + 1, s * 84 / 100 + 1, s / 7, s / 7);
            } else {
                DrawHandheld(dc, s * 3 / 10, s * 16 / 100, s * 4 / 10, s * 68 / 100);
            }
            // The arrow goes round in six steps of 60 degrees.
            const int step = (id - kFirstProgressIcon) % 6;
            const double start = (90.0 - 60.0 * step) * kPi / 180.0;
            const double end = start - 120.0 * kPi / 180.0;
            const double cx = s / 2.0, cy = s / 2.0, r = s * 0.42;
            Selected p(dc, pen.get());
            Arc(dc, int(cx - r), int(cy - r), int(cx + r), int(cy + r), int(cx + std::cos(end) * r),
                int(cy - std::sin(end) * r), int(cx + std::cos(start) * r), int(cy - std::sin(start) * r));
            const POINT tip{int(cx + std::cos(end) * r), int(cy - std::sin(end) * r)};
            const double ax = std::sin(end), ay = std::cos(end);
            const POINT head[3] = {{tip.x + int(ax * s * 0.14), tip.y + int(ay * s * 0.14)},
                                   {tip.x - int(ay * s * 0.1), tip.y + int(ax * s * 0.1)},
                                   {tip.x + int(ay * s * 0.1), tip.y - int(ax * s * 0.1)}};
            Gdi arrow(CreateSolidBrush(isMask ? RGB(0, 0, 0) : RGB(30, 140, 60)));
            Selected b(dc, arrow.get());
            Polygon(dc, head, 3);
        }
    }
    ICONINFO info{};
    info.fIcon = TRUE;
    info.hbmColor = static_cast<HBITMAP>(colour.get());
    info.hbmMask = static_cast<HBITMAP>(mask.get());
    return CreateIconIndirect(&info);
}

void DrawAnimationFrame(HDC dc, const RECT& area, int frame)
{
    Fill(dc, area, GetSysColor(COLOR_BTNFACE));
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0) return;
    const int unit = h;
    DrawHandheld(dc, area.left + unit / 8, area.top + h / 10, unit * 45 / 100, h * 8 / 10);
    DrawDesktop(dc, area.right - unit * 12 / 10, area.top + h / 10, unit, h * 8 / 10);
    // A page travels from the handheld to the desktop, eight steps a trip.
    const int from = area.left + unit * 7 / 10, to = area.right - unit * 14 / 10;
    const int x = from + (to - from) * (frame % 8) / 7;
    const int pw = std::max(4, h / 4), ph = std::max(5, h / 3);
    const RECT page{x, area.top + h / 3, x + pw, area.top + h / 3 + ph};
    Fill(dc, page, RGB(40, 40, 48));
    Fill(dc, RECT{page.left + 1, page.top + 1, page.right - 1, page.bottom - 1}, RGB(250, 250, 250));
}

HBITMAP MakeNorveliaBitmap(HDC reference, int width, int height)
{
    width = std::max(width, 1);
    height = std::max(height, 1);
    HBITMAP bitmap = CreateCompatibleBitmap(reference, width, height);
    MemoryDc mem(reference);
    Selected b(mem.dc, bitmap);
    Fill(mem.dc, RECT{0, 0, width, height}, RGB(255, 255, 255));
    // An orange swoosh under the name.
    Gdi swoosh(CreatePen(PS_SOLID, std::max(2, height / 12), RGB(240, 140, 20)));
    {
        Selected p(mem.dc, swoosh.get());
        MoveToEx(mem.dc, width / 20, height * 3 / 4, nullptr);
        const POINT curve[3] = {{width / 3, height}, {width * 2 / 3, height / 2}, {width * 19 / 20, height * 3 / 4}};
        PolyBezierTo(mem.dc, curve, 3);
    }
    Gdi font(CreateFontW(-(height * 6 / 10), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                         OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, VARIABLE_PITCH | FF_SWISS,
                         L"Arial"));
    Selected f(mem.dc, font.get());
    SetBkMode(mem.dc, TRANSPARENT);
    SetTextColor(mem.dc, RGB(20, 60, 150));
    RECT text{0, 0, width, height * 7 / 10};
    DrawTextW(mem.dc, L"Norvelia", -1, &text, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    return bitmap;
}

void DrawTransparent(HDC dc, HBITMAP bitmap, int x, int y, int width, int height)
{
    BITMAP info{};
    if (!GetObjectW(bitmap, sizeof info, &info)) return;
    MemoryDc image(dc);
    MemoryDc maskDc(dc);
    Gdi mask(CreateBitmap(info.bmWidth, info.bmHeight, 1, 1, nullptr));
    // White becomes 1 in the mask.
    Selected i(image.dc, bitmap);
    Selected m(maskDc.dc, mask.get());
    SetBkColor(image.dc, RGB(255, 255, 255));
    BitBlt(maskDc.dc, 0, 0, info.bmWidth, info.bmHeight, image.dc, 0, 0, SRCCOPY);
    // Blacken the bitmap's white pixels, AND the mask on, OR the bitmap on.
    MemoryDc copy(dc);
    Gdi copyBitmap(CreateCompatibleBitmap(dc, info.bmWidth, info.bmHeight));
    Selected c(copy.dc, copyBitmap.get());
    BitBlt(copy.dc, 0, 0, info.bmWidth, info.bmHeight, image.dc, 0, 0, SRCCOPY);
    SetBkColor(copy.dc, RGB(255, 255, 255));
    SetTextColor(copy.dc, RGB(0, 0, 0));
    BitBlt(copy.dc, 0, 0, info.bmWidth, info.bmHeight, maskDc.dc, 0, 0, 0x00220326 /* DSna */);
    SetBkColor(dc, RGB(255, 255, 255));
    SetTextColor(dc, RGB(0, 0, 0));
    StretchBlt(dc, x, y, width, height, maskDc.dc, 0, 0, info.bmWidth, info.bmHeight, SRCAND);
    StretchBlt(dc, x, y, width, height, copy.dc, 0, 0, info.bmWidth, info.bmHeight, SRCPAINT);
}

} // namespace platform
