#pragma once
// Test helpers for scripts: assembled script files in a scratch folder, a file manager over it
// and a scene unit reading from it, with the game records started and the signals recorded.

#include <memory>
#include <string>
#include <vector>

#include "archive/Vefileman.h"
#include "scenario/Avgu.h"
#include "support/ArchiveFixtures.h"

// The bytes of a script file; a failed assembly fails the calling test and gives no bytes.
TByteVector AssembleOrFail(const std::string& source);

class TScriptWorld {
public:
    TScriptWorld();
    ~TScriptWorld();
    TScriptWorld(const TScriptWorld&) = delete;
    TScriptWorld& operator=(const TScriptWorld&) = delete;

    // Assembles source into the scratch folder under name.
    void Add(const std::string& name, const std::string& source);
    void AddBytes(const std::string& name, const TByteVector& bytes);
    // Sets up the unit over the folder (or over archivePath when given); resources are marked
    // ready so that scenes run.
    bool Init(const std::string& archivePath = std::string());

    TAvgUnit& Unit() { return *FUnit; }
    const TScratchFolder& Folder() const { return FFolder; }
    TFileMan& Files() { return *FFiles; }

    // Lines added to the error log since the world was made (or since MarkLog).
    std::vector<std::string> Log() const;
    void MarkLog();

    // Starts the first trigger of group 0 found by the unit.
    bool StartFirst();

    std::vector<int32_t> Signals;

private:
    TScratchFolder FFolder;
    std::unique_ptr<TFileMan> FFiles;
    std::unique_ptr<TAvgUnit> FUnit;
    size_t FLogMark = 0;
};
