#!/usr/bin/env bash
# Installs the dependencies, makes a release build, puts the program into its own folder outside the
# build tree and starts it from there. That folder holds the book ACC.MDB: a rebuild, or a clean of
# the build folder, replaces the executable, data/ and HELP.html there and never touches ACC.MDB.
# The folder is "$XDG_DATA_HOME/Kelvaro股票记账软件" (~/.local/share/Kelvaro股票记账软件 by default),
# the folder the program also falls back to when its own folder cannot be written.
# With no display, the program runs under Xvfb when xvfb-run is present, else on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
# The folder first: without it there is nowhere to keep the book, and the build would be in vain.
home="${XDG_DATA_HOME:-$HOME/.local/share}/Kelvaro股票记账软件"
if ! mkdir -p "$home" 2>/dev/null || [ ! -w "$home" ]; then
    echo "无法创建或写入程序文件夹：$home" >&2
    echo "账本文件 ACC.MDB 放在这个文件夹中。请把 XDG_DATA_HOME 设为一个可以写入的文件夹后再运行，例如：" >&2
    echo "  XDG_DATA_HOME=/可写的/文件夹 bash scripts/run.sh" >&2
    exit 1
fi
bash scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DKELVARO_TESTS=OFF
cmake --build build/release -j"$(nproc)" --target kelvaro
# Each file is copied under a temporary name and renamed into place, so a copy of the program still
# running keeps its executable and an interrupted copy leaves no half file.
install_file() {
    cp "$1" "$home/.$2.new"
    mv -f "$home/.$2.new" "$home/$2"
}
install_file build/release/kelvaro kelvaro
install_file data/HELP.html HELP.html
rm -rf "$home/.data.new"
cp -r data "$home/.data.new"
rm -rf "$home/data"
mv "$home/.data.new" "$home/data"
# Only a folder without a book (in any letter case) gets one: the book that earlier versions of this
# script left in the build folder, else none, and the first start makes a new one from data/.
shopt -s nocaseglob nullglob
books=("$home"/acc.mdb)
shopt -u nocaseglob nullglob
if [ ${#books[@]} -eq 0 ] && [ -f build/release/ACC.MDB ]; then
    if [ -f build/release/ACC.MDB-wal ]; then
        install_file build/release/ACC.MDB-wal ACC.MDB-wal
    fi
    install_file build/release/ACC.MDB ACC.MDB
fi
echo "账本文件：$home/ACC.MDB"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    if command -v xvfb-run >/dev/null 2>&1; then
        exec xvfb-run -a -s "-screen 0 1280x800x24" "$home/kelvaro" "$@"
    fi
    export QT_QPA_PLATFORM=offscreen
fi
exec "$home/kelvaro" "$@"
