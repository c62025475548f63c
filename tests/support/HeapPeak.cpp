// Counting replacements of the global operator new and delete, for HeapPeak.
#include "tests/support/HeapPeak.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include <malloc.h>

namespace {

std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* allocate(std::size_t size)
{
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        return nullptr;
    const std::size_t usable = ::malloc_usable_size(block);
    const std::size_t live = g_live.fetch_add(usable) + usable;
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return block;
}

void release(void* block) noexcept
{
    if (block == nullptr)
        return;
    g_live.fetch_sub(::malloc_usable_size(block));
    std::free(block);
}

} // namespace

void* operator new(std::size_t size)
{
    if (void* block = allocate(size))
        return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return allocate(size);
}

void operator delete(void* block) noexcept
{
    release(block);
}

void operator delete[](void* block) noexcept
{
    release(block);
}

void operator delete(void* block, std::size_t) noexcept
{
    release(block);
}

void operator delete[](void* block, std::size_t) noexcept
{
    release(block);
}

void operator delete(void* block, const std::nothrow_t&) noexcept
{
    release(block);
}

void operator delete[](void* block, const std::nothrow_t&) noexcept
{
    release(block);
}

namespace veldo::testsupport {

HeapPeak::HeapPeak() : m_start(g_live.load())
{
    g_peak.store(m_start);
}

std::size_t HeapPeak::peakAboveStart() const
{
    const std::size_t peak = g_peak.load();
    return peak > m_start ? peak - m_start : 0;
}

} // namespace veldo::testsupport
