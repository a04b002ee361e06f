# shellcheck shell=bash
# Shell functions the developer scripts share (processes, servers, build trees); source it, do not
# run it.

# Stops the process whose id FILE holds (asked first, then forced after 5 s) and removes FILE.
stop_pidfile() {
    [ -f "$1" ] || return 0
    local pid
    pid=$(cat "$1")
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    rm -f "$1"
}

# Closes Quillodrome as a user would (its window is asked to close, so that it saves its
# settings) and waits up to 10 s for the Wine process PID to end; false, saying so as WHO, when
# it does not.
close_quillodrome() {
    "$WINE" taskkill /im Quillodrome.exe >/dev/null 2>&1 || true
    for _ in $(seq 1 100); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    echo "$2: Quillodrome did not close when asked" >&2
    return 1
}

# Starts a loopback server (the command after STATE) in the background with its output in
# STATE/server.log and its id in STATE/server.pid, and waits up to 10 s for it to write
# STATE/ports; false, saying so as WHO and stopping it, when it does not.
start_server() {
    local who=$1 state=$2
    shift 2
    rm -f "$state/ports"
    "$@" >"$state/server.log" 2>&1 &
    echo $! >"$state/server.pid"
    for _ in $(seq 1 100); do
        [ -f "$state/ports" ] && return 0
        kill -0 "$(cat "$state/server.pid")" 2>/dev/null || break
        sleep 0.1
    done
    echo "$who: the server did not start (see $state/server.log)" >&2
    stop_pidfile "$state/server.pid"
    return 1
}

# Configures the build tree DIR (Ninja; the further arguments go to CMake) from the source root,
# the current folder, keeping CMake's output in DIR-configure.log and showing it when
# configuring fails.
configure_tree() {
    local dir=$1
    shift
    mkdir -p "$(dirname "$dir")"
    cmake -S . -B "$dir" -G Ninja "$@" >"$dir-configure.log" 2>&1 || {
        cat "$dir-configure.log"
        return 1
    }
}

# The same for a Windows tree: the product and its Wine-run tests, cross-compiled by MinGW-w64.
configure_windows_tree() {
    local dir=$1
    shift
    configure_tree "$dir" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake "$@"
}
