#include "cli/ctlregistry.h"

#include <array>

namespace {

using Factory = std::unique_ptr<CCtlCommand> (*)();

} // namespace

// Each command's file (cli/commands/) defines its Make function.
std::unique_ptr<CCtlCommand> MakeIdnCommand();
std::unique_ptr<CCtlCommand> MakeLsCommand();
std::unique_ptr<CCtlCommand> MakeDfCommand();
std::unique_ptr<CCtlCommand> MakePutCommand();
std::unique_ptr<CCtlCommand> MakeGetCommand();
std::unique_ptr<CCtlCommand> MakeSyncCommand();
std::unique_ptr<CCtlCommand> MakeVerifyCommand();
std::unique_ptr<CCtlCommand> MakeBackupCommand();
std::unique_ptr<CCtlCommand> MakeRestoreCommand();
std::unique_ptr<CCtlCommand> MakeMkdirCommand();
std::unique_ptr<CCtlCommand> MakeRmdirCommand();
std::unique_ptr<CCtlCommand> MakeRmCommand();
std::unique_ptr<CCtlCommand> MakeMvCommand();
std::unique_ptr<CCtlCommand> MakeCpCommand();
std::unique_ptr<CCtlCommand> MakeMountCommand();
std::unique_ptr<CCtlCommand> MakeErrorsCommand();
std::unique_ptr<CCtlCommand> MakeScanCommand();
std::unique_ptr<CCtlCommand> MakeHelpCommand();

namespace {

// The commands in the order the help lists them.
constexpr std::array kFactories = {
    MakeIdnCommand,    MakeLsCommand,     MakeDfCommand,     MakePutCommand,     MakeGetCommand,
    MakeSyncCommand,   MakeVerifyCommand, MakeBackupCommand, MakeRestoreCommand, MakeMkdirCommand,
    MakeRmdirCommand,  MakeRmCommand,     MakeMvCommand,     MakeCpCommand,      MakeMountCommand,
    MakeErrorsCommand, MakeScanCommand,   MakeHelpCommand,
};

} // namespace

const std::vector<std::unique_ptr<CCtlCommand>>& CCtlRegistry::All()
{
    static const std::vector<std::unique_ptr<CCtlCommand>> commands = [] {
        std::vector<std::unique_ptr<CCtlCommand>> made;
        for (const Factory make : kFactories)
            made.push_back(make());
        return made;
    }();
    return commands;
}

const CCtlCommand* CCtlRegistry::Find(QAnyStringView name)
{
    for (const auto& command : All()) {
        if (QAnyStringView(command->Describe().name) == name)
            return command.get();
    }
    return nullptr;
}

QStringList CCtlRegistry::Names()
{
    QStringList names;
    for (const auto& command : All())
        names.append(command->Describe().name);
    return names;
}

std::unique_ptr<CCtlCommand> CCtlRegistry::Create(QAnyStringView name)
{
    for (std::size_t i = 0; i < kFactories.size(); ++i) {
        if (QAnyStringView(All().at(i)->Describe().name) == name)
            return kFactories.at(i)();
    }
    return nullptr;
}
