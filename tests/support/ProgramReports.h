#pragma once
// Reports of the thread checker from the real program that a test starts. The program writes
// each report to a file of its own in one folder of the test process, apart from its standard
// error, which a test may drop or never read; the check that the tests' main installs fails the
// running test, at its end, with every report found there.

#include <string>

namespace testing {
class TestEventListener;
}

// The folder named in the program's thread checker settings (made on first use, removed with
// the test process).
const std::string& ProgramReportFolder();

// The check: a listener for the test program's run.
::testing::TestEventListener* NewProgramReportCheck();
