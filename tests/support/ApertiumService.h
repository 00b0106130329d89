#pragma once
// Runs Debian's Apertium HTTP service (apertium-apy, with apertium-es-pt and
// apertium-eng-spa) for tests, on a free loopback port, ready once it lists
// its pairs. Tests that need it skip when the packages are not installed
// (tools/install-deps.sh installs them); stop() ends it as a crash would, to
// test what happens when the engine goes away.
#include <QString>

#include <sched.h>

#include <memory>
#include <vector>

class QProcess;

namespace trd::test {

// The nice of the process's autogroup (/proc/PID/autogroup); -100 where it
// cannot be read.
int autogroupNice(qint64 pid);

class ApertiumService {
public:
    ApertiumService();
    ~ApertiumService();
    ApertiumService(const ApertiumService&) = delete;
    ApertiumService& operator=(const ApertiumService&) = delete;

    // The packages are installed: the service and the pairs pt->es and es->en.
    static bool installed();
    // How the service and the pipelines it starts are scheduled.
    enum class Scheduling {
        Inherited, // as the caller runs
        Idle, // Linux's SCHED_IDLE, as `chrt --idle 0 apertium-apy ...` starts it
        // SCHED_IDLE in a session of its own whose autogroup is at nice 19:
        // the engine's processor time no longer counts against the group of
        // its caller, as a service's CPUWeight=idle gives it a control group
        // of its own marked idle.
        IdleGroup,
        // SCHED_IDLE in a control group of its own marked idle (the kernel's
        // cpu.idle): what a unit's CPUWeight=idle and CPUSchedulingPolicy=idle
        // give it. Unlike an autogroup at nice 19, an idle group gives the
        // processor up the moment a thread outside it wakes. Needs a writable
        // cpu controller (root, or a delegated tree): idleGroupAvailable().
        IdleControlGroup,
    };
    // Where IdleControlGroup can make its group: the cpu controller's folder
    // (cgroup v2's root when it hands the controller down, else v1's cpu
    // hierarchy), empty when there is none this process may write.
    static QString idleGroupBase();
    // Starts it; false (with errorString) when it did not come up.
    bool start(Scheduling scheduling = Scheduling::Inherited);
    // The processors the service and every pipeline it starts may run on
    // (as a unit's CPUAffinity= gives them), from the next start(); empty:
    // all of them.
    void setProcessors(std::vector<int> processors) { m_processors = std::move(processors); }
    // Those processors, "1,2,3"; "any" when there is no such limit.
    QString processorsText() const;
    void stop();
    bool running() const;
    // The threads of the service and of every process under it, and how
    // many of them run at SCHED_IDLE ("14 threads in 6 processes, 14 at idle
    // scheduling, autogroup nice 19"): what a pipeline started later inherited.
    QString schedulingSummary() const;
    int port() const { return m_port; }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }
    QString errorString() const { return m_error; }

private:
    cpu_set_t processorSet() const;

    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
    QString m_error;
    QString m_group; // the control group made for it, removed by stop()
    std::vector<int> m_processors;
};

} // namespace trd::test
