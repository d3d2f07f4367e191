// The settings window's pictures, drawn with GDI as the Qt window draws
// them: the product's artwork on the left (a handheld on a gradient, the
// name upright) and the glyphs of the servers page's four buttons.
#pragma once
#include <windows.h>

enum class TServerGlyph { Create, Delete, Modify, Default };

void DrawArtwork(HDC dc, const RECT& area);
// A flat button: its glyph, sunken while pressed, the focus rectangle while
// it has the keyboard, greyed while disabled.
void DrawServerButton(const DRAWITEMSTRUCT& item, TServerGlyph glyph);
