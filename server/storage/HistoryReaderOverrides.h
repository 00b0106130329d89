// The reads of HistoryReader (HistoryRecords.h) that each back end's reader
// answers with its own statements, declared once for both: this file is
// included inside the body of SqliteHistoryReader and of
// PostgresHistoryReader, so it has no include guard.
std::optional<CurrentRow> rowByKey(const std::string& language, const std::string& program,
                                   const std::string& component, const std::string& source) override;
std::optional<CurrentRow> rowById(std::int64_t id) override;
std::vector<VersionRecord> chain(std::int64_t newest, std::size_t limit, std::int64_t downTo) override;
std::optional<VersionRecord> version(std::int64_t id) override;
std::optional<BatchRecord> batch(std::int64_t id) override;
std::vector<BatchRecord> batches(const std::string& language, const DateBounds& dates) override;
std::vector<VersionRecord> batchVersions(const BatchRecord& batch) override;
std::optional<std::pair<std::int64_t, RowKey>> lastDeletion(std::int64_t row) override;
std::optional<std::int64_t> undoneBy(std::int64_t batch) override;
std::vector<std::pair<std::int64_t, std::int64_t>> undos(const std::string& language) override;
