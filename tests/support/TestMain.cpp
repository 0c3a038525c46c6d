// The tests' main: the same headless devices whether ctest is run by the test script or by hand,
// and the check that fails a test whose run of the real program drew a thread checker report.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/ProgramReports.h"

int main(int argc, char** argv)
{
    ::setenv("SDL_VIDEODRIVER", "dummy", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(NewProgramReportCheck());
    return RUN_ALL_TESTS();
}
