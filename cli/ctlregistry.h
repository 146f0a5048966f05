#pragma once

#include "cli/ctlcommand.h"

#include <QAnyStringView>
#include <QStringList>

#include <memory>
#include <vector>

// The commands of vq8ctl, in the order the help lists them (ctlregistry.cpp
// holds the list: one line per command).
class CCtlRegistry final
{
public:
    CCtlRegistry() = delete;

    // One instance of each, for what they say of themselves.
    static const std::vector<std::unique_ptr<CCtlCommand>>& All();
    static const CCtlCommand* Find(QAnyStringView name);
    static QStringList Names();
    // A fresh instance to run; null for an unknown name.
    static std::unique_ptr<CCtlCommand> Create(QAnyStringView name);
};
