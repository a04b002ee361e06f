#!/usr/bin/env bash
# Builds SoundTouch, the time-stretching library, for Windows from Debian's source package:
#
#   build-soundtouch.sh CACHE OUT TOOLCHAIN
#
# CACHE keeps a private apt configuration (a deb-src entry for the archive and suite the
# machine already installs from, with its own lists) and the unpacked sources; the machine's
# own apt sources and lists are never touched. OUT receives bin/libSoundTouchDLL.dll with its import
# library, the headers, and COPYING.TXT (the LGPL 2.1 text shipped beside the DLL). Does nothing
# when OUT already holds a build of the same source version. Needs no root.
set -euo pipefail

cache=$(mkdir -p "$1" && cd "$1" && pwd)
out=$(mkdir -p "$2" && cd "$2" && pwd)
toolchain=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
apt="$cache/apt"
mkdir -p "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/parts"

# The deb-src line: the first "deb" entry of the machine's sources that carries the main
# component, in either of apt's two formats, keeping its keyring.
/usr/bin/python3 - "$apt/sources.list" <<'PY'
import glob, re, sys

def one_line(path):
    for line in open(path, encoding="utf-8"):
        m = re.match(r"\s*deb\s+(\[[^\]]*\]\s+)?(\S+)\s+(\S+)\s+(.*)", line)
        if m and "main" in m.group(4).split():
            yield (m.group(1) or "").strip(), m.group(2), m.group(3)

def deb822(path):
    for stanza in re.split(r"\n\s*\n", open(path, encoding="utf-8").read()):
        fields = {}
        for line in stanza.splitlines():
            m = re.match(r"([A-Za-z-]+):\s*(.*)", line)
            if m:
                fields[m.group(1).lower()] = m.group(2).split()
        if "deb" in fields.get("types", []) and "main" in fields.get("components", []) \
                and fields.get("enabled", ["yes"])[0] != "no":
            opts = f"[signed-by={fields['signed-by'][0]}]" if fields.get("signed-by") else ""
            yield opts, fields["uris"][0], fields["suites"][0]

entries = []
for path in ["/etc/apt/sources.list"] + sorted(glob.glob("/etc/apt/sources.list.d/*.list")):
    try:
        entries += list(one_line(path))
    except OSError:
        pass
for path in sorted(glob.glob("/etc/apt/sources.list.d/*.sources")):
    entries += list(deb822(path))
if not entries:
    sys.exit("build-soundtouch: no Debian archive with the main component in the apt sources")
opts, uri, suite = entries[0]
open(sys.argv[1], "w").write(f"deb-src {opts + ' ' if opts else ''}{uri} {suite} main\n")
PY

aptopts=(
    -o "Dir::Etc::sourcelist=$apt/sources.list" -o "Dir::Etc::sourceparts=$apt/parts"
    -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
    -o Debug::NoLocking=1 -o APT::Sandbox::User="$(id -un)"
)

version() { cat "$1" 2>/dev/null || true; }
src=$(ls -d "$cache"/soundtouch-[0-9]*/ 2>/dev/null | head -n 1 || true)
if [ -z "$src" ]; then
    apt-get -q "${aptopts[@]}" update >"$cache/apt-update.log" 2>&1 ||
        { cat "$cache/apt-update.log" >&2; exit 1; }
    (cd "$cache" && apt-get -q "${aptopts[@]}" source --download-only soundtouch) \
        >"$cache/apt-source.log" 2>&1 || { cat "$cache/apt-source.log" >&2; exit 1; }
    dsc=$(ls "$cache"/soundtouch_*.dsc | head -n 1)
    # The archive's signed index already vouched for these files' hashes.
    (cd "$cache" && dpkg-source --no-check -x "$dsc") >"$cache/dpkg-source.log" 2>&1 ||
        { cat "$cache/dpkg-source.log" >&2; exit 1; }
    src=$(ls -d "$cache"/soundtouch-[0-9]*/ | head -n 1)
    basename "$dsc" .dsc >"$cache/version"
fi
src=${src%/}

if [ "$(version "$out/version")" = "$(version "$cache/version")" ] && [ -f "$out/bin/libSoundTouchDLL.dll" ]; then
    exit 0
fi
# The DLL carries its own copy of the C and C++ run-times, so nothing else ships beside it.
cmake -S "$src" -B "$out/work" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DSOUNDTOUCH_DLL=ON -DSOUNDSTRETCH=OFF -DBUILD_SHARED_LIBS=OFF -DOPENMP=OFF \
    -DCMAKE_SHARED_LINKER_FLAGS="-static -static-libgcc -static-libstdc++ -s" \
    -DCMAKE_INSTALL_PREFIX="$out" >"$out/configure.log" 2>&1 || { cat "$out/configure.log" >&2; exit 1; }
cmake --build "$out/work" -j "${QD_JOBS:-2}" >"$out/build.log" 2>&1 || { cat "$out/build.log" >&2; exit 1; }
cmake --install "$out/work" >"$out/install.log" 2>&1 || { cat "$out/install.log" >&2; exit 1; }
cp "$src/COPYING.TXT" "$out/COPYING.TXT"
cp "$cache/version" "$out/version"
