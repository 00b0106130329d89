#pragma once
// How far a running apply of a release has got, and its cancel. The apply
// reports each step (a language read, planned, written) here; a cancel asked
// for before the apply reaches its commit makes the next step throw, so the
// transaction is rolled back and nothing of the release is written. From the
// moment the apply says it is committing, a cancel is refused: the release
// is then all written or, should the commit fail, not at all, never half.
// ReleaseJobs keeps the applies running on the server by the token their
// client chose, so that another call of the same user can follow or cancel
// one (docs/protocol.md, "Releases").
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace trd::server::release {

enum class ApplyPhase { Waiting, Reading, Writing, Committing, Done, Cancelled, Failed };

// The step names the progress method answers (STETAPA).
const char* phaseName(ApplyPhase phase);

struct ApplySnapshot {
    ApplyPhase phase = ApplyPhase::Waiting;
    std::string language; // the language being read or written
    std::size_t languagesDone = 0;
    std::size_t languages = 0;
    bool cancelAsked = false;
};

class ReleaseProgress {
public:
    // The apply is at `phase` of language `index` (0-based) of `total`.
    // Throws ServerError (Conflict) once a cancel was asked for.
    void step(ApplyPhase phase, const std::string& language, std::size_t index, std::size_t total);
    // The last check before the commit: throws when cancelled, and from
    // then on a cancel is refused.
    void committing();
    // The apply ended: written (true) or not.
    void finished(bool written);

    // True when the cancel will be honoured (the apply has not reached its commit).
    bool cancel();
    ApplySnapshot snapshot() const;

    // Told each step once it is recorded, on the apply's thread (a test
    // stops an apply at a chosen step with it).
    std::function<void(const ApplySnapshot&)> onStep;

private:
    [[noreturn]] static void refuseCancelled();

    mutable std::mutex m_mutex;
    ApplySnapshot m_state;
};

class ReleaseJobs {
public:
    // Registers an apply of `user` under `token`; a token in use by an apply
    // that runs is refused (BadArgument).
    std::shared_ptr<ReleaseProgress> start(const std::string& token, const std::string& user);
    // The apply of `user` under `token`, running or ended a short while ago; null when none.
    std::shared_ptr<ReleaseProgress> find(const std::string& token, const std::string& user) const;

    // How long an ended apply stays to be asked about.
    static constexpr std::chrono::seconds Kept{120};

private:
    struct Job {
        std::string user;
        std::shared_ptr<ReleaseProgress> progress;
        std::chrono::steady_clock::time_point started;
    };
    mutable std::mutex m_mutex;
    std::map<std::string, Job> m_jobs;
};

} // namespace trd::server::release
