#include "password/win32/Artwork.h"

namespace {

struct Gdi {
    HGDIOBJ object;
    ~Gdi() { DeleteObject(object); }
};

void FillBox(HDC dc, int l, int t, int r, int b, COLORREF colour)
{
    const Gdi brush{CreateSolidBrush(colour)};
    const RECT box{l, t, r, b};
    FillRect(dc, &box, static_cast<HBRUSH>(brush.object));
}

} // namespace

void DrawArtwork(HDC dc, const RECT& area)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    // The gradient, a band of pixels at a time.
    for (int y = 0; y < height; ++y) {
        const int r = 0x0b + (0x1d - 0x0b) * y / height, g = 0x3d + (0x8a - 0x3d) * y / height,
                  b = 0x6b + (0x8a - 0x6b) * y / height;
        FillBox(dc, area.left, area.top + y, area.right, area.top + y + 1, RGB(r, g, b));
    }
    const int left = area.left + width / 2 - 30, top = area.top + 60;
    const Gdi pen{CreatePen(PS_SOLID, 2, RGB(0x20, 0x20, 0x20))};
    const Gdi body{CreateSolidBrush(RGB(0xd8, 0xd8, 0xd0))};
    const Gdi screen{CreateSolidBrush(RGB(0x9c, 0xb0, 0x88))};
    const Gdi key{CreateSolidBrush(RGB(0x60, 0x60, 0x60))};
    HGDIOBJ oldPen = SelectObject(dc, pen.object);
    HGDIOBJ oldBrush = SelectObject(dc, body.object);
    RoundRect(dc, left, top, left + 60, top + 96, 16, 16);
    SelectObject(dc, screen.object);
    Rectangle(dc, left + 8, top + 10, left + 52, top + 58);
    SelectObject(dc, key.object);
    for (int i = 0; i < 4; ++i) Ellipse(dc, left + 8 + i * 12, top + 76, left + 16 + i * 12, top + 84);
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);

    // "Norvelia", upright along the bottom.
    const Gdi font{CreateFontW(-22, 0, 900, 900, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS,
                               CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY, VARIABLE_PITCH | FF_ROMAN, L"Times New Roman")};
    HGDIOBJ oldFont = SelectObject(dc, font.object);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutW(dc, area.left + width / 2 - 14, area.bottom - 16, L"Norvelia", 8);
    SelectObject(dc, oldFont);
}

void DrawServerButton(const DRAWITEMSTRUCT& item, TServerGlyph glyph)
{
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
    const bool pressed = item.itemState & ODS_SELECTED;
    const bool disabled = item.itemState & ODS_DISABLED;
    if (pressed) DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
    const int o = pressed ? 1 : 0;
    const int cx = (r.left + r.right) / 2 + o, cy = (r.top + r.bottom) / 2 + o;
    const COLORREF grey = GetSysColor(COLOR_GRAYTEXT);
    const auto colour = [&](COLORREF c) { return disabled ? grey : c; };
    const Gdi thick{CreatePen(PS_SOLID, 3, colour(RGB(0x20, 0x60, 0xb0)))};
    const Gdi red{CreatePen(PS_SOLID, 3, colour(RGB(0xc0, 0x20, 0x20)))};
    const Gdi green{CreatePen(PS_SOLID, 3, colour(RGB(0x20, 0x90, 0x40)))};
    const Gdi dark{CreatePen(PS_SOLID, 1, colour(RGB(0x30, 0x30, 0x30)))};
    const Gdi paper{CreateSolidBrush(colour(RGB(0xf8, 0xf8, 0xf0)))};
    HGDIOBJ oldPen = SelectObject(dc, dark.object);
    HGDIOBJ oldBrush = SelectObject(dc, paper.object);
    switch (glyph) {
    case TServerGlyph::Create: // a server and a plus
        Rectangle(dc, cx - 9, cy - 9, cx + 5, cy + 9);
        SelectObject(dc, thick.object);
        MoveToEx(dc, cx + 6, cy - 8, nullptr);
        LineTo(dc, cx + 6, cy + 2);
        MoveToEx(dc, cx + 1, cy - 3, nullptr);
        LineTo(dc, cx + 11, cy - 3);
        break;
    case TServerGlyph::Delete: // a cross
        SelectObject(dc, red.object);
        MoveToEx(dc, cx - 7, cy - 7, nullptr);
        LineTo(dc, cx + 7, cy + 7);
        MoveToEx(dc, cx + 7, cy - 7, nullptr);
        LineTo(dc, cx - 7, cy + 7);
        break;
    case TServerGlyph::Modify: // a card with lines: the login and password
        Rectangle(dc, cx - 10, cy - 7, cx + 10, cy + 8);
        for (int i = 0; i < 3; ++i) {
            MoveToEx(dc, cx - 6, cy - 3 + i * 4, nullptr);
            LineTo(dc, cx + 6 - i * 3, cy - 3 + i * 4);
        }
        break;
    case TServerGlyph::Default: // a check mark
        SelectObject(dc, green.object);
        MoveToEx(dc, cx - 8, cy, nullptr);
        LineTo(dc, cx - 3, cy + 6);
        LineTo(dc, cx + 8, cy - 7);
        break;
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    if (item.itemState & ODS_FOCUS) {
        RECT focus = r;
        InflateRect(&focus, -3, -3);
        DrawFocusRect(dc, &focus);
    }
}
