#include "ApertiumService.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <fcntl.h>
#include <signal.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace trd::test {

namespace {

constexpr const char* Program = "/usr/bin/apertium-apy";
constexpr const char* Modes = "/usr/share/apertium/modes";

int freePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), size) == 0
        && ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &size) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

// True once something answers HTTP on the port with the pairs.
bool listsPairs(int port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = false;
    if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        const char request[] = "GET /listPairs HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
        if (::send(s, request, sizeof request - 1, 0) > 0) {
            QByteArray answer;
            char buffer[4096];
            for (ssize_t n; (n = ::recv(s, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, n);
            ok = answer.contains("200") && answer.contains("\"por\"");
        }
    }
    ::close(s);
    return ok;
}

// Writes the nice of the process's autogroup and reads it back: false where
// the kernel has no autogroups (or they are off) or refused.
bool setAutogroupNice(qint64 pid, int nice)
{
    QFile file(QStringLiteral("/proc/%1/autogroup").arg(pid));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(nice)) <= 0)
        return false;
    file.close();
    return autogroupNice(pid) == nice;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.flush();
}

} // namespace

QString ApertiumService::idleGroupBase()
{
    const auto writable = [](const QString& folder) {
        return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
    };
    // cgroup v2: the root hands the cpu controller to its children.
    const QString unified = QStringLiteral("/sys/fs/cgroup");
    if (readAll(unified + QStringLiteral("/cgroup.subtree_control")).trimmed().split(' ').contains("cpu"))
        return writable(unified) ? unified : QString();
    for (const char* v1 : {"/sys/fs/cgroup/cpu", "/sys/fs/cgroup/cpu,cpuacct"}) {
        const QString folder = QString::fromLatin1(v1);
        if (QFile::exists(folder + QStringLiteral("/cpu.idle")) && writable(folder))
            return folder;
    }
    return {};
}

int autogroupNice(qint64 pid)
{
    // "/autogroup-42 nice 19"
    QFile file(QStringLiteral("/proc/%1/autogroup").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -100;
    const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
    bool ok = false;
    const int nice = parts.size() == 3 ? parts[2].toInt(&ok) : 0;
    return ok ? nice : -100;
}

ApertiumService::ApertiumService() = default;

ApertiumService::~ApertiumService()
{
    stop();
}

bool ApertiumService::installed()
{
    return QFile::exists(QString::fromLatin1(Program))
        && QFile::exists(QString::fromLatin1(Modes) + QStringLiteral("/pt-es.mode"))
        && QFile::exists(QString::fromLatin1(Modes) + QStringLiteral("/spa-eng.mode"));
}

bool ApertiumService::start(Scheduling scheduling)
{
    stop();
    m_port = freePort();
    m_process = std::make_unique<QProcess>();
    QByteArray procs; // the group's list of processes, which the child joins
    if (scheduling == Scheduling::IdleControlGroup) {
        const QString base = idleGroupBase();
        static int made = 0;
        m_group =
            base.isEmpty() ? QString() : QStringLiteral("%1/trd-engine-%2-%3").arg(base).arg(::getpid()).arg(++made);
        if (m_group.isEmpty() || !QDir().mkpath(m_group) || !writeText(m_group + QStringLiteral("/cpu.idle"), "1")) {
            m_error = QStringLiteral("apertium-apy: nenhum grupo de controle ocioso (cpu.idle) pôde ser criado");
            stop();
            return false;
        }
        procs = QFile::encodeName(m_group + QStringLiteral("/cgroup.procs"));
    }
    const cpu_set_t processors = processorSet();
    const bool pinned = CPU_COUNT(&processors) > 0;
    if (scheduling != Scheduling::Inherited || pinned)
        // In the child before exec: the service and all it forks are born
        // idle and on the processors asked for. A refusal leaves it as
        // inherited, which the checks below see.
        m_process->setChildProcessModifier(
            [group = scheduling == Scheduling::IdleGroup, procs, scheduling, pinned, processors] {
                if (pinned)
                    ::sched_setaffinity(0, sizeof processors, &processors);
                if (scheduling == Scheduling::Inherited)
                    return;
                if (group)
                    ::setsid(); // a new session is a new autogroup, inherited by every pipeline
                if (!procs.isEmpty()) {
                    // "0" is the process that writes it; every pipeline forked later stays in.
                    const int fd = ::open(procs.constData(), O_WRONLY | O_CLOEXEC);
                    if (fd >= 0) {
                        [[maybe_unused]] const ssize_t ignored = ::write(fd, "0", 1);
                        ::close(fd);
                    }
                }
                const sched_param none{};
                ::sched_setscheduler(0, SCHED_IDLE, &none);
            });
    m_process->setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    m_process->setProcessEnvironment(env);
    m_process->start(QString::fromLatin1(Program),
                     {QStringLiteral("-p"), QString::number(m_port), QString::fromLatin1(Modes)});
    if (!m_process->waitForStarted(10000)) {
        m_error = QStringLiteral("apertium-apy não iniciou: ") + m_process->errorString();
        return false;
    }
    if (scheduling != Scheduling::Inherited
        && ::sched_getscheduler(static_cast<pid_t>(m_process->processId())) != SCHED_IDLE) {
        m_error = QStringLiteral("apertium-apy não ficou em escalonamento ocioso (SCHED_IDLE)");
        stop();
        return false;
    }
    if (pinned) {
        cpu_set_t got;
        CPU_ZERO(&got);
        if (::sched_getaffinity(static_cast<pid_t>(m_process->processId()), sizeof got, &got) != 0
            || !CPU_EQUAL(&got, &processors)) {
            m_error = QStringLiteral("apertium-apy não ficou nos processadores pedidos");
            stop();
            return false;
        }
    }
    if (scheduling == Scheduling::IdleGroup && !setAutogroupNice(m_process->processId(), 19)) {
        m_error = QStringLiteral("apertium-apy: o autogrupo da sua sessão não aceitou nice 19 (/proc/PID/autogroup)");
        stop();
        return false;
    }
    if (scheduling == Scheduling::IdleControlGroup
        && !readAll(QStringLiteral("/proc/%1/cgroup").arg(m_process->processId()))
                .contains(QFile::encodeName(QDir(m_group).dirName()))) {
        m_error = QStringLiteral("apertium-apy não entrou no grupo de controle ocioso ") + m_group;
        stop();
        return false;
    }
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        if (m_process->state() != QProcess::Running) {
            m_error = QStringLiteral("apertium-apy terminou: ") + QString::fromUtf8(m_process->readAll());
            return false;
        }
        if (listsPairs(m_port))
            return true;
        QThread::msleep(100);
    }
    m_error = QStringLiteral("apertium-apy não respondeu em 60 s: ") + QString::fromUtf8(m_process->readAll());
    return false;
}

void ApertiumService::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(10000);
    }
    m_process.reset();
    if (m_group.isEmpty())
        return;
    // The pipelines outlive the service by a moment; the group goes once they are gone.
    const QDeadlineTimer deadline(5000);
    while (!QDir().rmdir(m_group) && !deadline.hasExpired()) {
        for (const QByteArray& pid : readAll(m_group + QStringLiteral("/cgroup.procs")).split('\n'))
            if (pid.toInt() > 0)
                ::kill(pid.toInt(), SIGKILL);
        QThread::msleep(20);
    }
    m_group.clear();
}

QString ApertiumService::schedulingSummary() const
{
    if (!running())
        return QStringLiteral("not running");
    // The service and every process under it: its pipelines run one process
    // per stage, started when a pair is first asked for.
    std::vector<qint64> tree{m_process->processId()};
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (std::size_t at = 0; at < tree.size(); ++at)
        for (const QString& entry : entries) {
            bool number = false;
            const qint64 pid = entry.toLongLong(&number);
            if (!number)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            // "pid (name) state ppid ...": the name may hold blanks and parentheses.
            const QByteArray line = stat.readAll();
            const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
            if (rest.size() > 1 && rest[1].toLongLong() == tree[at])
                tree.push_back(pid);
        }
    // The policy is each thread's own.
    const cpu_set_t wanted = processorSet();
    int threads = 0, idle = 0, confined = 0;
    for (const qint64 pid : tree)
        for (const QString& task :
             QDir(QStringLiteral("/proc/%1/task").arg(pid)).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            const auto tid = static_cast<pid_t>(task.toLongLong());
            const int policy = ::sched_getscheduler(tid);
            cpu_set_t processors;
            if (policy < 0 || ::sched_getaffinity(tid, sizeof processors, &processors) != 0)
                continue; // ended meanwhile
            ++threads;
            idle += (policy & ~SCHED_RESET_ON_FORK) == SCHED_IDLE;
            confined += CPU_COUNT(&wanted) > 0 && CPU_EQUAL(&processors, &wanted);
        }
    // The autogroup of the service's own session; every pipeline forked later is in it.
    const QString ownGroup = !m_group.isEmpty()
        ? QStringLiteral(", a control group of its own with cpu.idle %1 (%2)")
              .arg(QString::fromLatin1(readAll(m_group + QStringLiteral("/cpu.idle")).trimmed()), m_group)
        : ::getsid(static_cast<pid_t>(m_process->processId())) == m_process->processId()
        ? QStringLiteral(", a session of its own, autogroup nice %1").arg(autogroupNice(m_process->processId()))
        : QStringLiteral(", in its caller's session");
    return QStringLiteral("%1 threads in %2 processes, %3 at idle scheduling%4%5")
        .arg(threads)
        .arg(tree.size())
        .arg(idle)
        .arg(ownGroup)
        .arg(confined ? QStringLiteral(", %1 of them on processors %2 only").arg(confined).arg(processorsText())
                      : QString());
}

cpu_set_t ApertiumService::processorSet() const
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu : m_processors)
        if (cpu >= 0 && cpu < CPU_SETSIZE)
            CPU_SET(cpu, &set);
    return set;
}

QString ApertiumService::processorsText() const
{
    QStringList cpus;
    for (int cpu : m_processors)
        cpus << QString::number(cpu);
    return cpus.isEmpty() ? QStringLiteral("any") : cpus.join(QLatin1Char(','));
}

bool ApertiumService::running() const
{
    return m_process && m_process->state() == QProcess::Running;
}

} // namespace trd::test
