#pragma once

#include "link/pcpath.h"

#include <QString>
#include <QStringView>

// Whether a generator's name can become a PC file name as it is, and the one
// way a PC folder and such a name are joined. The generator takes names that
// Windows refuses or changes ("CON", "A:B.TXT", "TRAIL."), so every copy to
// the PC asks here before anything is written: the window, get, get -r and
// sync alike.

// Why a name cannot be a PC file name; None when it can.
enum class PcNameProblem
{
    None,
    Empty,              // "", "." or ".."
    Separator,          // "/" or "\\": the name would name another folder
    Control,            // a control character or one the wire cannot carry
    ReservedCharacter,  // Windows: < > : " | ? *
    DeviceName,         // Windows: CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension
    TrailingDotOrSpace, // Windows drops it: "TRAIL." and "TRAIL " both become "TRAIL"
};

PcNameProblem CheckPcName(QStringView name, PcPathStyle style = PC_PATH_STYLE);

// The rule a refused name breaks, as a message says it ("a device name of Windows").
QString PcNameRule(PcNameProblem problem);

// The message for a name the PC cannot take, naming the rule and the name;
// empty when the name is fine.
QString PcNameRefusal(const QString& name, PcPathStyle style = PC_PATH_STYLE);

// `name` inside `folder`, or empty when the name is refused or the joined
// path would lie anywhere but directly inside `folder` (checked on the
// result). The result uses `folder`'s own separators.
QString JoinPcPath(QStringView folder, QStringView name, PcPathStyle style = PC_PATH_STYLE);

// What a file system that ignores letter case and, on Windows, a trailing dot
// or space makes of `path`: two targets with one key are one file there, so
// a batch refuses the second before anything is written.
QString PcPathKey(QStringView path, PcPathStyle style = PC_PATH_STYLE);
