#pragma once
// The open-file dialog of the framework: title, file name, default extension,
// a filter in the "Description|*.ext" form, initial folder, and Execute(),
// which goes through the dialog seam.
#include <QObject>
#include <QString>

namespace trd {

class TOpenDialog : public QObject {
    Q_OBJECT
public:
    explicit TOpenDialog(QObject* owner = nullptr);

    QString Title;
    QString FileName; // the chosen file after a successful Execute
    QString DefaultExt; // without the dot; added when the typed name has none
    QString Filter; // "Description|*.ext|Other|*.a;*.b"
    QString InitialDir;
    int FilterIndex = 1; // 1-based, as in the framework

    // Shows the dialog; true (and FileName set) when the user chose a file.
    bool Execute();

    // The filter as Qt name filters, one per pair: "Description (patterns)",
    // each pattern matching names in any case ("*.[cC][dD][sS]").
    QStringList QtNameFilters() const;
    // name with DefaultExt appended when it has no extension.
    QString WithDefaultExt(const QString& name) const;
};

} // namespace trd
