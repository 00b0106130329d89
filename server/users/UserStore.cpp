#include "UserStore.h"

#include "Log.h"
#include "ServerError.h"

#include <sodium.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace trd::server {

namespace {

constexpr const char* SecretTag = "@secret";

std::string toHex(const unsigned char* data, std::size_t size)
{
    std::string hex(size * 2 + 1, '\0');
    sodium_bin2hex(hex.data(), hex.size(), data, size);
    hex.pop_back();
    return hex;
}

std::optional<std::string> fromHex(const std::string& hex)
{
    std::string bin(hex.size() / 2, '\0');
    std::size_t length = 0;
    if (hex.size() % 2 != 0
        || sodium_hex2bin(reinterpret_cast<unsigned char*>(bin.data()), bin.size(), hex.data(), hex.size(), nullptr,
                          &length, nullptr)
            != 0
        || length != bin.size())
        return std::nullopt;
    return bin;
}

void initSodium()
{
    if (sodium_init() < 0)
        throw std::runtime_error("libsodium não pôde ser iniciada");
}

std::timespec stampOf(const std::string& path)
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0)
        return {};
    return st.st_mtim;
}

bool sameStamp(const std::timespec& a, const std::timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// Argon2id with libsodium's interactive cost (64 MiB, about a tenth of a
// second). The hash carries its own salt and parameters.
std::string hashPassword(const std::string& password)
{
    if (password.empty())
        throw std::runtime_error("a senha não pode ser vazia");
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE)
        != 0)
        throw std::runtime_error("memória insuficiente para calcular o hash da senha");
    return out;
}

} // namespace

UserStore::UserStore(std::string path) : m_path(std::move(path))
{
    initSodium();
    load();
}

bool UserStore::validName(const std::string& name)
{
    if (name.empty() || name.size() > 64 || name.front() == '@' || name.front() == '#')
        return false;
    for (const char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_'
              || c == '-' || c == '@'))
            return false;
    return true;
}

void UserStore::load()
{
    m_users.clear();
    m_secret.clear();
    m_loadedStamp = stampOf(m_path);
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        if (::access(m_path.c_str(), F_OK) == 0)
            throw std::runtime_error("não foi possível ler o arquivo de usuários " + m_path);
        return;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line.front() == '#')
            continue;
        const auto tab = line.find('\t');
        const std::string name = line.substr(0, tab);
        const std::string value = tab == std::string::npos ? std::string() : line.substr(tab + 1);
        if (name == SecretTag) {
            const auto secret = fromHex(value);
            if (!secret || secret->size() != crypto_auth_hmacsha256_KEYBYTES)
                throw std::runtime_error(m_path + ", linha " + std::to_string(number) + ": segredo inválido");
            m_secret = *secret;
            continue;
        }
        const auto roles = value.find('\t');
        const std::string hash = value.substr(0, roles);
        if (!validName(name) || hash.rfind("$argon2id$", 0) != 0 || hash.size() >= crypto_pwhash_STRBYTES)
            throw std::runtime_error(m_path + ", linha " + std::to_string(number) + ": linha inválida");
        Entry& entry = m_users[name];
        entry.hash = hash;
        try {
            entry.grants =
                roles == std::string::npos ? Grants::everything(true) : Grants::parse(value.substr(roles + 1));
        } catch (const std::exception& e) {
            throw std::runtime_error(m_path + ", linha " + std::to_string(number) + ": " + e.what());
        }
    }
}

void UserStore::reloadIfChanged()
{
    if (!sameStamp(stampOf(m_path), m_loadedStamp))
        load();
}

void UserStore::watchWhileServing()
{
    std::lock_guard lock(m_mutex);
    m_serving = true;
}

void UserStore::refreshServing()
{
    std::string fault;
    struct stat st { };
    const bool present = ::stat(m_path.c_str(), &st) == 0;
    if (present && (st.st_mode & 0066) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        fault = "o arquivo de usuários " + m_path + " pode ser " + ((st.st_mode & 0044) ? "lido" : "alterado")
            + " por outros usuários deste computador (permissões " + mode + "); proteja-o com: chmod 600 " + m_path;
    } else if (!sameStamp(present ? st.st_mtim : std::timespec{}, m_loadedStamp) || !m_fault.empty()) {
        try {
            load();
        } catch (const std::exception& e) {
            // load() has emptied the store: without the fault below an empty
            // store on a loopback server would let everyone in.
            fault = e.what();
        }
    }
    if (fault != m_fault) {
        if (!fault.empty())
            logFormat(LogLevel::Error, "trd-server: %s: chamadas recusadas até que seja corrigido", fault.c_str());
        else
            logFormat(LogLevel::Info, "trd-server: o arquivo de usuários %s voltou a ser aceito", m_path.c_str());
        m_fault = fault;
    }
    if (!m_fault.empty())
        throw ServerError(ErrorKind::Unavailable,
                          "O servidor recusa as chamadas: o arquivo de usuários dele está com defeito ou desprotegido. "
                          "Avise o administrador do sistema.",
                          m_fault);
}

void UserStore::save() const
{
    std::string text = "# usuários do trd-server: nome, TAB, hash Argon2id da senha, TAB, papéis (papel:IDIOMA,...)\n";
    text += std::string(SecretTag) + '\t'
        + toHex(reinterpret_cast<const unsigned char*>(m_secret.data()), m_secret.size()) + '\n';
    for (const auto& [name, entry] : m_users) {
        text += name + '\t' + entry.hash;
        // A user who never had roles written keeps a line as it was before
        // roles: a server of the earlier version still reads such a file.
        if (!entry.grants.inherited())
            text += '\t' + entry.grants.format();
        text += '\n';
    }
    const std::string temp = m_path + ".novo";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        throw std::runtime_error("não foi possível gravar " + temp);
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && ::fsync(fd) == 0;
    ::close(fd);
    if (!written || std::rename(temp.c_str(), m_path.c_str()) != 0) {
        ::unlink(temp.c_str());
        throw std::runtime_error("não foi possível gravar " + m_path);
    }
}

bool UserStore::empty() const
{
    std::lock_guard lock(m_mutex);
    return m_users.empty();
}

std::size_t UserStore::reloadNow()
{
    std::lock_guard lock(m_mutex);
    m_loadedStamp = std::timespec{0, -1}; // no file has that stamp
    if (m_serving)
        refreshServing();
    else
        load();
    return m_users.size();
}

bool UserStore::hasUsers()
{
    std::lock_guard lock(m_mutex);
    if (m_serving)
        refreshServing();
    else
        reloadIfChanged();
    return !m_users.empty();
}

std::vector<std::string> UserStore::names() const
{
    std::lock_guard lock(m_mutex);
    std::vector<std::string> out;
    for (const auto& entry : m_users)
        out.push_back(entry.first);
    return out;
}

void UserStore::add(const std::string& name, const std::string& password, const std::optional<Grants>& grants)
{
    if (!validName(name))
        throw std::runtime_error("nome de usuário inválido: use até 64 letras, dígitos, '.', '_', '-' ou '@'");
    std::lock_guard lock(m_mutex);
    load();
    if (m_users.count(name))
        throw std::runtime_error("o usuário " + name + " já existe");
    if (m_secret.empty()) {
        m_secret.assign(crypto_auth_hmacsha256_KEYBYTES, '\0');
        randombytes_buf(m_secret.data(), m_secret.size());
    }
    Entry& entry = m_users[name];
    entry.hash = hashPassword(password);
    entry.grants = grants ? *grants : Grants::everything(true);
    save();
}

void UserStore::remove(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    load();
    if (!m_users.erase(name))
        throw std::runtime_error("o usuário " + name + " não existe");
    save();
}

void UserStore::resetPassword(const std::string& name, const std::string& password)
{
    std::lock_guard lock(m_mutex);
    load();
    auto it = m_users.find(name);
    if (it == m_users.end())
        throw std::runtime_error("o usuário " + name + " não existe");
    it->second.hash = hashPassword(password);
    save();
}

UserStore::Entry& UserStore::existing(const std::string& name)
{
    const auto it = m_users.find(name);
    if (it == m_users.end())
        throw std::invalid_argument("o usuário " + name + " não existe");
    return it->second;
}

Grants UserStore::grant(const std::string& name, const std::string& language, Role role)
{
    if (!Grants::validLanguage(language))
        throw std::invalid_argument("idioma inválido para um papel: \"" + language
                                    + "\" (use o código do idioma ou *)");
    std::lock_guard lock(m_mutex);
    load();
    Entry& entry = existing(name);
    entry.grants.grant(language, role);
    save();
    return entry.grants;
}

Grants UserStore::revoke(const std::string& name, const std::string& language)
{
    std::lock_guard lock(m_mutex);
    load();
    Entry& entry = existing(name);
    entry.grants.revoke(language);
    save();
    return entry.grants;
}

std::vector<std::pair<std::string, Grants>> UserStore::usersWithRoles()
{
    std::lock_guard lock(m_mutex);
    if (m_serving)
        refreshServing();
    else
        reloadIfChanged();
    std::vector<std::pair<std::string, Grants>> out;
    for (const auto& [name, entry] : m_users)
        out.emplace_back(name, entry.grants);
    return out;
}

std::string UserStore::sign(const std::string& payload, const std::string& hash) const
{
    const std::string message = payload + '\n' + hash;
    unsigned char mac[crypto_auth_hmacsha256_BYTES];
    crypto_auth_hmacsha256(mac, reinterpret_cast<const unsigned char*>(message.data()), message.size(),
                           reinterpret_cast<const unsigned char*>(m_secret.data()));
    return toHex(mac, sizeof mac);
}

std::optional<std::string> UserStore::hashOf(const std::string& name)
{
    std::lock_guard lock(m_mutex);
    if (m_serving) {
        // Called on the log-in threads, where nothing may be thrown; the
        // call itself was refused before it got there.
        try {
            refreshServing();
        } catch (const ServerError&) {
            return std::nullopt;
        }
    } else {
        reloadIfChanged();
    }
    const auto it = m_users.find(name);
    if (it == m_users.end())
        return std::nullopt;
    return it->second.hash;
}

bool UserStore::matches(const std::string& hash, const std::string& password)
{
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

std::string UserStore::hashOfRandomPassword()
{
    initSodium();
    unsigned char random[24];
    randombytes_buf(random, sizeof random);
    return hashPassword(toHex(random, sizeof random));
}

std::string UserStore::issue(const std::string& name, const std::string& hash, std::chrono::seconds lifetime)
{
    const auto expiry =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch() + lifetime)
            .count();
    const std::string payload = name + '\n' + std::to_string(expiry);
    std::lock_guard lock(m_mutex);
    return toHex(reinterpret_cast<const unsigned char*>(payload.data()), payload.size()) + '.' + sign(payload, hash);
}

std::optional<std::string> UserStore::user(const std::string& token)
{
    if (auto session = sessionUser(token))
        return std::move(session->name);
    return std::nullopt;
}

std::optional<UserStore::SessionUser> UserStore::sessionUser(const std::string& token)
{
    const auto dot = token.find('.');
    if (dot == std::string::npos || token.size() > 512)
        return std::nullopt;
    const auto payload = fromHex(token.substr(0, dot));
    if (!payload)
        return std::nullopt;
    const auto newline = payload->find('\n');
    if (newline == std::string::npos)
        return std::nullopt;
    const std::string name = payload->substr(0, newline);
    long long expiry = 0;
    try {
        expiry = std::stoll(payload->substr(newline + 1));
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
    if (expiry <= now)
        return std::nullopt;
    std::lock_guard lock(m_mutex);
    if (m_serving)
        refreshServing();
    else
        reloadIfChanged();
    const auto it = m_users.find(name);
    if (it == m_users.end())
        return std::nullopt;
    const std::string expected = sign(*payload, it->second.hash);
    const std::string given = token.substr(dot + 1);
    if (given.size() != expected.size() || sodium_memcmp(given.data(), expected.data(), given.size()) != 0)
        return std::nullopt;
    return SessionUser{name, it->second.grants};
}

} // namespace trd::server
