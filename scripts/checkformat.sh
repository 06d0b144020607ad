#!/usr/bin/env bash
# Checks that the C++ sources follow the project's .clang-format. With --fix, formats them.
# Checks every tracked C++ file, so what a change touched is always covered.
set -euo pipefail
cd "$(dirname "$0")/.."

if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.cpp' '*.h')
else
    mapfile -t files < <(find apps bench core modules src tests tools -name '*.cpp' -o -name '*.h' 2>/dev/null)
fi
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/fxengine-format.$$; then
    grep -E "^[^ ].*(warning|error):" /tmp/fxengine-format.$$ | cut -d: -f1 | sort -u | sed 's/^/needs clang-format: /'
    rm -f /tmp/fxengine-format.$$
    echo "run scripts/checkformat.sh --fix" >&2
    exit 1
fi
rm -f /tmp/fxengine-format.$$
