#pragma once

#include <QStringView>

// The rules of PC paths that differ by platform: on Windows a path names a
// drive ("C:\\...") and separates with "\\" (and "/", which Qt hands out
// there too); elsewhere a path is rooted at "/" and separates with "/". Both
// sets of rules are here, so that tests check each on any system; the
// program uses its platform's.
enum class PcPathStyle
{
    Windows,
    Posix,
};

#ifdef Q_OS_WIN
inline constexpr PcPathStyle PC_PATH_STYLE = PcPathStyle::Windows;
#else
inline constexpr PcPathStyle PC_PATH_STYLE = PcPathStyle::Posix;
#endif

// Whether a file may be written at `path` without a folder of its own being
// guessed: on Windows the path contains a ":" (a drive), elsewhere it is
// absolute.
bool IsRootedPcPath(QStringView path, PcPathStyle style = PC_PATH_STYLE);
// The position of the last separator of `path`, -1 when it has none.
qsizetype LastPcSeparator(QStringView path, PcPathStyle style = PC_PATH_STYLE);
