#include "ServiceMetrics.h"

#include <cstdio>

namespace trd::server {

namespace {

void family(std::string& out, const char* name, const char* type, const char* help, double value)
{
    char line[64];
    std::snprintf(line, sizeof line, "%.17g", value);
    out +=
        std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " " + line + "\n";
}

} // namespace

std::string serviceMetrics(ServerContext& context, const std::function<BackupFigures()>& backups)
{
    std::string out;
    const WriteCoordinator::Stats writes = context.writer().stats();
    family(out, "trd_saves_total", "counter", "Saves handed to the writer (one per call that writes).",
           static_cast<double>(writes.deltas));
    family(out, "trd_save_transactions_total", "counter", "Transactions the writer committed saves in, together.",
           static_cast<double>(writes.batches));
    family(out, "trd_saves_waiting", "gauge", "Saves queued behind the transaction being written.",
           static_cast<double>(writes.waiting));
    const memory::TranslationMemory::Figures memory = context.memory().figures();
    family(out, "trd_memory_index_ready", "gauge", "1 once the translation memory's index is built.",
           memory.ready ? 1 : 0);
    family(out, "trd_memory_index_rows", "gauge", "Rows in the translation memory's index.",
           static_cast<double>(memory.rows));
    family(out, "trd_memory_index_bytes", "gauge", "Memory the translation memory's index holds.",
           static_cast<double>(memory.usage.texts + memory.usage.structure));
    const StorageStatus status = context.backend().status();
    if (status.databaseBytes)
        family(out, "trd_database_bytes", "gauge", "Size of the database's files on disk (with its WAL).",
               static_cast<double>(*status.databaseBytes));
    if (status.freeBytes)
        family(out, "trd_database_free_bytes", "gauge", "Free space on the disk the database writes to.",
               static_cast<double>(*status.freeBytes));
    family(out, "trd_database_writable", "gauge", "1 while saves are accepted.", status.writable ? 1 : 0);
    if (status.lastCheckMs > 0) {
        family(out, "trd_integrity_check_timestamp_seconds", "gauge", "When the last integrity check ended.",
               static_cast<double>(status.lastCheckMs) / 1000);
        family(out, "trd_integrity_check_ok", "gauge", "1 when the last integrity check found the database sound.",
               status.lastCheckOk && !status.damaged ? 1 : 0);
    }
    if (backups) {
        const BackupFigures figures = backups();
        family(out, "trd_backup_last_timestamp_seconds", "gauge",
               "When the last scheduled backup was written and checked (0: none yet).",
               static_cast<double>(figures.lastMs) / 1000);
        family(out, "trd_backup_last_ok", "gauge", "1 when the last scheduled backup succeeded.",
               figures.lastOk ? 1 : 0);
        family(out, "trd_backup_copies", "gauge", "Scheduled backups kept now.", static_cast<double>(figures.kept));
    }
    return out;
}

} // namespace trd::server
