// Control identifiers of the main window, by which its children are found.
#pragma once

enum TControlId {
    idListView1 = 101,
    idListView2,
    idPanel2,
    idLabel1,
    idLabelRestTime,
    idColorButton2,
    idColorButton1,
    idProgressBar1,
    idPanel1,
    idLabelState,
    idLabelSend,
    // The command of mnuReSend, the popup menu's item.
    idMnuReSend = 1001,
};

// Window classes of the program's own windows.
inline constexpr const char* kApplicationClass = "TApplication";
inline constexpr const char* kFormClass = "TForm1";
inline constexpr const char* kPanelClass = "TPanel";
