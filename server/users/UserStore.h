#pragma once
// The users who may call the server and their passwords, kept in a text file
// (mode 0600) beside the database:
//
//   @secret<TAB>64 hex digits           signs the session tokens
//   NAME<TAB>$argon2id$...              one line per user
//
// Passwords are stored only as Argon2id hashes (libsodium). A login gives a
// session token that names the user and its expiry, signed with the secret and
// the user's current hash: removing the user or resetting the password ends
// every session of that user at once, and several servers sharing the file
// accept each other's tokens.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <vector>

namespace trd::server {

class UserStore {
public:
    // Reads the file when it exists; an absent file is an empty store.
    // Throws std::runtime_error on a file that cannot be read or is malformed.
    explicit UserStore(std::string path);

    const std::string& path() const { return m_path; }
    bool empty() const;
    std::vector<std::string> names() const;

    // Management (the trd-server user subcommands): each change is written at
    // once, through a temporary file renamed over the old one.
    void add(const std::string& name, const std::string& password);
    void remove(const std::string& name);
    void resetPassword(const std::string& name, const std::string& password);

    // Serving. login() returns a token valid for `lifetime`, or nothing when
    // the name or the password is wrong; user() returns whose token it is, or
    // nothing when it is forged, expired, or its user was removed or reset.
    // Both see changes made to the file by the subcommands while serving.
    std::optional<std::string> login(const std::string& name, const std::string& password,
                                     std::chrono::seconds lifetime);
    std::optional<std::string> user(const std::string& token);

    // Whether the file has a user now (reread when it changed).
    bool hasUsers();

    static bool validName(const std::string& name);

private:
    void load();
    void reloadIfChanged();
    void save() const;
    std::string sign(const std::string& payload, const std::string& hash) const;

    std::string m_path;
    mutable std::mutex m_mutex;
    std::string m_secret;                        // 32 bytes
    std::map<std::string, std::string> m_users;  // name -> hash
    std::timespec m_loadedStamp{};
    // Each check of a password takes 64 MiB for about a tenth of a second:
    // a flood of logins waits here rather than taking the machine's memory.
    std::counting_semaphore<16> m_hashGate{2};
};

} // namespace trd::server
