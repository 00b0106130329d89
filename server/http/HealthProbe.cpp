#include "HealthProbe.h"

namespace trd::server {

HealthReport HealthProbe::check()
{
    HealthReport report;
    std::string reason;
    bool answers = true;
    try {
        m_sessions.acquire()->ping();
    } catch (const StorageError& e) {
        answers = false;
        reason = e.userMessage();
        report.detail = e.what();
    } catch (const std::exception& e) {
        answers = false;
        reason = "O banco de dados do servidor não responde.";
        report.detail = e.what();
    }
    const StorageStatus status = m_backend.status();
    // Saves stopped for good (files lost, damage found) say what to do about
    // it, which a failed read of the same file cannot.
    if (reason.empty() || (!status.writable && !status.problem.empty()))
        reason = status.problem;
    report.ok = reason.empty();
    report.answers = answers;
    report.body = report.ok ? "OK" : reason;
    report.body += "\nbanco: ";
    report.body += answers ? "responde" : "não responde";
    report.body += "\ngravação: ";
    report.body += !status.writable ? "não aceita" : report.ok ? "aceita" : "em risco";
    if (status.freeBytes)
        report.body += "\nespaço livre: " + std::to_string(*status.freeBytes >> 20) + " MiB";
    report.body += "\nintegridade: ";
    report.body += status.damaged ? "páginas danificadas encontradas" : "sem falhas encontradas";
    report.body += '\n';
    return report;
}

} // namespace trd::server
