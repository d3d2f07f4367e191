// A database of the handheld as a shopper reads it, in plain text (what
// `handheld show` prints): a catalog's items with their pictures drawn in
// block characters, a list's lines and order, the user's addresses.
#pragma once
#include <ostream>
#include <string>
#include <vector>

class CDataView;
class CPalmBitmap;

class CDataViewText {
public:
    // `damaged`: only part of the database could be read, and the text says so first.
    static void Write(std::ostream& out, const CDataView& view, bool damaged);
    // A bitmap in half-block characters, two rows of pixels a line, shrunk to
    // at most kPictureColumns by kPictureLines; blanks at line ends left out.
    static std::vector<std::string> PictureLines(const CPalmBitmap& bitmap);
    static constexpr int kPictureColumns = 40;
    static constexpr int kPictureLines = 12;
};
