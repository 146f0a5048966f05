#include "cli/ctlcompletion.h"

#include "cli/ctlargs.h"
#include "cli/ctlregistry.h"

#include <QMap>

using namespace Qt::StringLiterals;

namespace {

// The script with @NAME@ where the registry's words go.
const QString TEMPLATE = uR"(# bash completion for vq8ctl: commands, options, PC paths and generator paths.
# Generator paths are read from the generator itself (vq8ctl ls, given up
# after a short time), with the --host/--port of the line being completed.
# Made from vq8ctl's commands: tst_completion writes it anew when they change.

_vq8ctl_generator_paths()
{
    local cur=$1 folder prefix
    local -a target=()
    local i
    local host=
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        # The first generator only: its listing stands for the others'.
        --host) [[ -z $host ]] && host=${COMP_WORDS[i + 1]} && target+=(--host "$host") ;;
        --port) target+=(--port "${COMP_WORDS[i + 1]}") ;;
        --demo) target+=(--demo) ;;
        esac
    done
    # The folder part of the word is listed; its last name is completed.
    if [[ $cur == */* ]]; then
        folder=${cur%/*}
        prefix="$folder/"
    else
        folder=
        prefix=
    fi
    local line kind name
    local -a names=()
    while IFS= read -r line; do
        kind=${line%% *}
        name=${line#* * }
        [[ $kind == d ]] && name+=/
        names+=("$prefix$name")
    done < <(timeout 2 vq8ctl -q "${target[@]}" ls "${folder:-/F0:/}" 2>/dev/null)
    local IFS=$'\n'
    COMPREPLY+=($(compgen -W "${names[*]}" -- "$cur"))
    # A folder goes on with its entries, not with a blank.
    [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == */ ]] && compopt -o nospace 2>/dev/null
}

_vq8ctl()
{
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD - 1]}

    local common="@COMMON@"
    local commands="@COMMANDS@"

    case $prev in
    @PLAIN_VALUES@) return ;;
    @FILE_VALUES@)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    esac

    # The command and the place of the current word among its arguments.
    local command= i arg=0
    for ((i = 1; i < ${#COMP_WORDS[@]}; i++)); do
        local word=${COMP_WORDS[i]}
        case $word in
        @VALUES@) ((i++)) ;;
        -*) ;;
        *)
            if [[ -z $command ]]; then
                [[ $i -lt $COMP_CWORD ]] && command=$word
            elif [[ $i -lt $COMP_CWORD ]]; then
                ((arg++))
            fi
            ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "$common" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    if [[ $cur == -* ]]; then
        local own=
        case $command in
@OWN@        esac
        COMPREPLY=($(compgen -W "$common $own" -- "$cur"))
        return
    fi

    case $command in
@ARGUMENTS@    *) _vq8ctl_generator_paths "$cur" ;;
    esac
}

complete -F _vq8ctl vq8ctl
)"_s;

// What each kind of arguments completes (CCtlCommand::Completion::Generator
// is the default branch of the template).
QString ArgumentBranch(CCtlCommand::Completion completion)
{
    switch (completion) {
    case CCtlCommand::Completion::None:
        return u" ;;\n"_s;
    case CCtlCommand::Completion::Command:
        return u" COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\")) ;;\n"_s;
    case CCtlCommand::Completion::PcOrGenerator:
        return u"\n        # Either side may be the PC's: both kinds are offered.\n"
               "        COMPREPLY=($(compgen -d -- \"$cur\"))\n"
               "        _vq8ctl_generator_paths \"$cur\"\n"
               "        ;;\n"_s;
    case CCtlCommand::Completion::PcThenGenerator:
        return u"\n        # PC files first; the generator folder last.\n"
               "        COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "        [[ $arg -ge 1 ]] && _vq8ctl_generator_paths \"$cur\"\n"
               "        ;;\n"_s;
    case CCtlCommand::Completion::GeneratorThenPc:
        return u"\n        # Generator paths first; the PC target last.\n"
               "        if [[ $arg -ge 1 ]]; then\n"
               "            COMPREPLY=($(compgen -f -- \"$cur\"))\n"
               "        fi\n"
               "        [[ $cur != /* || $cur == /F0:* ]] && _vq8ctl_generator_paths \"$cur\"\n"
               "        ;;\n"_s;
    case CCtlCommand::Completion::Generator:
        break;
    }
    return QString();
}

} // namespace

QString CCtlCompletion::Script()
{
    QStringList plainValues;
    QStringList fileValues;
    QStringList values;
    for (const CCtlOption* option : CCtlArgs::KnownOptions()) {
        if (!option->TakesValue())
            continue;
        values.append(option->LongForm());
        (option->pathValue ? fileValues : plainValues).append(option->LongForm());
    }
    // Commands grouped by what their arguments complete, in the registry's order.
    QMap<int, QStringList> byKind;
    QString own;
    for (const auto& command : CCtlRegistry::All()) {
        const CCtlCommand::Description& info = command->Describe();
        byKind[int(info.completion)].append(info.name);
        const QStringList options = CCtlArgs::CommandOptions(info.name);
        if (!options.isEmpty())
            own += u"        %1) own=\"%2\" ;;\n"_s.arg(info.name, options.join(u' '));
    }
    QString arguments;
    for (const CCtlCommand::Completion kind :
         {CCtlCommand::Completion::Command, CCtlCommand::Completion::None,
          CCtlCommand::Completion::PcOrGenerator, CCtlCommand::Completion::PcThenGenerator,
          CCtlCommand::Completion::GeneratorThenPc}) {
        if (byKind.contains(int(kind)))
            arguments += u"    "_s + byKind.value(int(kind)).join(u" | "_s) + u')' + ArgumentBranch(kind);
    }
    QString script = TEMPLATE;
    script.replace(u"@COMMON@"_s, CCtlArgs::CommonOptions().join(u' '));
    script.replace(u"@COMMANDS@"_s, CCtlArgs::Commands().join(u' '));
    script.replace(u"@PLAIN_VALUES@"_s, plainValues.join(u" | "_s));
    script.replace(u"@FILE_VALUES@"_s, fileValues.join(u" | "_s));
    script.replace(u"@VALUES@"_s, values.join(u" | "_s));
    script.replace(u"@OWN@"_s, own);
    script.replace(u"@ARGUMENTS@"_s, arguments);
    return script;
}
