# The build folder's lock, shared by scripts/run and scripts/test: one build at a time in a
# folder. Sourced, not run.
# shellcheck shell=bash

# Takes the lock of the build folder $1 on descriptor 9 for the rest of the script (or until 9 is
# closed), saying as $2 that it waits when another build holds it. Then removes the temporaries
# that a configure stopped or killed left: CMake writes each file it generates under the file's
# name, ".tmp" and five hex digits, in the folder or its CMakeFiles/, and renames it in place. A
# configure there runs only under this lock, so none is being written now. Only in a folder that
# CMake has configured, one with its CMakeCache.txt: elsewhere files of such names are someone
# else's. A first configure stopped before it wrote the cache leaves its few temporaries until a
# later one has written it; CMake never reads them.
lock_build_folder() {
    local folder=$1 command=$2 file
    mkdir -p "$folder"
    exec 9>"$folder/.build-lock"
    if ! flock -n 9; then
        echo "$command: waiting for another build in $folder/ to finish" >&2
        flock 9
    fi
    if [[ ! -f $folder/CMakeCache.txt || -L $folder/CMakeCache.txt ]]; then
        return 0
    fi
    for file in "$folder"/*.tmp????? "$folder"/CMakeFiles/*.tmp?????; do
        if [[ ${file##*/} =~ ^.+\.tmp[0-9a-f]{5}$ && -f $file && ! -L $file ]]; then
            rm -f -- "$file"
        fi
    done
}
