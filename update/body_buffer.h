// The received body of an HTTP response: a zero-filled byte buffer that starts at 10,240 bytes
// and doubles its capacity whenever the bytes received so far no longer fit.
//
// Growing never loses what was received: when a larger buffer cannot be had (memory exhausted,
// or the body would pass the capacity limit), the old buffer stays with everything it holds and
// the caller is told. The limit defaults to the largest size a 32-bit byte count can report.
#pragma once

#include <cstddef>
#include <cstdint>

class BodyBuffer {
public:
    static constexpr size_t kInitialCapacity = 10240;

    explicit BodyBuffer(size_t nMaxCapacity = UINT32_MAX) noexcept : m_nMaxCapacity(nMaxCapacity) {}
    ~BodyBuffer() { Release(); }
    BodyBuffer(const BodyBuffer&) = delete;
    BodyBuffer& operator=(const BodyBuffer&) = delete;

    // Releases any previous buffer and allocates a zero-filled one of the initial capacity.
    bool Reset() noexcept;
    void Release() noexcept;
    // A test build or a caller with little memory can lower the limit; Reset keeps it.
    void SetMaxCapacity(size_t n) noexcept { m_nMaxCapacity = n; }

    // Makes room for nMore further bytes after Size(), doubling the capacity as often as needed.
    // False leaves the buffer and its contents as they were.
    bool Reserve(size_t nMore) noexcept;
    // Counts n bytes written at Data() + Size() as received (n must fit the reserved room).
    void Commit(size_t n) noexcept { m_nSize += n; }
    // Copies n bytes in, growing first; false when it could not grow (nothing is copied then).
    bool Append(const void* p, size_t n) noexcept;

    unsigned char* Data() noexcept { return m_p; }
    const unsigned char* Data() const noexcept { return m_p; }
    size_t Size() const noexcept { return m_nSize; }
    size_t Capacity() const noexcept { return m_nCapacity; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

private:
    unsigned char* m_p = nullptr;
    size_t m_nSize = 0;
    size_t m_nCapacity = 0;
    size_t m_nMaxCapacity;
};
