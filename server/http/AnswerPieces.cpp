#include "AnswerPieces.h"

#include <algorithm>
#include <chrono>

namespace trd::server {

bool ReaderWaits::take()
{
    if (now.fetch_add(1) < allowed)
        return true;
    --now;
    return false;
}

AnswerPieces::AnswerPieces(std::function<void()> wake, std::size_t limit, const std::atomic<bool>& stopping,
                           ReaderWaits& waits, MemoryBudget& budget)
    : m_wake(std::move(wake)), m_limit(limit), m_stopping(stopping), m_waits(waits), m_budget(budget)
{
}

AnswerPieces::~AnswerPieces()
{
    if (m_extra)
        m_budget.release(m_extra);
}

void AnswerPieces::send(std::string& bytes)
{
    const std::size_t capacity = bytes.capacity();
    std::string next;
    {
        std::unique_lock lock(m_mutex);
        if (!m_gone && m_queued >= m_limit && !m_stopping.load()) {
            if (m_waits.take()) {
                // Slices, so that a server stopping without sending what is
                // queued does not leave its worker waiting for good.
                while (!m_gone && m_queued >= m_limit && !m_stopping.load())
                    m_room.wait_for(lock, std::chrono::milliseconds(100));
                m_waits.give();
            } else if (m_budget.tryAcquire(bytes.size())) {
                m_extra += bytes.size();
            } else {
                m_gone = true;
            }
        }
        if (m_gone || m_stopping.load())
            throw AnswerAbandoned();
        m_queued += bytes.size();
        m_queue.push_back(std::move(bytes));
        if (!m_spare.empty()) {
            next = std::move(m_spare.back());
            m_spare.pop_back();
        }
    }
    next.clear();
    // Room for a whole piece at once: a buffer that grew row by row
    // would copy itself a few times over on the way.
    if (next.capacity() < capacity)
        next.reserve(capacity);
    bytes = std::move(next);
    m_wake();
}

const std::string* AnswerPieces::front()
{
    std::lock_guard lock(m_mutex);
    return m_queue.empty() ? nullptr : &m_queue.front();
}

std::size_t AnswerPieces::takeExtra(std::size_t bytes)
{
    const std::size_t back = std::min(bytes, m_extra);
    m_extra -= back;
    return back;
}

void AnswerPieces::done()
{
    std::size_t back = 0;
    {
        std::lock_guard lock(m_mutex);
        const std::size_t size = m_queue.front().size();
        m_queued -= size;
        // What went beyond the limit goes back to the budget first: the
        // queue is back within its own bound once the extra is out.
        back = takeExtra(size);
        if (m_spare.size() < 4)
            m_spare.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    // Outside the lock: a release may grant a waiting request its share.
    if (back)
        m_budget.release(back);
    m_room.notify_one();
}

void AnswerPieces::abandon()
{
    std::size_t back = 0;
    {
        std::lock_guard lock(m_mutex);
        m_gone = true;
        m_queue.clear();
        m_queued = 0;
        back = takeExtra(m_extra);
    }
    if (back)
        m_budget.release(back);
    m_room.notify_one();
}

} // namespace trd::server
