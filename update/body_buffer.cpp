#include "update/body_buffer.h"

#include <cstdlib>
#include <cstring>

bool BodyBuffer::Reset() noexcept {
    Release();
    if (kInitialCapacity > m_nMaxCapacity)
        return false;
    // calloc hands out zeroed pages that cost no memory until they are written.
    m_p = static_cast<unsigned char*>(std::calloc(kInitialCapacity, 1));
    if (!m_p)
        return false;
    m_nCapacity = kInitialCapacity;
    return true;
}

void BodyBuffer::Release() noexcept {
    std::free(m_p);
    m_p = nullptr;
    m_nSize = 0;
    m_nCapacity = 0;
}

bool BodyBuffer::Reserve(size_t nMore) noexcept {
    if (!m_p && !Reset())
        return false;
    if (nMore > m_nMaxCapacity - m_nSize)
        return false;
    const size_t nNeeded = m_nSize + nMore;
    size_t nCapacity = m_nCapacity;
    while (nCapacity < nNeeded) {
        if (nCapacity > m_nMaxCapacity / 2)
            return false;
        nCapacity *= 2;
    }
    if (nCapacity == m_nCapacity)
        return true;
    auto* p = static_cast<unsigned char*>(std::calloc(nCapacity, 1));
    if (!p)
        return false;
    std::memcpy(p, m_p, m_nSize);
    std::free(m_p);
    m_p = p;
    m_nCapacity = nCapacity;
    return true;
}

bool BodyBuffer::Append(const void* p, size_t n) noexcept {
    if (!Reserve(n))
        return false;
    if (n)
        std::memcpy(m_p + m_nSize, p, n);
    m_nSize += n;
    return true;
}
