// The scene instructions: the story's verbs above the core machine. Every handler pops its
// operands whatever the state, so that a condition or a scene without resources keeps its
// stack in step; most then hand the values to the game records or to the presentation.
#include <cstdio>
#include <string>

#include "archive/Vefileman.h"
#include "game/Gamef.h"
#include "game/Zbdata.h"
#include "game/Zbfunc.h"
#include "game/Zbglobals.h"
#include "game/Zbreadmes.h"
#include "scenario/Avgu.h"
#include "scenario/Popupu.h"

using ZbScript::ReadU32;

namespace {

constexpr char SEFormat[] = "zbse%03d.adp";
constexpr char VoicePackFormat[] = "Voice\\zbvo%02d.pak";
constexpr char VoiceFormat[] = "zb%05d.adp";

std::string Format(const char* format, int value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

int32_t Signed(uint32_t v)
{
    return static_cast<int32_t>(v);
}

}  // namespace

void TAvgUnit::ExecSceneCode(uint16_t op)
{
    if (!IsSceneOp(op))
        return;
    const bool presenting = !FEvalMode && ResourcesReady;
    switch (op) {
    // Game data and locals: always.
    case opSetFlag: {
        const uint32_t v = Pop();
        const int32_t f = Signed(Pop());
        SetGameFlag(GameData, f, v != 0);
        break;
    }
    case opGetFlag:
        Push(GetGameFlag(GameData, Signed(Pop())) ? 1 : 0);
        break;
    case opSetSysFlag: {
        const uint32_t v = Pop();
        const int32_t f = Signed(Pop());
        SetSysFlag(SysData, f, v != 0);
        break;
    }
    case opGetSysFlag:
        Push(GetSysFlag(SysData, Signed(Pop())) ? 1 : 0);
        break;
    case opSetVar: {
        const int32_t v = Signed(Pop());
        const int32_t n = Signed(Pop());
        SetGameVar(GameData, n, v);
        break;
    }
    case opIncVar:
    case opDecVar: {
        const int32_t n = Signed(Pop());
        if (n >= 0 && n < TGameData::VarCount) {
            const uint32_t v = static_cast<uint32_t>(GetGameVar(GameData, n));
            SetGameVar(GameData, n, Signed(op == opIncVar ? v + 1 : v - 1));
        }
        break;
    }
    case opGetVar:
        Push(static_cast<uint32_t>(GetGameVar(GameData, Signed(Pop()))));
        break;
    case opSetReg: {
        const uint32_t v = Pop();
        const int32_t n = Signed(Pop());
        SetGameReg(GameData, n, v != 0 ? 1 : 0);
        break;
    }
    case opGetReg:
        Push(static_cast<uint32_t>(GetGameReg(GameData, Signed(Pop()))));
        break;
    case opSetLocal: {
        const int32_t v = Signed(Pop());
        SetLocal(Signed(Pop()), v);
        break;
    }
    case opGetLocal:
        Push(static_cast<uint32_t>(GetLocal(Signed(Pop()))));
        break;

    // Messages and choices.
    case opMes:
        if (presenting)
            ExecMessage(op, static_cast<uint64_t>(FIP), 0);
        break;
    case opMesVoice: {
        const uint32_t voice = Pop();
        if (presenting)
            ExecMessage(op, static_cast<uint64_t>(FIP), voice);
        break;
    }
    case opMesEnd:
        if (presenting) {
            PushBackLog();
            Message.clear();
            if (PopupWin)
                PopupWin->ClearMesText();
            CloseMesWindow();
        }
        break;
    case opSelect:
        if (presenting)
            ExecChoices(static_cast<uint64_t>(FIP));
        else
            Push(0);
        break;
    case opVoice: {
        const uint32_t voice = Pop();
        if (presenting)
            PlayVoice(Signed(voice));
        break;
    }

    // Sound.
    case opPlayBGM:
    case opPlayBGMOnce: {
        const bool cross = Pop() != 0;
        const int32_t track = Signed(Pop());
        if (presenting) {
            if (Host.PlayBGM)
                Host.PlayBGM(track, op == opPlayBGM, cross);
            else if (GameForm)
                GameForm->PlayBGM(track, op == opPlayBGM, cross);
        }
        break;
    }
    case opStopBGM:
    case opStopBGM2: {
        const bool fade = Pop() != 0;
        if (presenting) {
            if (Host.StopBGM)
                Host.StopBGM(fade);
            else if (GameForm)
                GameForm->StopBGM(fade);
        }
        break;
    }
    case opPlaySE: {
        const int32_t n = Signed(Pop());
        if (presenting)
            PlaySE(n);
        break;
    }
    case opStopSE:
        SvcStopSE();
        break;
    case opPlaySE2: {
        const bool fadeIn = Pop() != 0;
        const int32_t n = Signed(Pop());
        if (presenting)
            PlaySE2(n, fadeIn);
        break;
    }
    case opStopSE2: {
        const bool fade = Pop() != 0;
        if (presenting) {
            if (Host.StopSE2)
                Host.StopSE2(fade);
            else if (GameForm)
                GameForm->StopSE2(fade);
        }
        break;
    }

    // Pictures, transitions and waits.
    case opBG: {
        const int32_t n = Signed(Pop());
        if (presenting)
            BGRequest = n;
        break;
    }
    case opBGWhite:
        if (presenting)
            BGRequest = 998;
        break;
    case opBGBlack:
        if (presenting)
            BGRequest = 999;
        break;
    case opSetChar: {
        const int32_t s = Signed(Pop());
        const int32_t c = Signed(Pop());
        if (presenting)
            SetCharacter(c, s);
        break;
    }
    case opRemoveChar: {
        const int32_t s = Signed(Pop());
        if (presenting)
            RemoveCharacter(s);
        break;
    }
    case opChangeScene:
    case opChangeScene1: {
        const int32_t k = Signed(Pop());
        if (presenting)
            ChangeScene(k, op == opChangeScene ? 0 : 1);
        break;
    }
    case opBGChange: {
        const int32_t k = Signed(Pop());
        const int32_t n = Signed(Pop());
        if (presenting) {
            BGRequest = n;
            ChangeScene(k, 0);
        }
        break;
    }
    case opWhiteOut:
    case opBlackOut: {
        const int32_t k = Signed(Pop());
        if (presenting) {
            for (int slot = 0; slot < 3; ++slot)
                RemoveCharacter(slot);
            BGRequest = op == opWhiteOut ? 998 : 999;
            ChangeScene(k, 0);
        }
        break;
    }
    case opCharIn: {
        const int32_t k = Signed(Pop());
        const int32_t s = Signed(Pop());
        const int32_t c = Signed(Pop());
        if (presenting) {
            SetCharacter(c, s);
            ChangeCharacters(k, s);
        }
        break;
    }
    case opCharOut: {
        const int32_t k = Signed(Pop());
        const int32_t s = Signed(Pop());
        if (presenting) {
            RemoveCharacter(s);
            ChangeCharacters(k, s);
        }
        break;
    }
    case opShake: {
        const int32_t k = Signed(Pop());
        if (presenting)
            Shake(k);
        break;
    }
    case opWait: {
        const int32_t n = Signed(Pop());
        if (presenting)
            Wait(n);
        break;
    }

    // The story position and the scene's end: always.
    case opGetPhase:
        Push(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(GetGamePhase(GameData)))));
        break;
    case opGetEpisode:
        Push(static_cast<uint32_t>(GetGameEpisode(GameData)));
        break;
    case opGetScene:
        Push(static_cast<uint32_t>(GetGameScene(GameData)));
        break;
    case opSetProgress: {
        const int32_t s = Signed(Pop());
        const int32_t e = Signed(Pop());
        SetGameEpisode(GameData, e);
        SetGameScene(GameData, s);
        if (GameData && SysData) {
            const int32_t episode = GetGameEpisode(GameData);
            const int32_t scene = GetGameScene(GameData);
            if (episode > SysData->FurthestEpisode) {
                SysData->FurthestEpisode = episode;
                SysData->FurthestScene = scene;
            } else if (episode == SysData->FurthestEpisode && scene > SysData->FurthestScene) {
                SysData->FurthestScene = scene;
            }
        }
        break;
    }
    case opGetModeA:
        Push(static_cast<uint32_t>(GetGameModeA(GameData)));
        break;
    case opSetModeA:
        SetGameModeA(GameData, Signed(Pop()));
        break;
    case opRandom: {
        const int32_t n = Signed(Pop());
        Push(static_cast<uint32_t>(GameRandom ? GameRandom->Random(n) : -1));
        break;
    }
    case opSetModeB:
        SetGameModeB(GameData, Signed(Pop()));
        break;
    case opClearModeB:
        SetGameModeB(GameData, 0);
        break;
    case opOpeningMovie:
        Halt(ZbResult::OpeningMovie);
        break;
    case opEndingMovie:
        Halt(ZbResult::EndingMovie);
        break;
    case opToTitle:
        Halt(ZbResult::Title);
        break;
    case opRaiseCursor:
        if (!CursorRaised) {
            CursorRaised = true;
            RaiseCursor();
        }
        break;
    case opLowerCursor:
        if (CursorRaised) {
            CursorRaised = false;
            LowerCursor();
        }
        break;
    case opChapterMovie:
        ResultValue = Signed(Pop());
        Halt(ZbResult::ChapterMovie);
        break;
    case opMiniGame:
        ResultValue = Signed(Pop());
        Halt(ZbResult::MiniGame);
        break;
    case opScriptValue:
        Push(static_cast<uint32_t>(ScriptValue));
        break;
    case opBatonResult:
        Push(static_cast<uint32_t>(BatonResult));
        break;
    default:
        break;
    }
}

void TAvgUnit::ExecMessage(uint16_t op, uint64_t at, uint32_t voice)
{
    const uint32_t id = ReadU32(FBase + at + 2);
    const std::string text = InlineText(at + 6);
    if (ReadMesTable && !ReadMesTable->IsRead(id)) {
        ReadMesTable->SetRead(id);
        SkipMode = false;
    }
    if (op == opMesVoice)
        PlayVoice(Signed(voice));
    if (!MesWinOpen)
        OpenMesWindow();
    ShowMessage(ExpandMessage(text));
}

void TAvgUnit::ExecChoices(uint64_t at)
{
    SkipMode = false;
    const std::string text = ExpandMessage(InlineText(at + 2));
    const int count = PopupWin ? PopupWin->SetSelText(text) : 0;
    if (count == 0) {
        Push(0);
        return;
    }
    PopupWin->SetSelCursor(0);
    ShowChoices();
}

void TAvgUnit::SetCharacter(int c, int s)
{
    CharMove = 0;
    if (s < 0 || s > 2)
        return;
    if (c >= 0 && s != 1 && CharRequest[1] >= 0) {
        if (s == 2) {
            CharMove = 1;
            CharRequest[0] = CharRequest[1];
        } else {
            CharMove = 2;
            CharRequest[2] = CharRequest[1];
        }
        CharRequest[1] = -1;
    } else if (c < 0 && s != 1 && CharRequest[1] < 0) {
        if (s == 2) {
            CharMove = 3;
            CharRequest[1] = CharRequest[0];
            CharRequest[0] = -1;
        } else {
            CharMove = 4;
            CharRequest[1] = CharRequest[2];
            CharRequest[2] = -1;
        }
    }
    CharRequest[s] = c;
    if (c >= 0) {
        std::array<int, 3>& o = CharOrderRequest;
        if (o[1] == s) {
            std::swap(o[0], o[1]);
        } else if (o[2] == s) {
            o = {s, o[0], o[1]};
        }
    }
}

void TAvgUnit::PlayVoice(int32_t id)
{
    if (SkipMode || CtrlSkip)
        return;
    // Built from the id as it is: a negative id gives a name with a minus sign, which no voice
    // file has, so nothing plays and the audio service logs the missing file.
    const int32_t number = id % 1000000;
    const int pack = number / 1000;
    if (pack != VoicePack && VoiceFile) {
        InitPack(VoiceFile, Format(VoicePackFormat, pack));
        VoicePack = pack;
    }
    if (Host.PlayVoice)
        Host.PlayVoice(Format(VoiceFormat, number), VoiceFile);
    else if (GameForm)
        GameForm->PlayVoice(Format(VoiceFormat, number), VoiceFile);
}

void TAvgUnit::PlaySE(int number)
{
    if (SkipMode || CtrlSkip)
        return;
    if (Host.PlaySE)
        Host.PlaySE(Format(SEFormat, number), SEFile);
    else if (GameForm)
        GameForm->PlaySE(Format(SEFormat, number), SEFile);
}

void TAvgUnit::PlaySE2(int number, bool fadeIn)
{
    if (Host.PlaySE2)
        Host.PlaySE2(Format(SEFormat, number), SEFile, fadeIn);
    else if (GameForm)
        GameForm->PlaySE2(Format(SEFormat, number), SEFile, fadeIn);
}
