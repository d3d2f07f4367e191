// The progress dialog's pictures, drawn with GDI: icons 133 to 138 (a
// handheld with an arrow going round), the animation's frames, and bitmap 130.
#pragma once
#include <windows.h>

namespace platform {

constexpr int kFirstProgressIcon = 133;
constexpr int kLastProgressIcon = 138;

// A new icon of `size` pixels for resource `id`; the caller destroys it.
HICON MakeProgressIcon(int id, int size);
// One frame of the endless animation between the handheld and the desktop.
void DrawAnimationFrame(HDC dc, const RECT& area, int frame);
// Bitmap 130 on a white background (white is its transparent colour).
HBITMAP MakeNorveliaBitmap(HDC reference, int width, int height);
// Draws `bitmap` with white left out, through a monochrome mask.
void DrawTransparent(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

} // namespace platform
