#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Dialogs.h"
#include "platform/Forms.h"
#include "platform/Input.h"
#include "platform/Params.h"
#include "platform/Stringlist.h"
#include "platform/Sysutils.h"

TEST(CommandLine, SwitchesIgnoreCaseAndTakeEitherPrefixOnce)
{
    std::vector<std::string> args = {"/opt/zb/zb", "/fps", "-Window", "x", "-", "--WINDOW"};
    EXPECT_TRUE(FindCmdLineSwitch(args, "WINDOW"));
    EXPECT_TRUE(FindCmdLineSwitch(args, "FPS"));
    EXPECT_FALSE(FindCmdLineSwitch({"zb", "--window", "//fps", "window", "-"}, "WINDOW"));
    EXPECT_FALSE(FindCmdLineSwitch({"zb", "--window", "//fps"}, "FPS"));
    // The program name itself is never a switch.
    EXPECT_FALSE(FindCmdLineSwitch({"-WINDOW"}, "WINDOW"));

    const char* argv[] = {"zb", "-fPs", nullptr};
    SetParams(2, argv);
    EXPECT_EQ(ParamCount(), 1);
    EXPECT_EQ(ParamStr(1), "-fPs");
    EXPECT_EQ(ParamStr(2), "");
    EXPECT_EQ(ParamStr(-1), "");
    EXPECT_TRUE(FindCmdLineSwitch("FPS"));
    EXPECT_FALSE(FindCmdLineSwitch("WINDOW"));
    // The real executable, not the name it was started by.
    EXPECT_EQ(ExeName().front(), '/');
    EXPECT_TRUE(std::filesystem::is_regular_file(ExeName()));
    EXPECT_EQ(ExtractFilePath("C:\\game\\zb.exe"), "C:\\game\\");
    EXPECT_EQ(ExtractFilePath("zb"), "");
}

TEST(ShiftState, IsOneByteSetOfTheFlags)
{
    TShiftState shift;
    EXPECT_TRUE(shift.Empty());
    shift << ssShift << ssLeft;
    EXPECT_TRUE(shift.Contains(ssShift));
    EXPECT_TRUE(shift.Contains(ssLeft));
    EXPECT_FALSE(shift.Contains(ssRight));
    EXPECT_EQ(shift.ToInt(), 0x09);
    shift >> ssShift;
    EXPECT_EQ(shift, TShiftState(ssLeft));
    EXPECT_EQ(TShiftState::FromInt(0xFF).ToInt(), 0x7F);
    EXPECT_EQ(VK_CONTROL, 17);
    EXPECT_EQ(VK_F12 - VK_F1, 11);
}

TEST(SysUtils, ConversionsMatchTheClassLibrary)
{
    EXPECT_EQ(IntToHex(0x000080, 6), "000080");
    EXPECT_EQ(IntToHex(0xFF0000, 6), "FF0000");
    EXPECT_EQ(IntToHex(0x1234567, 2), "1234567");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(StrToIntDef(" 42 ", 0), 42);
    EXPECT_EQ(StrToIntDef("0xFFFFFFFF", 0), -1);
    EXPECT_EQ(StrToIntDef("0x", 5), 5);
    EXPECT_EQ(StrToIntDef("2147483648", 5), 5);
    EXPECT_EQ(StrToIntDef("-2147483648", 5), INT32_MIN);
    EXPECT_EQ(StrToIntDef("12a", 5), 5);
    EXPECT_EQ(StrToIntDef("", 5), 5);
    EXPECT_EQ(UpperCase("nosync\x82\xa0"), "NOSYNC\x82\xa0");
    EXPECT_TRUE(SameText("ZB Debug", "zb debug"));
    EXPECT_EQ(Trim("\t a b \r"), "a b");
}

TEST(StringList, SplitsAnyLineBreakAndChecksIndexes)
{
    TStringList list;
    list.SetText("one\r\ntwo\nthree\rfour");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list[3], "four");
    EXPECT_EQ(list.IndexOf("TWO"), 1);
    EXPECT_EQ(list.IndexOf("five"), -1);
    list.Delete(0);
    EXPECT_EQ(list.Text(), "two\r\nthree\r\nfour\r\n");
    EXPECT_THROW(list.Delete(3), EListError);
    EXPECT_THROW((void)list.Strings(-1), EListError);
    list.SetText("a\r\n\r\n");
    EXPECT_EQ(list.Count(), 2);
    TMemoryStream stream;
    stream.Write("x\ny", 3);
    stream.SetPosition(0);
    list.LoadFromStream(&stream);
    EXPECT_EQ(list.Count(), 2);
    EXPECT_FALSE(list.LoadFromFile("/nonexistent/zb.txt"));
    EXPECT_EQ(list.Count(), 0);
}

TEST(MessageBox, GoesThroughTheInstalledHandler)
{
    std::string seen;
    TMessageBoxHandler previous = SetMessageBoxHandler([&](const std::string& text, const std::string& caption) {
        seen = caption + "|" + text;
    });
    ShowMessageBox("初期化に失敗しました。", "QJ Error");
    EXPECT_EQ(seen, "QJ Error|初期化に失敗しました。");
    SetMessageBoxHandler(previous);
    testing::internal::CaptureStderr();
    ShowMessageBox("text", "Error");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: text\n");
    // Without a box the program's own code-page-932 text reaches standard error as UTF-8.
    testing::internal::CaptureStderr();
    ShowMessageBox("DirectSound\x82\xcc\x8f\x89\x8a\xfa\x89\xbb\x82\xc9\x8e\xb8\x94\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42",
                   "Error");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: DirectSoundの初期化に失敗しました。\n");
}

TEST(CloseSignal, ReachesTheLoopAndLeavesTheInterruptedCodesErrnoAsItWas)
{
    struct sigaction oldTerm {}, oldInt {};
    ASSERT_EQ(sigaction(SIGTERM, nullptr, &oldTerm), 0);
    ASSERT_EQ(sigaction(SIGINT, nullptr, &oldInt), 0);
    InstallCloseSignals();
    ResetCloseSignal();
    // The hook makes a failing call, as what the handler calls may.
    SetCloseSignalHook([] { ::close(-1); });
    errno = ERANGE;
    ASSERT_EQ(pthread_kill(pthread_self(), SIGTERM), 0);  // handled before it returns
    EXPECT_EQ(errno, ERANGE);
    SetCloseSignalHook(nullptr);
    EXPECT_TRUE(CloseSignalRaised());

    TApplication app;
    int closes = 0;
    app.OnCloseSignal = [&] {
        ++closes;
        app.PostQuitMessage(0);
    };
    app.Run();
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(app.ExitCode(), 0);
    EXPECT_FALSE(CloseSignalRaised());
    sigaction(SIGTERM, &oldTerm, nullptr);
    sigaction(SIGINT, &oldInt, nullptr);
}
