#include "TextPool.h"

#include <stdexcept>

char* TextPool::reserve(std::size_t size, Ref& ref)
{
    if (m_used + size > kBlock || m_blocks.empty()) {
        // A record larger than a block gets a block of its own; it is reached from its start.
        const std::size_t blockSize = size > kBlock ? size : kBlock;
        if (m_blocks.size() >= (std::size_t(1) << (32 - kShift)))
            throw std::length_error("the texts of the log do not fit in memory (more than 4 GiB)");
        m_blocks.emplace_back(new char[blockSize]);
        m_used = size > kBlock ? kBlock : 0;
        ref = Ref((m_blocks.size() - 1) << kShift);
        if (size > kBlock)
            return m_blocks.back().get();
    } else {
        ref = Ref(((m_blocks.size() - 1) << kShift) | m_used);
    }
    char* out = m_blocks.back().get() + m_used;
    m_used += size;
    return out;
}

void TextPool::clear()
{
    m_blocks.clear();
    m_used = kBlock;
}
