#pragma once
// What the report tests share: data sets built from rows, definitions written
// to a temporary folder, and the text of a PDF as pdftotext reads it.
#include "TClientDataSet.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <initializer_list>
#include <memory>
#include <vector>

namespace trd::test {

struct FieldSpec {
    const char* name;
    const char* type; // packet fieldtype: "string", "r8", "i4", "dateTime"
    int width = 0;
};

// A data set holding rows given as attribute texts in field order.
std::unique_ptr<TClientDataSet> MakeDataSet(const std::vector<FieldSpec>& fields, const std::vector<QStringList>& rows,
                                            const QString& name = QString(), QObject* owner = nullptr);
// Loads rows into an existing data set (as a report dialog does).
void LoadRows(TClientDataSet& dataSet, const std::vector<FieldSpec>& fields, const std::vector<QStringList>& rows);

// Writes text to dir/name and returns the path.
QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& text);

// The text of a PDF file, by pdftotext -layout; pages separated by form feeds.
QString PdfText(const QString& pdfPath);
QStringList PdfPages(const QString& pdfPath);

} // namespace trd::test
