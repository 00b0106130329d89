#include "UnitId.h"

#include "HexDigit.h"

#include <openssl/evp.h>

#include <memory>

namespace trd::exchange {

namespace {

constexpr char Hex[] = "0123456789abcdef";

UnitKey digest(std::initializer_list<std::string_view> parts)
{
    // One context per thread, reset for each digest: a whole language is
    // 200,000 of them.
    thread_local const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    EVP_DigestInit_ex(ctx.get(), EVP_sha1(), nullptr);
    bool first = true;
    for (std::string_view part : parts) {
        // A separator that no text holds (control characters other than tab
        // and line breaks are refused everywhere), so "a"+"bc" differs from "ab"+"c".
        if (!first)
            EVP_DigestUpdate(ctx.get(), "\x1f", 1);
        EVP_DigestUpdate(ctx.get(), part.data(), part.size());
        first = false;
    }
    unsigned char full[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), full, &length);
    UnitKey key;
    std::copy(full, full + key.size(), key.begin());
    return key;
}

std::string text(char prefix, const UnitKey& key)
{
    std::string id(1 + 2 * key.size(), prefix);
    for (std::size_t i = 0; i < key.size(); ++i) {
        id[1 + 2 * i] = Hex[key[i] >> 4];
        id[2 + 2 * i] = Hex[key[i] & 15];
    }
    return id;
}

void appendEscaped(std::string& out, std::string_view value)
{
    for (char c : value) {
        if (c == '/' || c == '\\')
            out += '\\';
        out += c;
    }
}

} // namespace

UnitKey unitKey(std::string_view program, std::string_view component, std::string_view source)
{
    return digest({program, component, source});
}

std::string unitId(const UnitKey& key)
{
    return text('u', key);
}

std::string unitId(std::string_view program, std::string_view component, std::string_view source)
{
    return text('u', unitKey(program, component, source));
}

std::optional<UnitKey> keyOfId(std::string_view id)
{
    UnitKey key;
    if (id.size() != 1 + 2 * key.size() || id[0] != 'u')
        return std::nullopt;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const int hi = hexDigit(id[1 + 2 * i]), lo = hexDigit(id[2 + 2 * i]);
        if (hi < 0 || lo < 0)
            return std::nullopt;
        key[i] = static_cast<std::uint8_t>(hi << 4 | lo);
    }
    return key;
}

std::string groupId(std::string_view program)
{
    return text('p', digest({program}));
}

std::string poContext(std::string_view program, std::string_view component)
{
    std::string out;
    out.reserve(program.size() + component.size() + 1);
    appendEscaped(out, program);
    out += '/';
    appendEscaped(out, component);
    return out;
}

bool splitPoContext(std::string_view context, std::string& program, std::string& component)
{
    program.clear();
    component.clear();
    std::string* into = &program;
    for (std::size_t i = 0; i < context.size(); ++i) {
        const char c = context[i];
        if (c == '\\') {
            if (i + 1 >= context.size())
                return false;
            *into += context[++i];
        } else if (c == '/') {
            if (into == &component)
                return false;
            into = &component;
        } else {
            *into += c;
        }
    }
    return into == &component;
}

} // namespace trd::exchange
