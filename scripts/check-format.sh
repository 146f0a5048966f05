#!/usr/bin/env bash
# Fails when a C++ file of the repository is not formatted as .clang-format
# says, naming the files and the command that formats them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup.sh --format
mapfile -t files < <(git ls-files '*.cpp' '*.h')
unformatted=()
for file in "${files[@]}"; do
    if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
        unformatted+=("$file")
    fi
done
if [ ${#unformatted[@]} -ne 0 ]; then
    printf 'not formatted: %s\n' "${unformatted[@]}" >&2
    echo "format them with: clang-format -i ${unformatted[*]}" >&2
    exit 1
fi
echo "all ${#files[@]} C++ files formatted"
