// The setup dialog "MOXI" on Windows: a modal dialog from a template made in memory (no resource
// file), in dialog units and the 8-point Verdana font, run by DialogBoxIndirectParam.
#include "app/app_local.h"
#include "app/setup_dialog.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

enum ControlId : WORD {
    ID_RUN = 1000,
    ID_FULLSCREEN = 1003,
    ID_MODE640 = 1004,
    ID_MODE800 = 1005,
    ID_MODE1024 = 1006,
    ID_EXIT = IDCANCEL,   // 2: the Exit button, the Escape key and the close box
    ID_LOOP = 1007,
    ID_VSYNC = 1008,
    ID_NONE = 0xFFFF,   // -1: the group box
};

constexpr WORD BUTTON_CLASS = 0x0080;   // the predefined class's atom

struct Control {
    WORD id;
    DWORD style;
    short x, y, width, height;
    const wchar_t* text;
};

constexpr DWORD CHILD = WS_CHILD | WS_VISIBLE;

// Template order.
const Control CONTROLS[] = {
    {ID_RUN, CHILD | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_FLAT, 10, 99, 30, 15, L"Run"},
    {ID_FULLSCREEN, CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 18, 54, 48, 10, L"Fullscreen"},
    {ID_MODE640, CHILD | BS_AUTORADIOBUTTON, 18, 20, 47, 10, L"640x480"},
    {ID_MODE800, CHILD | BS_AUTORADIOBUTTON, 18, 31, 47, 10, L"800x600"},
    {ID_MODE1024, CHILD | BS_AUTORADIOBUTTON, 18, 41, 51, 10, L"1024x768"},
    {ID_NONE, CHILD | BS_GROUPBOX | BS_FLAT, 9, 5, 74, 90, L"Display mode"},
    {ID_EXIT, CHILD | WS_TABSTOP | BS_PUSHBUTTON | BS_FLAT, 49, 99, 30, 15, L"Exit"},
    {ID_LOOP, CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 18, 66, 48, 10, L"Loop"},
    {ID_VSYNC, CHILD | WS_TABSTOP | BS_AUTOCHECKBOX, 18, 78, 48, 10, L"VSync"},
};

// The template's words: a DLGTEMPLATE header with caption and font, then one DLGITEMTEMPLATE per
// control, each starting on a 4-byte boundary.
class TemplateWriter {
public:
    std::vector<WORD> words;

    void word(WORD w) { words.push_back(w); }
    void dword(DWORD d)
    {
        word(LOWORD(d));
        word(HIWORD(d));
    }
    void text(const wchar_t* s)
    {
        do
            word((WORD)*s);
        while (*s++);
    }
    void alignToDword()
    {
        if (words.size() % 2)
            word(0);
    }
};

std::vector<WORD> buildTemplate()
{
    TemplateWriter t;
    t.dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT | DS_CENTER | DS_SETFOREGROUND);
    t.dword(0);   // extended style
    t.word((WORD)(sizeof CONTROLS / sizeof CONTROLS[0]));
    for (short v : {0, 0, 90, 121})
        t.word((WORD)v);
    t.word(0);   // no menu
    t.word(0);   // the dialog class
    t.text(L"MOXI");
    t.word(8);   // points
    t.text(L"Verdana");
    for (const Control& c : CONTROLS) {
        t.alignToDword();
        t.dword(c.style);
        t.dword(0);
        for (short v : {c.x, c.y, c.width, c.height})
            t.word((WORD)v);
        t.word(c.id);
        t.word(0xFFFF);
        t.word(BUTTON_CLASS);
        t.text(c.text);
        t.word(0);   // no creation data
    }
    return t.words;
}

struct DialogCall {
    SetupChoices preset;
    DisplaySettings* settings;
};

bool checked(HWND dialog, WORD id)
{
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

INT_PTR CALLBACK setupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        DialogCall* call = (DialogCall*)lParam;
        SetWindowLongPtrW(dialog, DWLP_USER, (LONG_PTR)call);
        const SetupChoices& c = call->preset;
        CheckDlgButton(dialog, ID_FULLSCREEN, c.fullscreen ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, ID_MODE640, c.mode640 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, ID_MODE800, c.mode800 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, ID_MODE1024, c.mode1024 ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, ID_LOOP, c.loop ? BST_CHECKED : BST_UNCHECKED);
        CheckDlgButton(dialog, ID_VSYNC, c.vsync ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (id == ID_EXIT) {
            EndDialog(dialog, 0);
        } else if (id == ID_RUN) {
            DialogCall* call = (DialogCall*)GetWindowLongPtrW(dialog, DWLP_USER);
            SetupChoices c;
            c.fullscreen = checked(dialog, ID_FULLSCREEN);
            c.mode640 = checked(dialog, ID_MODE640);
            c.mode800 = checked(dialog, ID_MODE800);
            c.mode1024 = checked(dialog, ID_MODE1024);
            c.loop = checked(dialog, ID_LOOP);
            c.vsync = checked(dialog, ID_VSYNC);
            applySetupChoices(c, call->settings);
            EndDialog(dialog, 1);
        }
        return TRUE;
    }
    case WM_DESTROY: return TRUE;
    default: return FALSE;
    }
}

}   // namespace

int SetupDialog(DisplaySettings* settings)
{
    std::vector<WORD> words = buildTemplate();
    DialogCall call{presetSetupChoices(programOptions), settings};
    INT_PTR result =
        DialogBoxIndirectParamW(GetModuleHandleW(nullptr), (const DLGTEMPLATE*)words.data(),
                                nullptr, setupDialogProc, (LPARAM)&call);
    // -1 when the dialog could not be made: the defaults then.
    if (result == -1)
        return -1;
    return result == 1 ? 1 : 0;
}
