#pragma once

#include <QStringList>

class CSimProcess;

// Runs ../cli/vq8ctl (next to vq-bench) with `arguments`: the seconds it
// took, or -1 (said on stderr, for `bench`) when it failed.
double TimeVq8ctl(const QStringList& arguments, const char* bench);

// The same quietly with --yes on the emulator `sim`.
double RunVq8ctl(const CSimProcess& sim, const QStringList& arguments, const char* bench);
