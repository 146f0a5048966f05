#pragma once

#include <QString>

// The bash completion of vq8ctl (cli/vq8ctl.bash-completion), made of the
// commands and options the registry knows; tst_completion checks the file
// against it and writes the new one when a command changed.
class CCtlCompletion final
{
public:
    CCtlCompletion() = delete;

    static QString Script();
};
