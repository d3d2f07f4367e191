// A form of the settings program as Win32 windows, built from its shared
// definition (password/FormLayout.h): a dialog window of the form's client
// size with each control at its pixel place, in the form's font, with its
// built-in text and its hint. Pages are child dialogs over the page control;
// a group's controls are the group's siblings, placed inside it.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "password/FormLayout.h"

class TWinForm {
public:
    // Controls' identifiers: kFirstId + their place in the definition.
    static constexpr int kFirstId = 1000;

    explicit TWinForm(const TFormDef& form) : m_Form(form) {}
    ~TWinForm();
    TWinForm(const TWinForm&) = delete;
    TWinForm& operator=(const TWinForm&) = delete;

    // An empty dialog template for CreateDialogIndirectParam and
    // DialogBoxIndirectParam: a window with a caption, or a page.
    static const DLGTEMPLATE* Template(bool page);

    // Gives `window` the form's client size and title, and makes every
    // control; each page is a child dialog run by `pageProc` with `pageParam`.
    void Build(HWND window, DLGPROC pageProc, LPARAM pageParam);

    HWND Window() const { return m_Window; }
    HWND Control(std::string_view name) const;
    int Id(std::string_view name) const;
    // The name of the control with identifier `id`; empty when none.
    std::string_view Name(int id) const;
    // The pages, in the page control's order.
    const std::vector<HWND>& Pages() const { return m_Pages; }

    // Each control's message (and the title's, the pages' tabs' and the
    // hints') from `message`; an empty text keeps the built-in text.
    void SetTexts(const std::function<std::string(int)>& message);
    void SetText(std::string_view name, const std::string& text);
    void SetHint(std::string_view name, const std::string& text);

    HFONT Font() const { return m_Font; }

private:
    HWND Make(const TControlDef& def, std::size_t index, HWND parent, int x, int y, DLGPROC pageProc,
              LPARAM pageParam);
    HFONT FontFor(unsigned style) const;

    const TFormDef& m_Form;
    HWND m_Window = nullptr;
    HWND m_Tips = nullptr;
    std::vector<HWND> m_Controls;
    std::vector<HWND> m_Pages;
    HFONT m_Font = nullptr;
    HFONT m_Bold = nullptr;
    HFONT m_BoldItalic = nullptr;
    std::vector<std::wstring> m_TipTexts;
};

// UTF-8 of a window's text, and a text shown from bytes: UTF-8 when they are,
// else the system's code page.
std::string TextOf(HWND window);
std::wstring Shown(const std::string& bytes);
