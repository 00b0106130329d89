#include "ReleaseProgress.h"

#include "ServerError.h"

namespace trd::server::release {

const char* phaseName(ApplyPhase phase)
{
    switch (phase) {
    case ApplyPhase::Waiting:
        return "aguardando";
    case ApplyPhase::Reading:
        return "lendo";
    case ApplyPhase::Writing:
        return "gravando";
    case ApplyPhase::Committing:
        return "confirmando";
    case ApplyPhase::Done:
        return "aplicada";
    case ApplyPhase::Cancelled:
        return "cancelada";
    case ApplyPhase::Failed:
        return "falhou";
    }
    return "";
}

void ReleaseProgress::refuseCancelled()
{
    throw ServerError(ErrorKind::Conflict, "A aplicação da liberação foi cancelada: nada foi aplicado.");
}

void ReleaseProgress::step(ApplyPhase phase, const std::string& language, std::size_t index, std::size_t total)
{
    ApplySnapshot now;
    {
        const std::lock_guard lock(m_mutex);
        if (m_state.cancelAsked)
            refuseCancelled();
        m_state.phase = phase;
        m_state.language = language;
        m_state.languagesDone = index;
        m_state.languages = total;
        now = m_state;
    }
    if (onStep)
        onStep(now);
}

void ReleaseProgress::committing()
{
    const std::lock_guard lock(m_mutex);
    if (m_state.cancelAsked)
        refuseCancelled();
    m_state.phase = ApplyPhase::Committing;
    m_state.languagesDone = m_state.languages;
    m_state.language.clear();
}

void ReleaseProgress::finished(bool written)
{
    const std::lock_guard lock(m_mutex);
    m_state.phase = written ? ApplyPhase::Done : m_state.cancelAsked ? ApplyPhase::Cancelled : ApplyPhase::Failed;
    m_state.language.clear();
}

bool ReleaseProgress::cancel()
{
    const std::lock_guard lock(m_mutex);
    switch (m_state.phase) {
    case ApplyPhase::Waiting:
    case ApplyPhase::Reading:
    case ApplyPhase::Writing:
        m_state.cancelAsked = true;
        return true;
    case ApplyPhase::Cancelled:
        return true;
    default:
        return false;
    }
}

ApplySnapshot ReleaseProgress::snapshot() const
{
    const std::lock_guard lock(m_mutex);
    return m_state;
}

std::shared_ptr<ReleaseProgress> ReleaseJobs::start(const std::string& token, const std::string& user)
{
    const std::lock_guard lock(m_mutex);
    const auto now = std::chrono::steady_clock::now();
    std::erase_if(m_jobs, [&](const auto& item) {
        const ApplyPhase p = item.second.progress->snapshot().phase;
        const bool ended = p == ApplyPhase::Done || p == ApplyPhase::Cancelled || p == ApplyPhase::Failed;
        return ended && now - item.second.started > Kept;
    });
    if (const auto it = m_jobs.find(token); it != m_jobs.end()) {
        const ApplyPhase p = it->second.progress->snapshot().phase;
        if (p != ApplyPhase::Done && p != ApplyPhase::Cancelled && p != ApplyPhase::Failed)
            badArgument("Já há uma aplicação de liberação em curso com a identificação \"" + token + "\".");
    }
    auto progress = std::make_shared<ReleaseProgress>();
    m_jobs[token] = Job{user, progress, now};
    return progress;
}

std::shared_ptr<ReleaseProgress> ReleaseJobs::find(const std::string& token, const std::string& user) const
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_jobs.find(token);
    // Another user's apply is not theirs to follow or cancel: as if it did not exist.
    if (it == m_jobs.end() || it->second.user != user)
        return nullptr;
    return it->second.progress;
}

} // namespace trd::server::release
