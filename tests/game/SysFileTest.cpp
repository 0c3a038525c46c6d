#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "archive/Verange.h"
#include "game/Zbdata.h"
#include "game/Zbreadmes.h"
#include "game/Zbsysfile.h"
#include "platform/Atomicfile.h"

namespace {

namespace fs = std::filesystem;

const uint8_t Stamp[8] = {9, 8, 7, 6, 5, 4, 3, 2};

uint32_t Id(int scenario, int message)
{
    return (static_cast<uint32_t>(scenario) << 16) | static_cast<uint32_t>(message);
}

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Everything the save file keeps, as bytes: the system record then the read table.
std::vector<uint8_t> Snapshot()
{
    std::vector<uint8_t> bytes(72);
    StoreSysData(*SysData, bytes.data());
    bytes.insert(bytes.end(), ReadMesTable->GetData(), ReadMesTable->GetData() + ReadMesTable->GetSize());
    return bytes;
}

// A file image made by hand from raw bytes, with the raw size field given separately.
std::vector<uint8_t> ImageOf(const std::vector<uint8_t>& raw, uint32_t rawSizeField)
{
    TRangeEncode encoder;
    EXPECT_TRUE(encoder.CreateBuffer());
    std::vector<uint8_t> coded(raw.size() * 2 + 64);
    EXPECT_TRUE(encoder.Encode(raw.data(), coded.data(), static_cast<int64_t>(coded.size()),
                               static_cast<int64_t>(raw.size())));
    std::vector<uint8_t> image = {'Z', 'B', '0', '1'};
    for (int i = 0; i < 4; ++i)
        image.push_back(static_cast<uint8_t>(rawSizeField >> (8 * i)));
    image.insert(image.end(), coded.begin(), coded.begin() + encoder.OutCount);
    return image;
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        v[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

void PutRange(std::vector<uint8_t>& raw, int first, int last)
{
    for (int v : {first, last}) {
        raw.push_back(static_cast<uint8_t>(v));
        raw.push_back(static_cast<uint8_t>(v >> 8));
    }
}

// Raw bytes: a system record, then a table whose scenario 5 holds the given ranges. With
// tableSize, further single-message ranges (and a second scenario, 6, once 5 is full) fill
// the table to exactly that size.
std::vector<uint8_t> RawWithTable(const std::vector<std::pair<int, int>>& ranges, size_t tableSize = 0)
{
    std::vector<uint8_t> raw(72 + 8 + 16);
    raw[0] = 0x01;
    Put32(raw, 64, 3);
    Put32(raw, 68, 7);
    Put32(raw, 84, 5);
    uint32_t blocks = 1;
    size_t block = 80;
    for (auto [first, last] : ranges)
        PutRange(raw, first, last);
    int next = ranges.empty() ? 0 : ranges.back().second + 2;
    while (raw.size() - 72 < tableSize) {
        if (next > 65535) {
            Put32(raw, block, static_cast<uint32_t>(raw.size() - block - 16));
            block = raw.size();
            raw.resize(block + 16);
            Put32(raw, block + 4, 6);
            ++blocks;
            next = 0;
            continue;
        }
        PutRange(raw, next, next);
        next += 2;
    }
    Put32(raw, block, static_cast<uint32_t>(raw.size() - block - 16));
    Put32(raw, 72, static_cast<uint32_t>(raw.size() - 72));
    Put32(raw, 76, blocks);
    return raw;
}

// Records the file steps of a save and fails the one numbered FailAt (from 1) before it does
// anything; with PowerCut the machine stops there instead: what the writer wrote and did not
// sync is lost, and the process dies.
int FailAt = 0;
bool PowerCut = false;
std::vector<std::string> Steps;
struct TMadeFile {
    int Handle;  // the writer's, while open
    int Copy;    // ours, to reach the file after the writer has closed or renamed it
    bool Synced;
};
std::vector<TMadeFile> Made;
TMadeFile* MadeFile(int handle)
{
    for (auto made = Made.rbegin(); made != Made.rend(); ++made)
        if (made->Handle == handle)
            return &*made;
    return nullptr;
}
bool Failing(const char* step)
{
    Steps.push_back(step);
    if (static_cast<int>(Steps.size()) != FailAt)
        return false;
    if (PowerCut) {
        for (const TMadeFile& made : Made)
            if (!made.Synced && ::ftruncate(made.Copy, 0) != 0)
                ::_exit(2);
        ::raise(SIGKILL);
    }
    errno = EIO;
    return true;
}
const TAtomicFileOps FaultyOps = {
    [](char* path, unsigned mode) {
        int handle = Failing("create") ? -1 : DefaultAtomicFileOps.Create(path, mode);
        if (handle >= 0)
            Made.push_back({handle, ::dup(handle), true});
        return handle;
    },
    [](int handle, const void* data, size_t size) {
        if (Failing("write"))
            return false;
        if (TMadeFile* made = MadeFile(handle))
            made->Synced = false;
        return DefaultAtomicFileOps.Write(handle, data, size);
    },
    [](int handle) {
        if (Failing("sync") || !DefaultAtomicFileOps.Sync(handle))
            return false;
        if (TMadeFile* made = MadeFile(handle))
            made->Synced = true;
        return true;
    },
    [](int handle) {
        bool failing = Failing("close");
        if (TMadeFile* made = MadeFile(handle))
            made->Handle = -1;
        return DefaultAtomicFileOps.Close(handle) && !failing;
    },
    [](const char* from, const char* to) { return !Failing("rename") && DefaultAtomicFileOps.Rename(from, to); },
    [](const char* folder) { return !Failing("folder sync") && DefaultAtomicFileOps.SyncFolder(folder); },
};

// Handles the writer left open (closing ours on the way).
int OpenHandles()
{
    int open = 0;
    for (const TMadeFile& made : Made) {
        open += made.Handle >= 0;
        ::close(made.Copy);
    }
    Made.clear();
    return open;
}

std::vector<std::string> FolderEntries(const fs::path& folder)
{
    std::vector<std::string> names;
    for (auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SysFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zbsysXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        FFolder = pattern;
        SysSaveFolder = FFolder.string();
        AtomicFileOps = DefaultAtomicFileOps;
        ZbdataStart();
    }
    void TearDown() override
    {
        ZbdataFinish();
        AtomicFileOps = DefaultAtomicFileOps;
        SysSaveFolder.clear();
        fs::remove_all(FFolder);
    }
    // Drops every record and builds fresh ones, as a new run of the game would.
    void Restart()
    {
        ZbdataFinish();
        ZbdataStart();
    }
    void MakeProgress()
    {
        SetSysFlag(SysData, 17, true);
        SetSysOpenFlag(SysData, 200);
        SysData->FurthestEpisode = 4;
        SysData->FurthestScene = 12;
        ReadMesTable->SetScenario(3, Stamp);
        ReadMesTable->SetScenario(8, Stamp);
        for (int m : {1, 2, 3, 9, 400, 65535})
            ReadMesTable->SetRead(Id(3, m));
        ReadMesTable->SetRead(Id(8, 0));
    }
    fs::path SaveFile() const { return FFolder / "ZBSys.sav"; }
    size_t LogLines() const { return ErrLog->Count(); }
    std::string LastLog() const { return ErrLog->Line(ErrLog->Count() - 1); }

    fs::path FFolder;
};

}  // namespace

TEST_F(SysFileTest, FreshSaveHoldsEightyRawBytesAndRoundTripsExactly)
{
    ASSERT_TRUE(SaveSysData());
    std::vector<uint8_t> file = ReadFile(SaveFile());
    ASSERT_GE(file.size(), 8u);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "ZB01");
    EXPECT_EQ(file[4], 80);
    EXPECT_EQ(file[5] | file[6] | file[7], 0);
    std::vector<uint8_t> fresh = Snapshot();
    Restart();
    ASSERT_TRUE(LoadSysData());
    EXPECT_EQ(Snapshot(), fresh);

    MakeProgress();
    std::vector<uint8_t> before = Snapshot();
    ASSERT_TRUE(SaveSysData());
    Restart();
    EXPECT_NE(Snapshot(), before);
    ASSERT_TRUE(LoadSysData());
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(ReadMesTable->IsRead(Id(3, 65535)));
    EXPECT_TRUE(IsProgressReached(SysData, 4, 12));
    EXPECT_EQ(FolderEntries(FFolder), std::vector<std::string>{"ZBSys.sav"});

    // The name is found whatever its case, as the game's file names expect.
    fs::rename(SaveFile(), FFolder / "zbsys.SAV");
    Restart();
    EXPECT_TRUE(LoadSysData());
    EXPECT_EQ(Snapshot(), before);
}

// What the game relies on of a save, in whatever order the writer takes its steps: one that
// reports success has put the new records whole under the save's name; one that reports failure
// has left the previous save as it was, logged one line naming the failed step and left nothing
// beside the save; a power cut at any step leaves the previous save or the new one, whole, and
// the next save lands. No handle stays open.
TEST_F(SysFileTest, FailureOrPowerCutAtAnyWriteStepKeepsAWholeSave)
{
    MakeProgress();
    ASSERT_TRUE(SaveSysData());
    const std::vector<uint8_t> saved = Snapshot();
    const std::vector<uint8_t> savedFile = ReadFile(SaveFile());
    SetSysFlag(SysData, 99, true);
    ReadMesTable->SetRead(Id(8, 50));
    const std::vector<uint8_t> changed = Snapshot();
    ASSERT_NE(changed, saved);
    // What a new run of the game loads (empty when it loads nothing).
    auto load = [&] {
        Restart();
        return LoadSysData() ? Snapshot() : std::vector<uint8_t>();
    };
    auto changeRecords = [&] {
        EXPECT_TRUE(ReadMesTable->SetData(changed.data() + 72, static_cast<int64_t>(changed.size()) - 72));
        LoadSysDataBytes(*SysData, changed.data());
    };
    // The changed records back in memory and only the first file in the folder.
    auto reset = [&] {
        changeRecords();
        for (const std::string& name : FolderEntries(FFolder))
            fs::remove_all(FFolder / name);
        WriteFile(SaveFile(), savedFile);
    };

    FailAt = 0;
    PowerCut = false;
    Steps.clear();
    AtomicFileOps = FaultyOps;
    EXPECT_TRUE(SaveSysData());
    AtomicFileOps = DefaultAtomicFileOps;
    const int steps = static_cast<int>(Steps.size());
    ASSERT_GT(steps, 0);
    EXPECT_EQ(OpenHandles(), 0);
    EXPECT_EQ(FolderEntries(FFolder), std::vector<std::string>{"ZBSys.sav"});
    EXPECT_EQ(load(), changed);
    reset();

    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("failing step " + std::to_string(step));
        FailAt = step;
        Steps.clear();
        const size_t lines = LogLines();
        AtomicFileOps = FaultyOps;
        const bool reported = SaveSysData();
        AtomicFileOps = DefaultAtomicFileOps;
        EXPECT_EQ(OpenHandles(), 0);
        ASSERT_GE(static_cast<int>(Steps.size()), step);
        const std::string& name = Steps[static_cast<size_t>(step - 1)];
        SCOPED_TRACE(name);
        // Once the new file stands under the save's name the save is done: a later failure
        // only risks the name after a power cut, and is logged, not reported.
        EXPECT_EQ(LogLines(), lines + 1);
        EXPECT_NE(LastLog().find((reported ? "ZBSys.sav SyncError (" : "ZBSys.sav SaveError (") + name + ": "),
                  std::string::npos)
            << LastLog();
        EXPECT_EQ(FolderEntries(FFolder), std::vector<std::string>{"ZBSys.sav"});
        EXPECT_EQ(load(), reported ? changed : saved);
        reset();
    }

    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("power cut at step " + std::to_string(step));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FailAt = step;
            PowerCut = true;
            Steps.clear();
            AtomicFileOps = FaultyOps;
            SaveSysData();
            ::_exit(0);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the save ended before that step";
        const std::vector<uint8_t> left = load();
        EXPECT_TRUE(left == saved || left == changed) << "the save does not load whole";
        changeRecords();
        EXPECT_TRUE(SaveSysData());
        EXPECT_EQ(load(), changed);
        reset();
    }
}

TEST_F(SysFileTest, NothingPlantedBesideTheSaveIsWrittenThroughOrBlocksIt)
{
    MakeProgress();
    const fs::path victim = FFolder / "victim";
    WriteFile(victim, {'k', 'e', 'e', 'p'});
    // The name older saves used, and names of the pattern the save picks from.
    fs::create_symlink(victim, FFolder / "ZBSys.sav.tmp");
    ASSERT_TRUE(SaveSysData());
    fs::remove(FFolder / "ZBSys.sav.tmp");
    fs::create_directory(FFolder / "ZBSys.sav.tmp");
    ASSERT_TRUE(SaveSysData());
    fs::create_symlink(victim, FFolder / "ZBSys.sav.tmpPLANT1");
    fs::create_directory(FFolder / "ZBSys.sav.tmpPLANT2");
    ASSERT_TRUE(SaveSysData());
    // A link at the save's own name becomes a new file of the save's own; its target, a
    // read-only file outside the game's keeping, is neither written nor copied.
    fs::permissions(victim, fs::perms(0444));
    fs::remove(SaveFile());
    fs::create_symlink(victim, SaveFile());
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(ReadFile(victim), (std::vector<uint8_t>{'k', 'e', 'e', 'p'}));
    EXPECT_FALSE(fs::is_symlink(SaveFile()));
    EXPECT_EQ(fs::status(SaveFile()).permissions(), fs::perms(0644));
    std::vector<uint8_t> saved = Snapshot();
    Restart();
    ASSERT_TRUE(LoadSysData());
    EXPECT_EQ(Snapshot(), saved);
}

TEST_F(SysFileTest, UnreadableSaveIsKeptAsideBeforeTheFirstSaveOverIt)
{
    MakeProgress();
    ASSERT_TRUE(SaveSysData());
    std::vector<uint8_t> damaged = ReadFile(SaveFile());
    damaged[8 + (damaged.size() - 8) / 2] ^= 0x10;
    WriteFile(SaveFile(), damaged);
    Restart();
    std::vector<uint8_t> fresh = Snapshot();
    ASSERT_FALSE(LoadSysData());
    EXPECT_EQ(Snapshot(), fresh);

    size_t lines = LogLines();
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(LogLines(), lines + 1);
    EXPECT_EQ(LastLog().substr(LastLog().size() - 14), " ZBSys.sav.bad") << LastLog();
    EXPECT_EQ(ReadFile(FFolder / "ZBSys.sav.bad"), damaged);
    // The next save in the same run replaces only the new file.
    SetSysFlag(SysData, 6, true);
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(ReadFile(FFolder / "ZBSys.sav.bad"), damaged);
    EXPECT_EQ(LogLines(), lines + 1);
    std::vector<uint8_t> secondSave = Snapshot();
    Restart();
    ASSERT_TRUE(LoadSysData());
    EXPECT_EQ(Snapshot(), secondSave);
    // The kept copy stays when later saves replace the new file, and a file that loaded is
    // replaced without a copy.
    SetSysFlag(SysData, 5, true);
    lines = LogLines();
    ASSERT_TRUE(SaveSysData());
    ASSERT_TRUE(LoadSysData());
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(ReadFile(FFolder / "ZBSys.sav.bad"), damaged);
    EXPECT_EQ(LogLines(), lines);

    // Later damaged saves never replace a kept one: each goes to the first free numbered name,
    // and its line says what was wrong with it.
    std::vector<uint8_t> wrongMagic = ReadFile(SaveFile());
    wrongMagic[3] = '2';
    std::vector<uint8_t> raw = Snapshot();
    const struct {
        std::vector<uint8_t> Bytes;
        std::string Cause;
    } later[] = {
        {wrongMagic, "ZB01"},
        {ImageOf(raw, 0x40049), std::to_string(0x40049)},
    };
    std::vector<std::vector<uint8_t>> kept{damaged};
    for (const auto& [bytes, cause] : later) {
        SCOPED_TRACE(cause);
        WriteFile(SaveFile(), bytes);
        Restart();
        ASSERT_FALSE(LoadSysData());
        lines = LogLines();
        ASSERT_TRUE(SaveSysData());
        ASSERT_EQ(LogLines(), lines + 1);
        const std::string keptName = "ZBSys.sav.bad" + std::to_string(kept.size());
        EXPECT_NE(LastLog().find(cause), std::string::npos) << LastLog();
        EXPECT_EQ(LastLog().substr(LastLog().size() - keptName.size() - 1), " " + keptName) << LastLog();
        kept.push_back(bytes);
        for (size_t n = 0; n < kept.size(); ++n)
            EXPECT_EQ(ReadFile(FFolder / ("ZBSys.sav.bad" + (n ? std::to_string(n) : ""))), kept[n]) << n;
    }
}

TEST_F(SysFileTest, DamagedSaveIsNeverOverwrittenWhenItsKeepAsideNameIsTaken)
{
    MakeProgress();
    ASSERT_TRUE(SaveSysData());
    std::vector<uint8_t> damaged = ReadFile(SaveFile());
    damaged[8 + (damaged.size() - 8) / 2] ^= 0x10;
    WriteFile(SaveFile(), damaged);
    Restart();
    ASSERT_FALSE(LoadSysData());
    // The keep-aside name and every numbered one after it are taken: the first by a folder,
    // the others by files of their own that must stay as they are.
    fs::create_directory(FFolder / "ZBSys.sav.bad");
    for (int n = 1; n <= 99; ++n)
        WriteFile(FFolder / ("ZBSys.sav.bad" + std::to_string(n)), {'o', 'l', 'd'});
    SetSysFlag(SysData, 7, true);
    size_t lines = LogLines();
    EXPECT_FALSE(SaveSysData());
    EXPECT_EQ(LogLines(), lines + 2);
    EXPECT_EQ(ErrLog->Line(lines).rfind("ZBSys.sav LoadError (", 0), 0u) << ErrLog->Line(lines);
    EXPECT_NE(LastLog().find("ZBSys.sav SaveError"), std::string::npos) << LastLog();
    EXPECT_EQ(ReadFile(SaveFile()), damaged);

    // Once a name is free the damaged file goes there and the progress is saved.
    fs::remove(FFolder / "ZBSys.sav.bad42");
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(LogLines(), lines + 3);
    EXPECT_NE(LastLog().find("ZBSys.sav.bad42"), std::string::npos) << LastLog();
    EXPECT_EQ(ReadFile(FFolder / "ZBSys.sav.bad42"), damaged);
    for (int n : {1, 41, 43, 99})
        EXPECT_EQ(ReadFile(FFolder / ("ZBSys.sav.bad" + std::to_string(n))), (std::vector<uint8_t>{'o', 'l', 'd'}));
    EXPECT_TRUE(fs::is_directory(FFolder / "ZBSys.sav.bad"));
    std::vector<uint8_t> saved = Snapshot();
    Restart();
    ASSERT_TRUE(LoadSysData());
    EXPECT_EQ(Snapshot(), saved);
    EXPECT_TRUE(GetSysFlag(SysData, 7));
}

TEST_F(SysFileTest, SaveKeepsOnlyPermissionBitsAndLeavesAReadOnlyFileAlone)
{
    MakeProgress();
    ASSERT_TRUE(SaveSysData());
    fs::permissions(SaveFile(), fs::perms(06755));
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(fs::status(SaveFile()).permissions(), fs::perms(0755));

    // The player made the file read-only: it is not replaced, and the log says why.
    fs::permissions(SaveFile(), fs::perms(0444));
    std::vector<uint8_t> kept = ReadFile(SaveFile());
    SetSysFlag(SysData, 8, true);
    size_t lines = LogLines();
    EXPECT_FALSE(SaveSysData());
    EXPECT_EQ(LogLines(), lines + 1);
    EXPECT_NE(LastLog().find("ZBSys.sav SaveError"), std::string::npos) << LastLog();
    EXPECT_NE(LastLog().find("Permission denied"), std::string::npos) << LastLog();
    EXPECT_EQ(ReadFile(SaveFile()), kept);
    EXPECT_EQ(FolderEntries(FFolder), std::vector<std::string>{"ZBSys.sav"});

    // A read-only save that does not load is not moved aside either: it stays as it is, and
    // every save is refused as for any read-only save.
    std::vector<uint8_t> damaged = kept;
    damaged[8 + (damaged.size() - 8) / 2] ^= 0x10;
    fs::permissions(SaveFile(), fs::perms(0644));
    WriteFile(SaveFile(), damaged);
    fs::permissions(SaveFile(), fs::perms(0444));
    Restart();
    ASSERT_FALSE(LoadSysData());
    // Why it did not load is said once, before the first refusal, as keeping it aside would.
    std::string unreadable;
    for (int save = 0; save < 2; ++save) {
        lines = LogLines();
        EXPECT_FALSE(SaveSysData());
        EXPECT_EQ(LogLines(), lines + (save == 0 ? 2 : 1));
        if (save == 0)
            unreadable = ErrLog->Line(lines);
        EXPECT_NE(LastLog().find("ZBSys.sav SaveError"), std::string::npos) << LastLog();
        EXPECT_NE(LastLog().find("Permission denied"), std::string::npos) << LastLog();
        EXPECT_EQ(ReadFile(SaveFile()), damaged);
        EXPECT_EQ(fs::status(SaveFile()).permissions(), fs::perms(0444));
        EXPECT_EQ(FolderEntries(FFolder), std::vector<std::string>{"ZBSys.sav"});
    }
    fs::permissions(SaveFile(), fs::perms(0644));
    ASSERT_TRUE(SaveSysData());
    EXPECT_EQ(LastLog(), unreadable + ": the unreadable file is kept as ZBSys.sav.bad");
    EXPECT_EQ(unreadable.rfind("ZBSys.sav LoadError (", 0), 0u) << unreadable;
}

// A tmpfs of its own, so the file system can really be filled and made read-only.
class SysFileLimitsTest : public SysFileTest {
protected:
    void SetUp() override
    {
        SysFileTest::SetUp();
        FMount = FFolder / "mnt";
        fs::create_directory(FMount);
        if (::geteuid() == 0 && ::mount("tmpfs", FMount.c_str(), "tmpfs", 0, "size=256k") == 0)
            FMounted = true;
        SysSaveFolder = FMount.string();
    }
    void TearDown() override
    {
        if (FMounted)
            ::umount2(FMount.c_str(), MNT_DETACH);
        SysFileTest::TearDown();
    }
    // The current records are saved, then changed: a save that fails must keep the first ones.
    std::vector<uint8_t> SaveThenChange()
    {
        EXPECT_TRUE(SaveSysData());
        std::vector<uint8_t> saved = Snapshot();
        SetSysFlag(SysData, 123, true);
        ReadMesTable->SetRead(Id(9, 9));
        return saved;
    }
    void ExpectFailedSaveKeeps(const std::vector<uint8_t>& saved)
    {
        size_t lines = LogLines();
        EXPECT_FALSE(SaveSysData());
        EXPECT_EQ(LogLines(), lines + 1);
        EXPECT_NE(LastLog().find("ZBSys.sav"), std::string::npos) << LastLog();
        Restart();
        ASSERT_TRUE(LoadSysData());
        EXPECT_EQ(Snapshot(), saved);
    }

    fs::path FMount;
    bool FMounted = false;
};

TEST_F(SysFileLimitsTest, FullDiskAndReadOnlyFolderKeepTheOldSave)
{
    MakeProgress();
    if (!FMounted) {
        if (::geteuid() == 0)
            GTEST_SKIP() << "could not mount a tmpfs to fill and make read-only";
        // Without root a folder's mode is enough to refuse the write.
        std::vector<uint8_t> saved = SaveThenChange();
        fs::permissions(FMount, fs::perms(0555));
        ExpectFailedSaveKeeps(saved);
        fs::permissions(FMount, fs::perms(0755));
        GTEST_SKIP() << "full file system not tried: mounting a small tmpfs needs root";
    }
    {
        SCOPED_TRACE("full");
        std::vector<uint8_t> saved = SaveThenChange();
        std::ofstream filler(FMount / "filler", std::ios::binary);
        std::vector<char> block(4096, 'x');
        while (filler.write(block.data(), static_cast<std::streamsize>(block.size())))
            filler.flush();
        filler.close();
        ExpectFailedSaveKeeps(saved);
        EXPECT_EQ(FolderEntries(FMount), (std::vector<std::string>{"ZBSys.sav", "filler"}));
        fs::remove(FMount / "filler");
    }
    {
        SCOPED_TRACE("read-only");
        std::vector<uint8_t> saved = SaveThenChange();
        ASSERT_EQ(::mount("tmpfs", FMount.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k"), 0);
        ExpectFailedSaveKeeps(saved);
    }
}

TEST_F(SysFileTest, LoadRefusesDamagedFilesAndKeepsTheRecords)
{
    EXPECT_FALSE(LoadSysData());  // no file
    MakeProgress();
    std::vector<uint8_t> current = Snapshot();
    std::vector<uint8_t> good;
    ASSERT_TRUE(BuildSysDataImage(good));

    auto refused = [&](const std::vector<uint8_t>& image, const char* what) {
        EXPECT_FALSE(LoadSysDataImage(image.data(), image.size())) << what;
        WriteFile(SaveFile(), image);
        EXPECT_FALSE(LoadSysData()) << what;
        EXPECT_EQ(Snapshot(), current) << what;
    };
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 7), "shorter than the header");
    std::vector<uint8_t> bad = good;
    bad[3] = '2';
    refused(bad, "wrong magic");
    for (size_t cut : {size_t(8), size_t(9), good.size() - 1})
        refused(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut)), "truncated body");

    std::vector<uint8_t> raw = Snapshot();
    uint32_t rawSize = static_cast<uint32_t>(raw.size());
    refused(ImageOf(raw, rawSize + 1), "raw size above the decoded size");
    refused(ImageOf(raw, rawSize - 1), "raw size below the decoded size");
    // A stream that ends 4 bytes early must not be padded: the zeros would read as range [0, 0].
    std::vector<uint8_t> shortRaw = RawWithTable({{0, 0}});
    ASSERT_EQ(shortRaw.size(), 72u + 28u);
    shortRaw.resize(shortRaw.size() - 4);
    refused(ImageOf(shortRaw, 72 + 28), "stream shorter than the raw size");
    std::vector<uint8_t> small(raw.begin(), raw.begin() + 79);
    refused(ImageOf(small, 79), "raw size under 80");
    refused(ImageOf(raw, 0x40049), "raw size above the largest");
    bad = good;
    bad.resize(8 + 4 * 0x40048 + 1, 0);
    refused(bad, "body longer than the coded buffer");

    refused(ImageOf(RawWithTable({{1, 3}, {4, 6}}), static_cast<uint32_t>(RawWithTable({{1, 3}, {4, 6}}).size())),
            "adjacent ranges");
    refused(ImageOf(RawWithTable({{5, 6}, {1, 2}}), static_cast<uint32_t>(RawWithTable({{5, 6}, {1, 2}}).size())),
            "unsorted ranges");
    std::vector<uint8_t> countless = RawWithTable({{1, 2}});
    Put32(countless, 76, 2);
    refused(ImageOf(countless, static_cast<uint32_t>(countless.size())), "block count past the end");
    std::vector<uint8_t> huge = RawWithTable({{1, 2}}, 0x40000);
    ASSERT_EQ(huge.size(), 0x40048u);
    refused(ImageOf(huge, 0x40048), "table of 0x40000 bytes");
    std::vector<uint8_t> largest = RawWithTable({{1, 2}}, 0x40000 - 4);
    ASSERT_TRUE(TReadMesTable::IsValidTable(largest.data() + 72, 0x40000 - 4));

    // A file made by hand from the documented layout is read field by field.
    std::vector<uint8_t> handMade = RawWithTable({{1, 2}, {10, 10}});
    WriteFile(SaveFile(), ImageOf(handMade, static_cast<uint32_t>(handMade.size())));
    ASSERT_TRUE(LoadSysData());
    EXPECT_TRUE(GetSysFlag(SysData, 0));
    EXPECT_FALSE(GetSysFlag(SysData, 17));
    EXPECT_EQ(SysData->FurthestEpisode, 3);
    EXPECT_EQ(SysData->FurthestScene, 7);
    EXPECT_TRUE(ReadMesTable->IsRead(Id(5, 2)));
    EXPECT_TRUE(ReadMesTable->IsRead(Id(5, 10)));
    EXPECT_FALSE(ReadMesTable->IsRead(Id(3, 1)));
    WriteFile(SaveFile(), ImageOf(largest, static_cast<uint32_t>(largest.size())));
    EXPECT_TRUE(LoadSysData());
}
