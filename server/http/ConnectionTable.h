#pragma once
// The connections open now, counted per client address and in all, against
// --max-connections and --max-per-address. A connection waiting idle for its
// next request is listed as such (oldest first): when its address is at its
// limit, the one idle the longest gives its place to the newcomer, so one
// local program holding idle sockets cannot lock every other local client
// out until they time out.
//
// The counts outlive the event loop: connections count themselves out when
// destroyed, which may happen while the loop is torn down.
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace trd::server {

// What the table knows of a connection, whatever its stream.
class CountedConnection : public std::enable_shared_from_this<CountedConnection> {
public:
    explicit CountedConnection(std::string address) : m_address(std::move(address)) { }
    virtual ~CountedConnection() = default;
    CountedConnection(const CountedConnection&) = delete;
    CountedConnection& operator=(const CountedConnection&) = delete;

    // Closes the connection from its own executor: it gave its place away.
    virtual void evict() = 0;

    const std::string& address() const { return m_address; }

private:
    friend class ConnectionTable;
    const std::string m_address;
    bool m_counted = true; // still counts (an evicted one does not); under the table's mutex
    std::uint64_t m_idleKey = 0; // when it started waiting idle (0: it is not idle); likewise
};

class ConnectionTable {
public:
    ConnectionTable(int maxConnections, int maxPerAddress)
        : m_maxConnections(maxConnections), m_maxPerAddress(maxPerAddress)
    {
    }

    struct Admission {
        std::string refusal; // not empty: the connection is turned away with this
        std::shared_ptr<CountedConnection> evicted; // to evict() once the table is let go
    };
    // Counts a new connection of `address` in, or says why not.
    Admission admit(const std::string& address);
    // The connection is closed: it no longer counts, nor waits idle.
    void release(CountedConnection& connection);
    // Waiting for the first byte of its next request: it may be evicted.
    void markIdle(CountedConnection& connection);
    void markBusy(CountedConnection& connection);

    int total() const;
    int countOf(const std::string& address) const;
    int idleOf(const std::string& address) const;
    std::size_t addresses() const;

private:
    struct AddressConnections {
        int count = 0;
        std::map<std::uint64_t, std::weak_ptr<CountedConnection>> idle; // oldest idle first
    };

    const int m_maxConnections;
    const int m_maxPerAddress;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, AddressConnections> m_perAddress;
    int m_total = 0;
    std::uint64_t m_idleSequence = 0;
};

} // namespace trd::server
