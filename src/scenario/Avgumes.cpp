// The scene's side of the story text: the message window's opening and closing, the escapes of
// a message, typing and waiting, the two kinds of skipping, the choices and the backlog.
#include <cstdint>
#include <string>

#include "base/Vestring.h"
#include "panels/Vergbbtn.h"
#include "panels/Vergbpanel.h"
#include "platform/Sysutils.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"

namespace {

// The two character names of the name escapes, written in the text's code page when used.
constexpr char FullName[] = "林明";
constexpr char ShortName[] = "明";

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

void TAvgUnit::OpenMesWindow()
{
    if (MesWinOpen)
        return;
    MesWinOpen = true;
    const bool skipping = SkipMode || CtrlSkip;
    if (PopupWin)
        PopupWin->OpenMesWin(skipping);
    if (!skipping) {
        Phase = 6;
    } else {
        MesWinOpened();
        if (PopupWin)
            PopupWin->SetNextIconVisible(false);
    }
}

void TAvgUnit::CloseMesWindow()
{
    if (!MesWinOpen)
        return;
    MesWinOpen = false;
    const bool skipping = SkipMode || CtrlSkip;
    if (PopupWin)
        PopupWin->CloseMesWin(skipping);
    if (!skipping)
        Phase = 7;
    else
        MesWinClosed();
}

void TAvgUnit::MesWinOpened()
{
    if (BackLogMode > 0) {
        Phase = 16;
        ShowBackLog();
    } else if (!MesHidden) {
        if (PopupWin)
            PopupWin->SetNextIconVisible(true);
        Phase = 9;
    } else {
        MesHidden = false;
        Phase = 9;
    }
}

void TAvgUnit::MesWinClosed()
{
    switch (BackLogMode) {
    case 0:
        Phase = MesHidden ? 15 : 3;
        return;
    case 2:
        Phase = 15;
        break;
    default:
        Phase = 14;
        if (PopupWin)
            PopupWin->SetSelCursorVisible(true);
        break;
    }
    HideBackLog();
    BackLogMode = 0;
}

std::string TAvgUnit::ExpandMessage(const std::string& text) const
{
    std::string s = text;
    size_t i = 0;  // the byte at 1-based position i + 1
    while (i + 1 < s.size()) {
        const uint8_t b = static_cast<uint8_t>(s[i]);
        if (IsLeadByte(b)) {
            i += 2;
            continue;
        }
        if (b != '%' || i + 2 >= s.size()) {
            ++i;
            continue;
        }
        const char kind = s[i + 1];
        if (kind == 'n') {
            const bool full = i + 3 < s.size() && s[i + 2] == 's';
            const std::string name = Utf8ToTextCodePage(full ? FullName : ShortName);
            s.replace(i, full ? 3 : 2, name);
            i += name.size();
            continue;
        }
        if (kind != 'd' && kind != 's') {
            ++i;
            continue;
        }
        size_t end = i + 2;
        while (end + 1 < s.size() && IsDigit(s[end]))
            ++end;
        int index = 0;
        if (end - (i + 2) > 9) {
            index = -1;  // too many digits for a local: reads as no local
        } else {
            for (size_t k = i + 2; k < end; ++k)
                index = index * 10 + (s[k] - '0');
        }
        std::string inserted;
        if (kind == 'd') {
            inserted = IntToWideStr(GetLocal(index), 1);
        } else if (!TextOfReference(static_cast<uint32_t>(GetLocal(index)), inserted)) {
            i = end;
            continue;
        }
        s.replace(i, end - i, inserted);
        i += inserted.size();
    }
    return s;
}

void TAvgUnit::ShowMessage(const std::string& text)
{
    PushBackLog();
    Message = text;
    if (SkipMode || CtrlSkip) {
        if (PopupWin)
            PopupWin->SetMesText(text);
        Wait(1);
        return;
    }
    if (PopupWin)
        PopupWin->FadeMesText(text);
    if (Phase != 6 && Phase != 7)
        Phase = 8;
}

void TAvgUnit::PushBackLog()
{
    if (Message.empty())
        return;
    if (BackLogCount >= BackLogSize) {
        BackLogCount = BackLogSize;
        BackLogHead = (BackLogHead + 1) % BackLogSize;
    } else {
        BackLogHead = BackLogCount++;
    }
    BackLog[static_cast<size_t>(BackLogHead)] = Message;
}

std::string TAvgUnit::BackLogEntry(int i) const
{
    if (i < 0 || i >= BackLogCount)
        return std::string();
    return BackLog[static_cast<size_t>(((BackLogHead - i) % BackLogSize + BackLogSize) % BackLogSize)];
}

void TAvgUnit::MesContinue()
{
    SvcStopVoice();
    SvcStopSE();
    if (PopupWin)
        PopupWin->SetNextIconVisible(false);
    Phase = 3;
}

void TAvgUnit::ShowChoices()
{
    CtrlSkip = false;
    if (PopupWin)
        PopupWin->OpenSelWin();
    RaiseCursor();
    Phase = 12;
}

void TAvgUnit::TakeChoice()
{
    if (Phase != 14)
        return;
    int index = PopupWin ? PopupWin->GetSelIndex() : 0;
    const int count = PopupWin ? PopupWin->GetSelCount() : 0;
    // The script branches on the index: keep it inside the lines it offered.
    if (index >= count)
        index = count - 1;
    if (index < 0)
        index = 0;
    Push(static_cast<uint32_t>(index));
    CloseChoices();
}

void TAvgUnit::CloseChoices()
{
    if (PopupWin)
        PopupWin->CloseSelWin();
    LowerCursor();
    Phase = 13;
}

void TAvgUnit::OpenBackLog()
{
    if (Phase != 9 && Phase != 14 && Phase != 15)
        return;
    CtrlSkip = false;
    if (Phase == 9) {
        BackLogMode = 1;
    } else if (Phase == 15) {
        BackLogMode = 2;
    } else {
        BackLogMode = MesWinOpen ? 3 : 4;
        if (PopupWin)
            PopupWin->SetSelCursorVisible(false);
    }
    if (BackLogMode == 1 || BackLogMode == 3) {
        Phase = 16;
        ShowBackLog();
    } else {
        OpenMesWindow();
    }
    RaiseCursor();
}

void TAvgUnit::CloseBackLog()
{
    if (Phase != 16)
        return;
    switch (BackLogMode) {
    case 1:
        Phase = 9;
        HideBackLog();
        BackLogMode = 0;
        break;
    case 2:
        Phase = 9;
        HideBackLog();
        BackLogMode = 0;
        CloseMesWindow();
        break;
    case 3:
        Phase = 14;
        if (PopupWin)
            PopupWin->SetSelCursorVisible(true);
        HideBackLog();
        BackLogMode = 0;
        break;
    case 4:
        CloseMesWindow();
        break;
    default:
        break;
    }
    LowerCursor();
}

void TAvgUnit::ShowBackLog()
{
    BackLogWin->SetVisible(true);
    if (PopupWin) {
        PopupWin->SetReadTint(true);
        PopupWin->SetNextIconVisible(false);
    }
    ShowBackLogEntry(0);
}

void TAvgUnit::HideBackLog()
{
    BackLogWin->SetVisible(false);
    if (PopupWin) {
        PopupWin->SetReadTint(false);
        PopupWin->SetNextIconVisible(false);
        PopupWin->SetMesText(Message);
        if (Phase == 9)
            PopupWin->SetNextIconVisible(true);
    }
}

void TAvgUnit::ShowBackLogEntry(int i)
{
    if (BackLogCount <= 0) {
        BackLogView = 0;
        if (PopupWin)
            PopupWin->ClearMesText();
        BLBackBtn->SetEnabled(false);
        BLNextBtn->SetEnabled(false);
        return;
    }
    if (i > BackLogCount - 1)
        i = BackLogCount - 1;
    if (i < 0)
        i = 0;
    BackLogView = i;
    if (PopupWin)
        PopupWin->SetMesText(BackLogEntry(i));
    BLBackBtn->SetEnabled(BackLogCount - 1 > i);
    BLNextBtn->SetEnabled(i >= 1);
}

void TAvgUnit::BackLogOlder()
{
    if (BackLogCount - 1 > BackLogView)
        ShowBackLogEntry(BackLogView + 1);
}

void TAvgUnit::BackLogNewer()
{
    if (BackLogView > 0)
        ShowBackLogEntry(BackLogView - 1);
}

void TAvgUnit::ShowHiddenWindow()
{
    RaiseCursor();
    OpenMesWindow();
}

void TAvgUnit::OnMesWinClick()
{
    SkipMode = false;
    if (Phase == 16)
        CloseBackLog();
    else
        MesClick();
}

void TAvgUnit::OnLook()
{
    SkipMode = false;
    if (Phase == 9) {
        MesHidden = true;
        LowerCursor();
        CloseMesWindow();
    } else if (Phase == 16) {
        CloseBackLog();
    }
}

void TAvgUnit::OnSkip()
{
    SkipMode = false;
    if (Phase == 9)
        SkipMode = true;
}
