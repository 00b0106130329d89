#pragma once
// Packets and event recording shared by the data set tests.
#include "DataPacket.h"
#include "TClientDataSet.h"

#include <QString>
#include <QStringList>

#include <utility>
#include <vector>

namespace trd::test {

struct Row {
    const char* id;
    const char* text;
    const char* status;
};

// ID string 3, TEXTO string 20, SIT string 1: a small translation-like packet.
inline QByteArray samplePacket(const std::vector<Row>& rows)
{
    QByteArray out;
    PacketWriter w(out);
    std::vector<PacketField> fields(3);
    fields[0].name = "ID";
    fields[0].size = 3;
    fields[1].name = "TEXTO";
    fields[1].size = 20;
    fields[2].name = "SIT";
    fields[2].size = 1;
    w.begin(fields);
    for (const Row& r : rows) {
        w.beginRow();
        w.string(0, QString::fromUtf8(r.id));
        if (r.text)
            w.string(1, QString::fromUtf8(r.text));
        w.string(2, QString::fromUtf8(r.status));
        w.endRow();
    }
    w.end();
    return out;
}

inline QByteArray fiveRows()
{
    return samplePacket(
        {{"A", "Arquivo", "T"}, {"B", "Editar", "N"}, {"C", "Ação", "D"}, {"D", "Ajuda", "N"}, {"E", "Sair", "T"}});
}

// Records the name of every event a data set fires, in order.
class EventLog {
public:
    explicit EventLog(TClientDataSet& ds)
    {
        const std::pair<TDataSetNotifyEvent*, const char*> events[] = {
            {&ds.BeforeOpen, "BeforeOpen"},     {&ds.AfterOpen, "AfterOpen"},       {&ds.BeforeClose, "BeforeClose"},
            {&ds.AfterClose, "AfterClose"},     {&ds.BeforeInsert, "BeforeInsert"}, {&ds.AfterInsert, "AfterInsert"},
            {&ds.OnNewRecord, "OnNewRecord"},   {&ds.BeforeEdit, "BeforeEdit"},     {&ds.AfterEdit, "AfterEdit"},
            {&ds.BeforePost, "BeforePost"},     {&ds.AfterPost, "AfterPost"},       {&ds.BeforeCancel, "BeforeCancel"},
            {&ds.AfterCancel, "AfterCancel"},   {&ds.BeforeDelete, "BeforeDelete"}, {&ds.AfterDelete, "AfterDelete"},
            {&ds.BeforeScroll, "BeforeScroll"}, {&ds.AfterScroll, "AfterScroll"},
        };
        for (const auto& [event, name] : events) {
            const QString n = QString::fromLatin1(name);
            *event = [this, n](TClientDataSet*) { m_names << n; };
        }
    }
    QString take()
    {
        const QString joined = m_names.join(QLatin1Char(' '));
        m_names.clear();
        return joined;
    }

private:
    QStringList m_names;
};

inline QString column(TClientDataSet& ds, const char* field)
{
    QStringList values;
    const int f = ds.FieldByName(QString::fromLatin1(field))->Index();
    for (int r = 0; r < ds.RecordCount(); ++r)
        values << ds.ValueAt(r, f).toString();
    return values.join(QLatin1Char(','));
}

} // namespace trd::test
