#include "SuggestionLane.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace trd::server {

SuggestionLane::SuggestionLane(Limits limits) : m_limits(limits)
{
    for (int i = 0; i < (m_limits.threads > 0 ? m_limits.threads : 1); ++i)
        m_threads.emplace_back([this] { work(); });
}

SuggestionLane::~SuggestionLane()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

bool SuggestionLane::submit(std::function<void(bool)> run)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_stop || m_queue.size() >= m_limits.queued)
            return false;
        m_queue.push_back(std::move(run));
    }
    m_wake.notify_one();
    return true;
}

void SuggestionLane::work()
{
    if (m_limits.name)
        ::pthread_setname_np(::pthread_self(), m_limits.name);
    // Saves, reads and /health go first: a suggestion is worth a moment's
    // wait, a save is not. Where idle scheduling is refused (a kernel
    // without it), nice 10 still orders them.
    const sched_param none{};
    if (!m_limits.idle || ::pthread_setschedparam(::pthread_self(), SCHED_IDLE, &none) != 0)
        ::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), 10);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_queue.empty())
            return;
        std::function<void(bool)> run = std::move(m_queue.front());
        m_queue.pop_front();
        const bool stopping = m_stop;
        lock.unlock();
        run(stopping);
        lock.lock();
    }
}

} // namespace trd::server
