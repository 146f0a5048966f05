#pragma once

#include <QStringList>

class CSimProcess;

// Runs ../cli/vq8ctl (next to vq-bench) quietly with --yes on the emulator
// `sim`: the seconds it took, or -1 (said on stderr, for `bench`) when it failed.
double RunVq8ctl(const CSimProcess& sim, const QStringList& arguments, const char* bench);
