// The statements of VersionLog (VersionLog.h) that each back end's version
// log runs, declared once for both: this file is included inside the body of
// SqliteVersionLog and of PostgresVersionLog, so it has no include guard.
std::int64_t openBatch(const WriteOrigin& origin, const std::string& language, double now) override;
std::int64_t record(const std::string& language, std::int64_t row, std::optional<std::int64_t> previous,
                    ChangeType type, std::string_view statusBefore, std::string_view statusAfter,
                    const std::optional<std::string_view>& textBefore, double changed, double now) override;
void recordDeletedKey(std::int64_t version, const RowKey& key) override;
PruneCount prune(double before, std::int64_t limit) override;
