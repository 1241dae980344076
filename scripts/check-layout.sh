#!/usr/bin/env bash
# Checks that the include graph of src/ follows the libraries' dependency lists:
#   - a file in src/core/FOLDER includes only its own folder and the core folders that
#     src/core/FOLDER/CMakeLists.txt names after DEPENDS, and uses every folder named there;
#   - a core folder depends only on folders added before it in src/core/CMakeLists.txt, so that the
#     arrows point one way and no two folders depend on each other;
#   - no core file includes Qt, CLI11 or nlohmann's JSON (the build enforces Qt's absence too);
#   - src/ui and src/cli include the core and themselves, never each other;
#   - every quoted include is spelt from src/ ("core/pe/PeImage.h"), so that none slips past.
# Prints each breach and exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

failures=0
fail() {
    echo "layout: $*" >&2
    failures=$((failures + 1))
}

sources() { # the C++ files of a folder, one level only
    find "$1" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cpp.in' \) | sort
}

# The folders a set of files includes from, as "core/pe", "ui" or "cli", one per line.
included_folders() {
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$@" |
        sed -n 's#^\(core/[^/]*\)/.*#\1#p; s#^\(ui\|cli\)/.*#\1#p' | sort -u
}

for file in $(find src -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.cpp.in' \)); do
    while IFS= read -r header; do
        [[ $header =~ ^(core/[a-z]+|ui|cli)/ ]] || fail "$file includes \"$header\": spell it from src/"
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done

mapfile -t order < <(sed -n 's/^add_subdirectory(\([a-z]*\))/\1/p' src/core/CMakeLists.txt)
declare -A position
for i in "${!order[@]}"; do
    position[${order[$i]}]=$i
done
for folder in src/core/*/; do
    name=$(basename "$folder")
    [[ -n ${position[$name]+set} ]] || fail "src/core/$name is not added in src/core/CMakeLists.txt"
done

for name in "${order[@]}"; do
    folder=src/core/$name
    mapfile -t files < <(sources "$folder")
    # Everything between DEPENDS and the closing parenthesis, in every branch of the file.
    mapfile -t depends < <(tr '\n' ' ' < "$folder/CMakeLists.txt" | grep -o 'DEPENDS[^)]*' |
        grep -o 'quorvane_[a-z]*' | sed 's/^quorvane_//' | sort -u)
    mapfile -t used < <(included_folders "${files[@]}" | grep -v "^core/$name$" || true)
    for dep in "${depends[@]}"; do
        if [[ -z ${position[$dep]+set} ]]; then
            fail "$folder depends on quorvane_$dep, which is no core folder"
        elif ((position[$dep] >= position[$name])); then
            fail "$folder depends on $dep, which comes after it in src/core/CMakeLists.txt"
        fi
        printf '%s\n' "${used[@]}" | grep -qx "core/$dep" ||
            fail "$folder lists quorvane_$dep in DEPENDS but includes nothing from it"
    done
    for use in "${used[@]}"; do
        case $use in
        core/*)
            printf '%s\n' "${depends[@]}" | grep -qx "${use#core/}" ||
                fail "$folder includes from $use, which its DEPENDS does not list"
            ;;
        *) fail "$folder includes from $use: the core sees only the core" ;;
        esac
    done
    if grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*<\(Q\|CLI/\|nlohmann/\)' "${files[@]}"; then
        fail "$folder includes Qt, CLI11 or nlohmann's JSON"
    fi
done

for layer in ui cli; do
    mapfile -t files < <(sources "src/$layer")
    while IFS= read -r use; do
        [[ $use == core/* || $use == "$layer" ]] ||
            fail "src/$layer includes from $use: it may use the core and itself only"
    done < <(included_folders "${files[@]}")
done

if ((failures > 0)); then
    echo "layout: $failures problem(s); see the folder map in README.md" >&2
    exit 1
fi
echo "layout: ${#order[@]} core folders, ui and cli include only what they may"
