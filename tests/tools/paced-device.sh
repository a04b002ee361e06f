# shellcheck shell=bash
# Sourced by the latency benches: makes the Wine session STATE's default sound device one that
# takes samples at the real rate. ALSA's file plugin writes straight into a FIFO that
# paced_sink.py drains at 48 kHz, noting when it took each piece (RAW and RAW.times); not
# through a pipe to cat as the session's capture does, since a pipe's 64 KiB would hold a third
# of a second of sound before the sink saw it. Sets sink_pid to the sink's process.
#
#   start_paced_device ROOT STATE
start_paced_device() {
    local root=$1 state=$2
    rm -f "$state/sink.fifo" "$state/sink.raw" "$state/sink.raw.times"
    mkfifo "$state/sink.fifo"
    printf 'pcm.!default { type file slave.pcm "null" file "%s" format "raw" }\n' \
        "$state/sink.fifo" >"$state/home/.asoundrc"
    /usr/bin/python3 "$root/tests/tools/paced_sink.py" "$state/sink.fifo" "$state/sink.raw" &
    # shellcheck disable=SC2034 # read by the script that sources this
    sink_pid=$!
}
