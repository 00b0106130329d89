#pragma once
// A screen's message catalog: lines "key|text"; a screen shows a message by key.
#include "DialogSeam.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace trd {

class TMessages : public QObject {
    Q_OBJECT
public:
    explicit TMessages(QObject* owner = nullptr) : QObject(owner) { }

    // One entry per line: the key, a vertical bar, the text (which may itself
    // hold bars). Lines without a bar are ignored.
    QStringList Messages;

    bool HasKey(const QString& key) const;
    // The text of a key. A key the catalog lacks gives the key itself, so a
    // missing entry shows up as such instead of as an empty message box.
    QString Msg(const QString& key) const;
    // Shows the key's text in a message box; returns the button pressed (mrYes = 6).
    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext = 0) const;

private:
    const QString* find(const QString& key, QString& text) const;
};

} // namespace trd
