#include "UnitId.h"

#include <QCryptographicHash>

namespace trd::exchange {

namespace {

std::string digest(char prefix, std::initializer_list<std::string_view> parts)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    bool first = true;
    for (std::string_view part : parts) {
        // A separator that no text holds (control characters other than tab
        // and line breaks are refused everywhere), so "a"+"bc" differs from "ab"+"c".
        if (!first)
            hash.addData(QByteArrayView("\x1f", 1));
        hash.addData(QByteArrayView(part.data(), static_cast<qsizetype>(part.size())));
        first = false;
    }
    const QByteArray hex = hash.result().toHex().left(20);
    std::string id(1, prefix);
    id.append(hex.constData(), static_cast<std::size_t>(hex.size()));
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

std::string unitId(std::string_view program, std::string_view component, std::string_view source)
{
    return digest('u', {program, component, source});
}

std::string groupId(std::string_view program)
{
    return digest('p', {program});
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
