#include "support/ScriptFixtures.h"

#include <gtest/gtest.h>

#include "game/Zbdata.h"
#include "scenario/Zbasm.h"

TByteVector AssembleOrFail(const std::string& source)
{
    TByteVector bytes;
    std::string error;
    if (!AssembleScript(source, bytes, error)) {
        ADD_FAILURE() << "assembly failed: " << error;
        return {};
    }
    return bytes;
}

TScriptWorld::TScriptWorld()
{
    ZbdataStart();
    FFiles = std::make_unique<TFileMan>(nullptr);
    FUnit = std::make_unique<TAvgUnit>(nullptr);
    FUnit->Host.ScriptFileMan = FFiles.get();
    FUnit->Host.MainThreadSignal = [this](int32_t value) { Signals.push_back(value); };
    FLogMark = ErrLog->Count();
}

TScriptWorld::~TScriptWorld()
{
    FUnit.reset();
    FFiles.reset();
    ZbdataFinish();
}

void TScriptWorld::Add(const std::string& name, const std::string& source)
{
    FFolder.Write(name, AssembleOrFail(source));
}

void TScriptWorld::AddBytes(const std::string& name, const TByteVector& bytes)
{
    FFolder.Write(name, bytes);
}

bool TScriptWorld::Init(const std::string& archivePath)
{
    if (archivePath.empty())
        FFiles->InitDir(FFolder.Path());
    else if (!FFiles->InitPack(archivePath))
        return false;
    bool ok = FUnit->InitScenario(nullptr);
    FUnit->ResourcesReady = true;
    return ok;
}

std::vector<std::string> TScriptWorld::Log() const
{
    std::vector<std::string> lines;
    for (size_t i = FLogMark; i < ErrLog->Count(); ++i)
        lines.push_back(ErrLog->Line(i));
    return lines;
}

void TScriptWorld::MarkLog()
{
    FLogMark = ErrLog->Count();
}

bool TScriptWorld::StartFirst()
{
    int script = -1;
    uint32_t entry = 0;
    FUnit->SetTriggerGroup(0);
    if (!FUnit->FindTrigger(script, entry)) {
        ADD_FAILURE() << "no trigger of group 0";
        return false;
    }
    return FUnit->StartScript(script, entry);
}
