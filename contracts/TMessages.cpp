#include "TMessages.h"

namespace trd {

const QString* TMessages::find(const QString& key, QString& text) const
{
    // Exact key first; a catalog written with another case still answers.
    for (Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
        for (const QString& line : Messages) {
            const qsizetype bar = line.indexOf(u'|');
            if (bar < 0)
                continue;
            if (QStringView(line).left(bar).trimmed().compare(key, cs) == 0) {
                text = line.mid(bar + 1);
                return &line;
            }
        }
    }
    return nullptr;
}

bool TMessages::HasKey(const QString& key) const
{
    QString text;
    return find(key, text) != nullptr;
}

QString TMessages::Msg(const QString& key) const
{
    QString text;
    return find(key, text) ? text : key;
}

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext) const
{
    return MessageDlg(Msg(key), type, buttons, helpContext);
}

} // namespace trd
