#pragma once
// The query parameters of a report: the list a report declares, handed to the
// dialog's BeforeGetQueryParams handler to be filled, then bound by the server
// queries and shown by the report's texts.
#include "TDateTime.h"

#include <QString>
#include <QVariant>

#include <deque>

namespace trd {

enum class TParamType { ftString, ftDate, ftDateTime, ftFloat, ftInteger };

// "string", "date", "datetime", "float", "integer"; false for anything else.
bool ParamTypeFromName(const QString& name, TParamType& type);
QString ParamTypeName(TParamType type);

class TParam {
public:
    TParam(QString name, TParamType type) : m_name(std::move(name)), m_type(type) { }

    const QString& Name() const { return m_name; }
    TParamType DataType() const { return m_type; }

    bool IsNull() const { return !m_value.isValid(); }
    void Clear() { m_value = QVariant(); }

    // Reads convert as the framework does: a null parameter reads as "" or 0.
    QString AsString() const;
    TDateTime AsDate() const; // the day only
    TDateTime AsDateTime() const;
    double AsFloat() const;
    qint64 AsInteger() const;

    TParam& SetAsString(const QString& value);
    TParam& SetAsDate(TDateTime value); // keeps the day, drops the time
    TParam& SetAsDateTime(TDateTime value);
    TParam& SetAsFloat(double value);
    TParam& SetAsInteger(qint64 value);

    // The value as held: QString, or double (dates, date-times and floats as
    // day counts), or qint64; invalid when null.
    const QVariant& Value() const { return m_value; }

private:
    QString m_name;
    TParamType m_type;
    QVariant m_value;
};

class TParams {
public:
    int Count() const { return static_cast<int>(m_items.size()); }
    TParam& Items(int index) { return m_items.at(static_cast<std::size_t>(index)); }
    const TParam& Items(int index) const { return m_items.at(static_cast<std::size_t>(index)); }

    // Case-insensitive, as the framework looks parameters up.
    TParam* FindParam(const QString& name);
    const TParam* FindParam(const QString& name) const;
    // Raises EReportError naming the parameter when the list lacks it.
    TParam& ParamByName(const QString& name);
    const TParam& ParamByName(const QString& name) const;

    // Adds a parameter (or returns the one of that name already there).
    TParam& CreateParam(TParamType type, const QString& name);
    void Clear() { m_items.clear(); }

private:
    std::deque<TParam> m_items; // stable addresses: handlers keep references
};

// True when the list holds a parameter of that name: a report dialog sets a
// parameter only after asking, so that a report without it still runs.
bool ExistParam(const TParams& params, const QString& name);

} // namespace trd
