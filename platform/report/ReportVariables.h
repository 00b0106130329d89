#pragma once
// {variables} in a report's texts: the report's own ({title}, {code}, {date},
// {time}; {page} and {pages} in the header and footer) and its declared
// parameters by name. "{{" writes a brace. {name|value=text|...} writes the
// text given for the variable's value instead of the value ("=text" gives the
// text for an empty value); a value not listed is written as it is.
#include <QString>
#include <QStringList>

#include <functional>

namespace trd {

// The first variable of text that is neither built in nor one of params (the
// page variables count only in bands); empty when all are known.
QString UnknownVariable(const QString& text, const QStringList& params, bool band);

// Text with every {name} replaced by value(name).
QString SubstituteVariables(const QString& text, const std::function<QString(const QString&)>& value);

} // namespace trd
