#pragma once
// The users who may call the server and their passwords, kept in a text file
// (mode 0600) beside the database:
//
//   @secret<TAB>64 hex digits           signs the session tokens
//   NAME<TAB>$argon2id$...[<TAB>ROLES]   one line per user
//
// ROLES is "papel:IDIOMA,..." or "-" (Roles.h); a line without it is a user
// of a file written before roles, who keeps what every user could do then.
//
// Passwords are stored only as Argon2id hashes (libsodium). A login gives a
// session token that names the user and its expiry, signed with the secret and
// the user's current hash: removing the user or resetting the password ends
// every session of that user at once, and several servers sharing the file
// accept each other's tokens.
#include "Roles.h"

#include <chrono>
#include <cstdint>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>
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
    // Without grants the line is written without roles: the user holds what
    // every user held before roles (administrador of every language).
    void add(const std::string& name, const std::string& password, const std::optional<Grants>& grants = {});
    void remove(const std::string& name);
    void resetPassword(const std::string& name, const std::string& password);
    // Roles: grant replaces the role the user had on the language, revoke
    // takes it away. Both answer the user's roles after the change and throw
    // std::invalid_argument for an unknown user. Open sessions keep going
    // with the new roles: a token names its user, not their roles.
    Grants grant(const std::string& name, const std::string& language, Role role);
    Grants revoke(const std::string& name, const std::string& language);
    // Every user with their roles, by name.
    std::vector<std::pair<std::string, Grants>> usersWithRoles();

    // Serving. Checking a password is costly on purpose (Argon2id): the
    // server runs it on threads of its own (LoginGate), in three steps.
    // hashOf() gives the stored hash of a user (nothing for an unknown name),
    // matches() checks a password against a hash, issue() signs a token valid
    // for `lifetime`. user() returns whose token it is, or nothing when it is
    // forged, expired, or its user was removed or reset. All of them see
    // changes made to the file by the subcommands while serving.
    std::optional<std::string> hashOf(const std::string& name);
    static bool matches(const std::string& hash, const std::string& password);
    std::string issue(const std::string& name, const std::string& hash, std::chrono::seconds lifetime);
    std::optional<std::string> user(const std::string& token);
    // The same with the user's roles as the file holds them now: a grant or a
    // revoke reaches the user's next call.
    struct SessionUser {
        std::string name;
        Grants grants;
    };
    std::optional<SessionUser> sessionUser(const std::string& token);
    // A hash made as the stored ones are, for a password no one knows.
    static std::string hashOfRandomPassword();

    // Whether the file has a user now (reread when it changed).
    bool hasUsers();

    // While serving, the file is looked at on every call: when it no longer
    // reads (a line broken by hand) or became readable or writable by other
    // users of the machine (its secret signs every token), hasUsers() and
    // user() throw ServerError (Unavailable) with a message that names no
    // file, the log says which file and why, and calls are refused until it
    // is mended. hashOf() then answers nothing. Off for the subcommands.
    void watchWhileServing();

    // Reads the file again now, whatever its time stamp says (the service's
    // reload, SIGHUP); answers how many users it has. A fault is handled as
    // one met by a call (above), and thrown.
    std::size_t reloadNow();

    static bool validName(const std::string& name);

private:
    void load();
    void reloadIfChanged();
    // reloadIfChanged(), then the fault found, if any, as a ServerError.
    void refreshServing();
    void save() const;
    std::string sign(const std::string& payload, const std::string& hash) const;

    std::string m_path;
    mutable std::mutex m_mutex;
    std::string m_secret; // 32 bytes
    struct Entry {
        std::string hash;
        Grants grants;
    };
    Entry& existing(const std::string& name);
    std::map<std::string, Entry> m_users;
    std::timespec m_loadedStamp{};
    bool m_serving = false;
    std::string m_fault; // for the log: what is wrong with the file now; empty when sound
};

} // namespace trd::server
