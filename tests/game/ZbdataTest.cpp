#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "game/Zbdata.h"
#include "game/Zbdef.h"
#include "game/Zbreadmes.h"

namespace {

class GameDataTest : public ::testing::Test {
protected:
    void SetUp() override { ZbdataStart(); }
    void TearDown() override { ZbdataFinish(); }
};

}  // namespace

TEST_F(GameDataTest, StartBuildsRecordsOnceWithInitialValues)
{
    ASSERT_NE(ErrLog, nullptr);
    ASSERT_NE(GameRandom, nullptr);
    ASSERT_NE(ReadMesTable, nullptr);
    ASSERT_NE(MesBoxConfig, nullptr);
    EXPECT_EQ(SysData->FurthestEpisode, 0);
    EXPECT_EQ(SysData->FurthestScene, 1);
    EXPECT_EQ(GetGamePhase(GameData), 0);  // before the first clear
    EXPECT_EQ(GetGameScene(GameData), 1);
    EXPECT_EQ(GetGameReg(GameData, 0), -1);
    EXPECT_EQ(MesBoxConfig->BoxColor.ToDWORD(), 0x404080u);
    EXPECT_EQ(MesBoxConfig->MesBoxType, 1);
    EXPECT_EQ(MesBoxConfig->MovieQuality, 1);
    EXPECT_EQ(ReadMesTable->GetSize(), 8);

    // A second start keeps the same records; only the matching last finish frees them.
    TSysData* first = SysData;
    SetSysFlag(SysData, 3, true);
    ZbdataStart();
    EXPECT_EQ(SysData, first);
    ZbdataFinish();
    EXPECT_EQ(SysData, first);
    EXPECT_TRUE(GetSysFlag(SysData, 3));
}

TEST_F(GameDataTest, SystemRecordBytesFollowTheSavedLayout)
{
    SetSysFlag(SysData, 0, true);
    SetSysFlag(SysData, 9, true);
    SetSysFlag(SysData, 255, true);
    SetSysFlag(SysData, 256, true);
    SetSysFlag(SysData, -1, true);
    SetSysOpenFlag(SysData, 10);
    SetSysOpenFlag(SysData, 300);
    SysData->FurthestEpisode = -2;
    SysData->FurthestScene = 0x01020304;
    uint8_t bytes[72];
    StoreSysData(*SysData, bytes);
    EXPECT_EQ(bytes[0], 0x01);
    EXPECT_EQ(bytes[1], 0x02);
    EXPECT_EQ(bytes[31], 0x80);
    EXPECT_EQ(bytes[33], 0x04);
    for (int i : {2, 30, 32, 34, 63})
        EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(bytes[64], 0xFE);
    EXPECT_EQ(bytes[67], 0xFF);
    EXPECT_EQ(bytes[68], 0x04);
    EXPECT_EQ(bytes[71], 0x01);

    TSysData back{};
    LoadSysDataBytes(back, bytes);
    EXPECT_TRUE(GetSysFlag(&back, 9));
    EXPECT_FALSE(GetSysFlag(&back, 8));
    EXPECT_FALSE(GetSysFlag(&back, 256));
    EXPECT_TRUE(GetSysOpenFlag(&back, 10));
    EXPECT_FALSE(GetSysOpenFlag(&back, -1));
    EXPECT_EQ(back.FurthestEpisode, -2);
    EXPECT_EQ(back.FurthestScene, 0x01020304);

    SetSysFlag(SysData, 9, false);
    EXPECT_FALSE(GetSysFlag(SysData, 9));
    EXPECT_TRUE(GetSysFlag(SysData, 0));
}

TEST_F(GameDataTest, ProgressComparesEpisodeThenScene)
{
    EXPECT_TRUE(IsProgressReached(SysData, 0, 1));
    EXPECT_FALSE(IsProgressReached(SysData, 0, 2));
    EXPECT_TRUE(IsProgressReached(SysData, -1, 99));
    EXPECT_FALSE(IsProgressReached(SysData, 1, 0));
    SysData->FurthestEpisode = 3;
    SysData->FurthestScene = 5;
    EXPECT_TRUE(IsProgressReached(SysData, 2, 100));
    EXPECT_TRUE(IsProgressReached(SysData, 3, 5));
    EXPECT_FALSE(IsProgressReached(SysData, 3, 6));
}

TEST_F(GameDataTest, StoryRecordRangesAndFinalValues)
{
    ClearGameData(GameData);
    EXPECT_EQ(GetGamePhase(GameData), 1);
    SetGameFlag(GameData, 511, true);
    SetGameFlag(GameData, 512, true);
    EXPECT_TRUE(GetGameFlag(GameData, 511));
    EXPECT_FALSE(GetGameFlag(GameData, 512));
    EXPECT_FALSE(GetGameFlag(GameData, -1));
    SetGameReg(GameData, 7, 42);
    SetGameReg(GameData, 8, 42);
    EXPECT_EQ(GetGameReg(GameData, 7), 42);
    EXPECT_EQ(GetGameReg(GameData, 8), 0);
    SetGameVar(GameData, 63, -5);
    SetGameVar(GameData, 64, 9);
    EXPECT_EQ(GetGameVar(GameData, 63), -5);
    EXPECT_EQ(GetGameVar(GameData, -1), 0);

    SetGameModeA(GameData, 4);
    EXPECT_EQ(GetGameModeA(GameData), 1);
    SetGameModeA(GameData, 3);
    EXPECT_EQ(GetGameModeA(GameData), 3);
    SetGameModeB(GameData, 6);
    EXPECT_EQ(GetGameModeB(GameData), 0);
    SetGameModeB(GameData, 4);
    SetGamePhaseOnly(GameData, 2);
    EXPECT_EQ(GetGameModeB(GameData), 4);
    SetGamePhase(GameData, 2);
    EXPECT_EQ(GetGameModeB(GameData), 0);
    EXPECT_EQ(GetGamePhase(GameData), 2);

    // A negative episode and a scene of 0 or below are final until the record is cleared.
    SetGameEpisode(GameData, 5);
    SetGameEpisode(GameData, -1);
    SetGameEpisode(GameData, 3);
    EXPECT_EQ(GetGameEpisode(GameData), -1);
    SetGameScene(GameData, 7);
    SetGameScene(GameData, 0);
    SetGameScene(GameData, 4);
    EXPECT_EQ(GetGameScene(GameData), 0);
    ClearGameData(GameData);
    SetGameEpisode(GameData, 3);
    SetGameScene(GameData, 4);
    EXPECT_EQ(GetGameEpisode(GameData), 3);
    EXPECT_EQ(GetGameScene(GameData), 4);
    EXPECT_FALSE(GetGameFlag(GameData, 511));
    EXPECT_EQ(GetGameReg(GameData, 7), -1);
}

TEST_F(GameDataTest, ErrorLogKeepsTheLastThousandLinesFromAnyThread)
{
    for (int i = 1; i <= 1000; ++i)
        ErrLog->Add("line " + std::to_string(i));
    EXPECT_EQ(ErrLog->Count(), 1000u);
    EXPECT_EQ(ErrLog->Line(0), "line 1");
    ErrLog->Add("line 1001");
    EXPECT_EQ(ErrLog->Count(), 1000u);
    EXPECT_EQ(ErrLog->Line(0), "line 2");
    EXPECT_EQ(ErrLog->Line(999), "line 1001");
    EXPECT_EQ(ErrLog->Line(1000), "");
    // The log keeps the program's bytes; its echo on standard error is readable UTF-8.
    testing::internal::CaptureStderr();
    ErrLog->Add("\x95\x73\x96\xbe\x82\xc8\x97\xe1\x8a\x4f");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "不明な例外\n");
    EXPECT_EQ(ErrLog->Line(999), "\x95\x73\x96\xbe\x82\xc8\x97\xe1\x8a\x4f");

    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 300; ++i)
                ErrLog->Add("thread " + std::to_string(t));
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(ErrLog->Count(), 1000u);
    EXPECT_EQ(ErrLog->Line(0).rfind("thread ", 0), 0u);
}

TEST(GameErr, CarriesItsFixedMessage)
{
    try {
        throw EGameErr();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "GameErr");
    }
}

TEST_F(GameDataTest, ErrorLogTellsALineAddedOnceOnlyOnceFromAnyThread)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 100; ++i)
                ErrLog->AddOnce("Track01.bgm: empty");
        });
    for (std::thread& thread : threads)
        thread.join();
    ErrLog->AddOnce("Track01.bgm: cut short");
    ErrLog->Add("Track01.bgm: empty");  // a plain line is told every time
    ASSERT_EQ(ErrLog->Count(), 3u);
    EXPECT_EQ(ErrLog->Line(0), "Track01.bgm: empty");
    EXPECT_EQ(ErrLog->Line(1), "Track01.bgm: cut short");
    EXPECT_EQ(ErrLog->Line(2), "Track01.bgm: empty");
}
