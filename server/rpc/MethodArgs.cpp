#include "MethodArgs.h"

#include "DeltaReader.h"
#include "MethodTable.h"
#include "RpcError.h"
#include "Utf8Text.h"

#include <cmath>

namespace trd::server {

namespace {
// Beyond these day counts (years 1753 and 9999) a date is no calendar date.
constexpr double MinDay = -53690;
constexpr double MaxDay = 2958465;
} // namespace

MethodArgs::MethodArgs(MethodCall& call) : MethodArgs(call.method, call.params)
{
}

MethodArgs::MethodArgs(MethodCall& call, std::initializer_list<std::size_t> allowedCounts) : MethodArgs(call)
{
    expectCount(allowedCounts);
}

void MethodArgs::expectCount(std::initializer_list<std::size_t> allowed) const
{
    for (std::size_t n : allowed)
        if (n == m_params.size())
            return;
    std::string list;
    std::size_t i = 0;
    for (std::size_t n : allowed) {
        if (i++)
            list += i == allowed.size() ? " ou " : ", ";
        list += std::to_string(n);
    }
    invalidParams(std::string(m_method) + " recebe " + list + " argumento(s), mas recebeu "
                  + std::to_string(m_params.size()) + ".");
}

void MethodArgs::wrongType(std::size_t index, const char* name, const char* expected) const
{
    invalidParams(std::string(m_method) + ": o argumento " + std::to_string(index + 1) + " (" + name + ") deve ser "
                  + expected + ".");
}

std::string MethodArgs::text(std::size_t index, const char* name, std::size_t maxChars) const
{
    if (!at(index).isString())
        wrongType(index, name, "um texto");
    const std::string& value = at(index).string();
    if (!utf8::isWin1252(value) || utf8::hasForbiddenControl(value))
        invalidParams(std::string(m_method) + ": o argumento " + std::to_string(index + 1) + " (" + name
                      + ") contém um caractere que não existe no Windows-1252.");
    if (utf8::length(value) > maxChars)
        invalidParams(std::string(m_method) + ": o argumento " + std::to_string(index + 1) + " (" + name
                      + ") tem mais de " + std::to_string(maxChars) + " caracteres.");
    return value;
}

std::string MethodArgs::packet(std::size_t index, const char* name)
{
    if (!at(index).isString())
        wrongType(index, name, "um pacote de dados (texto XML)");
    return std::move(m_params[index].string());
}

std::string MethodArgs::language(std::size_t index) const
{
    return text(index, "idioma", fieldsize::Language);
}

double MethodArgs::date(std::size_t index, const char* name) const
{
    const JsonValue* value = &at(index);
    if (value->isObject()) {
        if (value->object().size() != 1 || !value->find("date"))
            wrongType(index, name, "uma data ({\"date\": dias desde 30/12/1899})");
        value = value->find("date");
    }
    if (!value->isNumber())
        wrongType(index, name, "uma data ({\"date\": dias desde 30/12/1899})");
    const double d = value->number();
    if (!std::isfinite(d) || d < MinDay || d > MaxDay)
        invalidParams(std::string(m_method) + ": o argumento " + std::to_string(index + 1) + " (" + name
                      + ") não é uma data válida.");
    return d;
}

std::string MethodArgs::status(std::size_t index, bool allowNothing) const
{
    if (!at(index).isString())
        wrongType(index, "situação", "um texto");
    const std::string& s = at(index).string();
    if (s == "T" || s == "D" || s == "N")
        return s;
    if (s == "X" && allowNothing)
        return {};
    std::string shown = utf8::isValid(s) ? std::string(utf8::left(s, 10)) : std::string("?");
    invalidParams("Situação inválida: \"" + shown + "\". Use T, D, N" + (allowNothing ? " ou X." : "."));
}

std::string MethodArgs::dateMode(std::size_t index) const
{
    if (!at(index).isString())
        wrongType(index, "modo de data", "um texto");
    const std::string& s = at(index).string();
    if (s.empty() || s == "N" || s == "T")
        return s;
    std::string shown = utf8::isValid(s) ? std::string(utf8::left(s, 10)) : std::string("?");
    invalidParams("Modo de data inválido: \"" + shown + "\". Use N, T ou vazio.");
}

std::int64_t MethodArgs::integer(std::size_t index, const char* name, std::int64_t min, std::int64_t max) const
{
    if (!at(index).isNumber())
        wrongType(index, name, "um número");
    const double n = at(index).number();
    if (!std::isfinite(n) || n != std::floor(n) || n < static_cast<double>(min) || n > static_cast<double>(max))
        invalidParams(std::string(m_method) + ": o argumento " + std::to_string(index + 1) + " (" + name
                      + ") deve ser um número inteiro de " + std::to_string(min) + " a " + std::to_string(max) + ".");
    return static_cast<std::int64_t>(n);
}

bool MethodArgs::yesNo(std::size_t index, const char* name) const
{
    if (!at(index).isString() || (at(index).string() != "S" && at(index).string() != "N"))
        wrongType(index, name, "\"S\" ou \"N\"");
    return at(index).string() == "S";
}

DateBounds MethodArgs::bounds(double first, double last, const std::string& mode)
{
    DateBounds bounds;
    if (mode == "T")
        return bounds;
    // Whole days: from the first day's midnight to the end of the last day.
    if (first != 0)
        bounds.from = std::floor(first);
    if (last != 0)
        bounds.until = std::floor(last) + 1;
    return bounds;
}

DateBounds MethodArgs::dateRange(std::size_t firstIndex, std::optional<std::size_t> modeIndex) const
{
    const double first = date(firstIndex, "data inicial");
    const double last = date(firstIndex + 1, "data final");
    return bounds(first, last, modeIndex ? dateMode(*modeIndex) : std::string("N"));
}

} // namespace trd::server
