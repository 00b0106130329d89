#include "TField.h"

#include "FloatFormat.h"
#include "RecordStore.h"
#include "TClientDataSet.h"
#include "Win1252.h"

#include <QTime>

#include <cmath>

namespace trd {

namespace {

QString dateTimeText(double value)
{
    QString text = DateToStr(value);
    const double frac = std::fabs(value - std::trunc(value));
    if (std::llround(frac * 86400000.0) % 86400000 != 0)
        text += QLatin1Char(' ') + DateTimeToQDateTime(value).time().toString(QStringLiteral("HH:mm:ss"));
    return text;
}

bool parseInteger(QStringView text, qint64& value)
{
    bool ok = false;
    value = text.trimmed().toLongLong(&ok);
    return ok;
}

bool parseDateTime(QStringView text, double& value)
{
    const QStringView t = text.trimmed();
    if (StrToDate(t, value))
        return true;
    // "dd/mm/yyyy hh:mm[:ss]", as AsString writes it.
    const qsizetype space = t.indexOf(u' ');
    if (space > 0 && StrToDate(t.left(space), value)) {
        QTime time = QTime::fromString(t.mid(space + 1).toString(), QStringLiteral("H:mm:ss"));
        if (!time.isValid())
            time = QTime::fromString(t.mid(space + 1).toString(), QStringLiteral("H:mm"));
        if (time.isValid()) {
            value += time.msecsSinceStartOfDay() / 86400000.0;
            return true;
        }
    }
    return PacketTextToDateTime(t, value);
}

} // namespace

TField::TField(TClientDataSet* dataSet, QString name, TFieldType type, int size, int index)
    : m_dataSet(dataSet), m_name(std::move(name)), m_type(type), m_size(size), m_index(index)
{
}

bool TField::IsNull() const
{
    return m_dataSet->fieldValue(m_index).null;
}

QString TField::AsString() const
{
    const CellValue v = m_dataSet->fieldValue(m_index);
    if (v.null)
        return QString(QLatin1StringView(""));
    switch (m_type) {
    case TFieldType::ftString:
        return v.text;
    case TFieldType::ftInteger:
        return QString::number(v.integer);
    case TFieldType::ftFloat:
        return FloatToStrGeneral(v.number, DecimalSeparator());
    case TFieldType::ftDateTime:
        return dateTimeText(v.number);
    }
    return {};
}

qint64 TField::AsInteger() const
{
    const CellValue v = m_dataSet->fieldValue(m_index);
    if (v.null)
        return 0;
    switch (m_type) {
    case TFieldType::ftString: {
        qint64 value = 0;
        if (!parseInteger(v.text, value))
            throw EDBClient(QStringLiteral("'%1' não é um valor inteiro válido.").arg(v.text));
        return value;
    }
    case TFieldType::ftInteger:
        return v.integer;
    case TFieldType::ftFloat:
        return std::llround(v.number);
    case TFieldType::ftDateTime:
        return static_cast<qint64>(std::trunc(v.number));
    }
    return 0;
}

double TField::AsFloat() const
{
    const CellValue v = m_dataSet->fieldValue(m_index);
    if (v.null)
        return 0;
    switch (m_type) {
    case TFieldType::ftString: {
        double value = 0;
        if (!TryStrToFloat(v.text, DecimalSeparator(), value))
            throw EDBClient(QStringLiteral("'%1' não é um valor numérico válido.").arg(v.text));
        return value;
    }
    case TFieldType::ftInteger:
        return static_cast<double>(v.integer);
    case TFieldType::ftFloat:
    case TFieldType::ftDateTime:
        return v.number;
    }
    return 0;
}

TDateTime TField::AsDateTime() const
{
    // Numbers are days since 1899-12-30 already: only a text needs reading.
    if (m_type != TFieldType::ftString)
        return AsFloat();
    const CellValue v = m_dataSet->fieldValue(m_index);
    if (v.null)
        return 0;
    double value = 0;
    if (!parseDateTime(v.text, value))
        throw EDBClient(QStringLiteral("'%1' não é uma data válida.").arg(v.text));
    return value;
}

QVariant TField::Value() const
{
    return RecordStore::toVariant(m_type, m_dataSet->fieldValue(m_index));
}

QVariant TField::OldValue() const
{
    return RecordStore::toVariant(m_type, m_dataSet->fieldOldValue(m_index));
}

// ---------------------------------------------------------------- setters

namespace {

CellValue textValue(QString text)
{
    CellValue v;
    v.null = false;
    v.text = text.isNull() ? QString(QLatin1StringView("")) : std::move(text);
    return v;
}

CellValue integerValue(qint64 i)
{
    CellValue v;
    v.null = false;
    v.integer = i;
    return v;
}

CellValue numberValue(double n)
{
    CellValue v;
    v.null = false;
    v.number = n;
    return v;
}

} // namespace

QString TField::TextRefusal(const QString& value) const
{
    if (m_type != TFieldType::ftString)
        return {};
    if (m_size > 0 && value.size() > m_size)
        return QStringLiteral("O texto informado para o campo '%1' tem %2 caracteres e excede o tamanho máximo de %3 "
                              "caracteres.")
            .arg(DisplayName())
            .arg(value.size())
            .arg(m_size);
    // U+0000 cannot travel in a packet (XML has no way to write it).
    if (value.contains(QChar(u'\0')))
        return QStringLiteral("O texto informado para o campo '%1' contém um caractere nulo.").arg(DisplayName());
    const qsizetype bad = win1252::firstUnrepresentable(value);
    if (bad >= 0)
        return QStringLiteral("O texto informado para o campo '%1' contém o caractere '%2' (posição %3), que não "
                              "pode ser representado.")
            .arg(DisplayName(), value.mid(bad, QChar::isHighSurrogate(value.at(bad).unicode()) ? 2 : 1))
            .arg(bad + 1);
    return {};
}

void TField::SetAsString(const QString& value)
{
    m_dataSet->checkWritable(this);
    switch (m_type) {
    case TFieldType::ftString: {
        if (const QString refusal = TextRefusal(value); !refusal.isEmpty())
            throw EDBClient(refusal);
        m_dataSet->setFieldValue(this, textValue(value));
        return;
    }
    case TFieldType::ftInteger: {
        if (value.trimmed().isEmpty())
            return Clear();
        qint64 i = 0;
        if (!parseInteger(value, i))
            throw EDBClient(QStringLiteral("'%1' não é um valor inteiro válido.").arg(value));
        return SetAsInteger(i);
    }
    case TFieldType::ftFloat: {
        if (value.trimmed().isEmpty())
            return Clear();
        double n = 0;
        if (!TryStrToFloat(value, DecimalSeparator(), n))
            throw EDBClient(QStringLiteral("'%1' não é um valor numérico válido.").arg(value));
        return SetAsFloat(n);
    }
    case TFieldType::ftDateTime: {
        if (value.trimmed().isEmpty())
            return Clear();
        double n = 0;
        if (!parseDateTime(value, n))
            throw EDBClient(QStringLiteral("'%1' não é uma data válida.").arg(value));
        return SetAsDateTime(n);
    }
    }
}

void TField::SetAsInteger(qint64 value)
{
    m_dataSet->checkWritable(this);
    switch (m_type) {
    case TFieldType::ftString:
        return SetAsString(QString::number(value));
    case TFieldType::ftInteger:
        return m_dataSet->setFieldValue(this, integerValue(value));
    case TFieldType::ftFloat:
        return m_dataSet->setFieldValue(this, numberValue(static_cast<double>(value)));
    case TFieldType::ftDateTime:
        return SetAsDateTime(static_cast<double>(value));
    }
}

void TField::SetAsFloat(double value)
{
    m_dataSet->checkWritable(this);
    if (!std::isfinite(value))
        throw EDBClient(QStringLiteral("Valor numérico inválido para o campo '%1'.").arg(DisplayName()));
    switch (m_type) {
    case TFieldType::ftString:
        return SetAsString(FloatToStrGeneral(value, DecimalSeparator()));
    case TFieldType::ftInteger:
        if (std::fabs(value) >= 9.2e18)
            throw EDBClient(QStringLiteral("Valor fora dos limites para o campo '%1'.").arg(DisplayName()));
        return m_dataSet->setFieldValue(this, integerValue(std::llround(value)));
    case TFieldType::ftFloat:
        return m_dataSet->setFieldValue(this, numberValue(value));
    case TFieldType::ftDateTime:
        return SetAsDateTime(value);
    }
}

void TField::SetAsDateTime(TDateTime value)
{
    m_dataSet->checkWritable(this);
    switch (m_type) {
    case TFieldType::ftString:
        return SetAsString(dateTimeText(value));
    case TFieldType::ftInteger:
        return SetAsFloat(std::trunc(value));
    case TFieldType::ftFloat:
        return SetAsFloat(value);
    case TFieldType::ftDateTime: {
        if (!std::isfinite(value))
            throw EDBClient(QStringLiteral("Data fora dos limites para o campo '%1'.").arg(DisplayName()));
        char probe[32];
        if (formatPacketDateTime(value, PacketDateForm::DateTime, probe) == 0)
            throw EDBClient(QStringLiteral("Data fora dos limites para o campo '%1'.").arg(DisplayName()));
        return m_dataSet->setFieldValue(this, numberValue(value));
    }
    }
}

void TField::SetValue(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return Clear();
    switch (value.userType()) {
    case QMetaType::QString:
        return SetAsString(value.toString());
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        return SetAsInteger(value.toLongLong());
    case QMetaType::Double:
    case QMetaType::Float:
        return SetAsFloat(value.toDouble());
    case QMetaType::QDateTime:
        return SetAsDateTime(QDateTimeToDateTime(value.toDateTime()));
    case QMetaType::QDate:
        return SetAsDateTime(DateToDateTime(value.toDate()));
    default:
        return SetAsString(value.toString());
    }
}

void TField::Clear()
{
    m_dataSet->checkWritable(this);
    m_dataSet->setFieldValue(this, CellValue{});
}

} // namespace trd
