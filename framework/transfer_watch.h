// TransferWatch: what a transfer running on a worker thread shares with the window that waits
// for it: how far it got, and the window's request to stop. No Windows header.
#pragma once

#include <atomic>
#include <cstdint>

namespace fw {

struct TransferWatch {
    std::atomic<uint64_t> nReceived{0}; // bytes so far
    std::atomic<uint64_t> nExpected{0}; // the announced length; 0 while unknown
    std::atomic<bool> bCancel{false};   // set by the window: the worker stops at its next read
    std::atomic<bool> bDone{false};     // set by the worker once it has finished, stopped or not
};

} // namespace fw
