#include "TParams.h"

#include "ReportError.h"

#include <cmath>

namespace trd {

bool ParamTypeFromName(const QString& name, TParamType& type)
{
    const QString n = name.toLower();
    if (n == u"string")
        type = TParamType::ftString;
    else if (n == u"date")
        type = TParamType::ftDate;
    else if (n == u"datetime")
        type = TParamType::ftDateTime;
    else if (n == u"float")
        type = TParamType::ftFloat;
    else if (n == u"integer")
        type = TParamType::ftInteger;
    else
        return false;
    return true;
}

QString ParamTypeName(TParamType type)
{
    switch (type) {
    case TParamType::ftString:
        return QStringLiteral("string");
    case TParamType::ftDate:
        return QStringLiteral("date");
    case TParamType::ftDateTime:
        return QStringLiteral("datetime");
    case TParamType::ftFloat:
        return QStringLiteral("float");
    case TParamType::ftInteger:
        return QStringLiteral("integer");
    }
    return {};
}

QString TParam::AsString() const
{
    if (IsNull())
        return {};
    switch (m_value.typeId()) {
    case QMetaType::QString:
        return m_value.toString();
    case QMetaType::LongLong:
        return QString::number(m_value.toLongLong());
    default:
        break;
    }
    const double v = m_value.toDouble();
    if (m_type == TParamType::ftDate)
        return DateToStr(v);
    if (m_type == TParamType::ftDateTime)
        return DateTimeToQDateTime(v).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    return QString::number(v, 'g', 15);
}

TDateTime TParam::AsDateTime() const
{
    if (IsNull())
        return 0;
    if (m_value.typeId() == QMetaType::QString) {
        TDateTime v = 0;
        if (!StrToDate(m_value.toString(), v))
            throw EReportError(
                QStringLiteral("O parâmetro '%1' não contém uma data válida: '%2'.").arg(m_name, m_value.toString()));
        return v;
    }
    return m_value.toDouble();
}

TDateTime TParam::AsDate() const
{
    return std::floor(AsDateTime());
}

double TParam::AsFloat() const
{
    if (IsNull())
        return 0;
    if (m_value.typeId() == QMetaType::QString) {
        bool ok = false;
        const double v = m_value.toString().trimmed().replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
        if (!ok)
            throw EReportError(
                QStringLiteral("O parâmetro '%1' não contém um número válido: '%2'.").arg(m_name, m_value.toString()));
        return v;
    }
    return m_value.toDouble();
}

qint64 TParam::AsInteger() const
{
    return static_cast<qint64>(std::llround(AsFloat()));
}

TParam& TParam::SetAsString(const QString& value)
{
    m_value = value;
    return *this;
}

TParam& TParam::SetAsDate(TDateTime value)
{
    m_value = std::floor(value);
    return *this;
}

TParam& TParam::SetAsDateTime(TDateTime value)
{
    m_value = value;
    return *this;
}

TParam& TParam::SetAsFloat(double value)
{
    m_value = value;
    return *this;
}

TParam& TParam::SetAsInteger(qint64 value)
{
    m_value = value;
    return *this;
}

TParam* TParams::FindParam(const QString& name)
{
    for (TParam& p : m_items)
        if (p.Name().compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    return nullptr;
}

const TParam* TParams::FindParam(const QString& name) const
{
    return const_cast<TParams*>(this)->FindParam(name);
}

TParam& TParams::ParamByName(const QString& name)
{
    if (TParam* p = FindParam(name))
        return *p;
    throw EReportError(QStringLiteral("Parâmetro '%1' não encontrado.").arg(name));
}

const TParam& TParams::ParamByName(const QString& name) const
{
    return const_cast<TParams*>(this)->ParamByName(name);
}

TParam& TParams::CreateParam(TParamType type, const QString& name)
{
    if (TParam* p = FindParam(name))
        return *p;
    return m_items.emplace_back(name, type);
}

bool ExistParam(const TParams& params, const QString& name)
{
    return params.FindParam(name) != nullptr;
}

} // namespace trd
