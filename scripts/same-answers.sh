#!/usr/bin/env bash
# Runs the Linux quorvane-cli and quorvane-cli.exe (under Wine) over the same PE files and fails
# when their answers differ: imports, exports, deep and check (plain and --json), the imported
# functions and every export (also --demangle), tree and report, each by standard output, standard
# error and exit status, paths aside (the system folder's two spellings, and the separator each
# system joins paths with, are made one). The files: the project's sample and packager programs
# (C++ DLLs with names of both schemes among them), the fuzz corpora's malformed files, a program
# whose folder and name need UTF-16, and every DLL of the Wine prefix's system32. How many of the
# system DLLs' C++ names both read alike is counted, not required: Wine's dbghelp misreads some.
#
#   scripts/same-answers.sh [LINUX_BUILD [WINDOWS_BUILD]]    default: build/release build/windows
#
# Both builds must be built with their tests (the packager programs come from the Linux build).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
linux_build=$(cd "${1:-build/release}" && pwd)
windows_build=$(cd "${2:-build/windows}" && pwd)
linux_cli=$linux_build/src/cli/quorvane-cli
windows_cli=$windows_build/src/cli/quorvane-cli.exe
wine=$root/cmake/toolchains/wine-run.sh
prefix=$windows_build/wine-prefix
for f in "$linux_cli" "$windows_cli" "$linux_build/tools/quorvane_make_sample"; do
    [[ -x $f ]] || { echo "same-answers: $f is not built" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Wine reads its arguments and file names as UTF-8 only under a UTF-8 locale.
export LC_ALL=C.UTF-8
# Both look for the system folder in the same Wine prefix: the Linux build through $WINEPREFIX,
# the Windows build through GetSystemDirectoryW, which Wine answers with that prefix's system32.
unset QUORVANE_SYSTEM_DIR
export WINEPREFIX=$prefix
"$wine" "$prefix" cmd /c exit 0 # makes the prefix, once
system32=$prefix/drive_c/windows/system32

# The files in one folder, the outputs in another, so that report sees only the files.
results=$work/results
mkdir "$results" "$work/files"
cd "$work/files"
mkdir samples fixtures corpus "Ünïcödé 名前"
"$linux_build/tools/quorvane_make_sample" samples >/dev/null
fixtures=$linux_build/tests/core/packager/fixtures
if [[ -f $fixtures/READY ]]; then
    cp -r "$fixtures"/app64 "$fixtures"/deps64 "$fixtures"/wrong32 "$fixtures"/app32 \
        "$fixtures"/functions fixtures/
fi
# The malformed-file suite and what the fuzzer found over the import table, and what it found
# over the export table (its seeds are the same suite's).
cp -r "$root/fuzz/corpus/fuzz_imports" corpus/
mkdir corpus/fuzz_exports
find "$root/fuzz/corpus/fuzz_exports" -type f -regextype posix-extended \
    -regex '.*/[0-9a-f]{40}' -exec cp {} corpus/fuzz_exports/ \;
cp samples/sample.exe "Ünïcödé 名前/Sample ☃.EXE"
cp samples/sample64.dll "Ünïcödé 名前/"

# Relative paths, so that both print the same names for the same files.
mapfile -t project < <(find samples fixtures corpus "Ünïcödé 名前" -type f | LC_ALL=C sort)
# The system DLLs are named from the prefix's windows folder: a link to them here would be a plain
# folder to Windows programs under Wine, and report would walk into it.
mapfile -t system < <(cd "$system32" && find . -maxdepth 1 -type f -iname '*.dll' | LC_ALL=C sort |
    sed 's|^\./|system32/|')
declare -A set_folder=([project]=$work/files [system]=$prefix/drive_c/windows [folders]=$work/files)
((${#system[@]} > 100)) || { echo "same-answers: the prefix has no system32 DLLs" >&2; exit 2; }

# The outputs of one run: standard output, standard error and the exit status, with Windows' CR
# LF line ends made LF and the system folder's two spellings made one.
# For tree, whose paths are joined by each system with its own separator, that separator too.
normalise() { # normalise plain|json|paths|json-paths
    local expressions=(-e 's/\r$//')
    for folder in system32 syswow64; do
        expressions+=(-e "s|C:\\\\\\\\windows\\\\\\\\$folder|{$folder}|g"
            -e "s|C:\\\\windows\\\\$folder|{$folder}|g"
            -e "s|$prefix/drive_c/windows/$folder|{$folder}|g")
    done
    case $1 in
    paths) expressions+=(-e 's|\\|/|g') ;;
    json-paths) expressions+=(-e 's|\\\\|/|g') ;;
    esac
    sed "${expressions[@]}"
}
# Windows takes a command line of at most 32,767 characters: the files go in chunks that fit in
# 30,000, each run's exit status after its output.
folders=(.)
declare -A chunks
for set in project system folders; do
    declare -n set_files=$set
    first=0 length=0 bounds=""
    for ((i = 0; i < ${#set_files[@]}; i++)); do
        if ((length + ${#set_files[i]} + 3 > 30000)); then
            bounds+=" $first:$((i - first))"
            first=$i length=0
        fi
        length=$((length + ${#set_files[i]} + 3))
    done
    chunks[$set]="$bounds $first:$((${#set_files[@]} - first))"
done
run() { # run NAME linux|windows plain|json|paths|json-paths SET ARGS...
    local name=$1 side=$2 form=$3 set=$4 bound
    declare -n set_files=$set
    shift 4
    : >"$name.$side.out"
    : >"$name.$side.err"
    for bound in ${chunks[$set]}; do
        local status=0 files=("${set_files[@]:${bound%:*}:${bound#*:}}")
        cd "${set_folder[$set]}"
        if [[ $side == linux ]]; then
            "$linux_cli" "$@" "${files[@]}" >>"$name.$side.out" 2>>"$name.$side.err" || status=$?
        else
            windows_run "$name" "$@" "${files[@]}" || status=$?
        fi
        echo "exit status $status" >>"$name.$side.err"
    done
    for stream in out err; do
        normalise "$form" <"$name.$side.$stream" >"$name.$side.$stream.n"
    done
}

# Under a loaded machine Wine itself has crashed, rarely and not again on the same files, with
# "wine: Unhandled page fault": such a run is made once more, and said so. A crash of the
# program's own comes back on the same files, and then the answers differ.
windows_run() { # windows_run NAME ARGS...
    local name=$1 status=0
    shift
    "$wine" "$prefix" "$windows_cli" "$@" >"$name.chunk.out" 2>"$name.chunk.err" || status=$?
    if grep -aq '^wine: Unhandled' "$name.chunk.err"; then
        echo "same-answers: $(basename "$name"): $(grep -a '^wine: Unhandled' "$name.chunk.err" |
            head -n 1); running it once more" >&2
        status=0
        "$wine" "$prefix" "$windows_cli" "$@" >"$name.chunk.out" 2>"$name.chunk.err" || status=$?
    fi
    cat "$name.chunk.out" >>"$name.windows.out"
    cat "$name.chunk.err" >>"$name.windows.err"
    return "$status"
}

differing=0
compared=0
compare() { # compare NAME plain|json|paths|json-paths SET ARGS...
    local name=$1 form=$2 alike=true
    local path=$results/$name
    shift 2
    run "$path" linux "$form" "$@"
    run "$path" windows "$form" "$@"
    for stream in out err; do
        if ! cmp -s "$path.linux.$stream.n" "$path.windows.$stream.n"; then
            echo "same-answers: $name differs on standard $stream (< Linux, > Windows):" >&2
            diff "$path.linux.$stream.n" "$path.windows.$stream.n" | head -n 20 >&2 || true
            alike=false
        fi
    done
    compared=$((compared + 1))
    $alike || differing=$((differing + 1))
}

for command in imports exports deep check; do
    compare "project-$command" plain project "$command"
    compare "project-$command-json" json project "$command" --json
    compare "system-$command" plain system "$command"
done
compare project-check-deep plain project check --deep
for set in project system; do
    compare "$set-imports-functions" plain "$set" imports --functions
    compare "$set-exports-all" plain "$set" exports --all
done
compare project-imports-functions-json json project imports --functions --json --demangle
compare project-exports-all-json json project exports --all --json --demangle
compare project-exports-demangle plain project exports --demangle
compare tree paths project tree --search=fixtures/deps64 --search=fixtures/wrong32
# The missing entry points of programs run against old builds of their DLLs, C++ names readable.
compare tree-functions paths project tree --missing-only --demangle --search=fixtures/functions/old
compare tree-json json-paths project tree --json --search=fixtures/deps64
# report walks a folder itself: the paths it makes, also of names that need UTF-16.
compare report paths folders report --search=fixtures/deps64
compare report-json json-paths folders report --json

lines=$(cat "$results"/*.linux.out.n | wc -l)
echo "same-answers: $compared runs over ${#project[@]} project files and ${#system[@]} system DLLs" \
    "($lines lines of output): $((compared - differing)) alike, $differing differ"

# The Microsoft-scheme names that Wine's own DLLs export, read by LLVM on Linux and by dbghelp on
# Windows: counted only, as Wine's dbghelp misreads a few of them (see the README).
run "$results/system-exports-demangle" linux plain system exports --demangle
run "$results/system-exports-demangle" windows plain system exports --demangle
# The names as stored are those of the plain exports run, line for line.
read -r names alike < <(paste -d $'\x01' "$results"/system-exports.linux.out.n \
    "$results"/system-exports-demangle.{linux,windows}.out.n |
    awk -F $'\x01' '$1 ~ /^\t(\?|_Z|__Z)/ { names++; if ($2 == $3) alike++ }
                     END { print names + 0, alike + 0 }')
echo "same-answers: of the $names C++ names the system DLLs export, $alike read alike"
((differing == 0))
