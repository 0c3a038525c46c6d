#include "support/ProgramReports.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "support/ArchiveFixtures.h"

namespace {

std::unique_ptr<TScratchFolder>& Folder()
{
    static std::unique_ptr<TScratchFolder> folder;
    return folder;
}

// Each report fails the test that ends, whose program wrote it, and is removed so that the next
// test starts clean.
class TProgramReportCheck : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        if (!Folder())
            return;
        for (const auto& entry : std::filesystem::directory_iterator(Folder()->Path())) {
            const TByteVector bytes = ReadWholeFile(entry.path().string());
            ADD_FAILURE() << "the program's thread checker reported (" << entry.path().filename().string()
                          << "):\n"
                          << std::string(bytes.begin(), bytes.end());
            std::filesystem::remove(entry.path());
        }
    }
};

}  // namespace

const std::string& ProgramReportFolder()
{
    if (!Folder())
        Folder() = std::make_unique<TScratchFolder>();
    return Folder()->Path();
}

::testing::TestEventListener* NewProgramReportCheck() { return new TProgramReportCheck; }
