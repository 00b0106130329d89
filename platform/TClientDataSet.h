#pragma once
// The client data set: an in-memory table loaded from a data packet, with a
// cursor, edit states, before/after events, and a change log that can be sent
// back as a delta, merged or undone. Behaves as the form framework's class of
// the same name where the module relies on it.
#include "DataPacket.h"
#include "Exceptions.h"
#include "PacketStream.h"
#include "TField.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace trd {

class TDataSource;
struct CellValue;

enum class TDataSetState { dsInactive, dsBrowse, dsEdit, dsInsert };

// What a data set tells its data sources (and through them, the controls).
enum class TDataEvent {
    deFieldChange, // info: the TField* that changed while editing
    deRecordChange, // the current record's values changed (post, cancel, undo)
    deRowChange, // another row's values changed (RefreshRow); info: its index
    deRowRemoved, // a row left without a change of the others (ForgetRow); info: its former index
    deDataSetChange, // rows came or went (open, load, delete, merge, sort, EnableControls)
    deDataSetScroll, // the cursor moved; info: the previous row index
    deLayoutChange, // fields changed (open with another structure)
    deUpdateState, // State() changed
    deUpdateRecord, // controls write what they hold of the record being edited into its fields
};

enum TLocateOption { loCaseInsensitive = 1, loPartialKey = 2 };
using TLocateOptions = int;

using TDataSetNotifyEvent = std::function<void(TClientDataSet*)>;

class TClientDataSet : public QObject {
    Q_OBJECT
public:
    explicit TClientDataSet(QObject* owner = nullptr);
    ~TClientDataSet() override;

    // ---- structure
    // A persistent field, defined before opening. When persistent fields exist,
    // a loaded packet must supply those fields (by name, other packet fields are
    // ignored) and its values must fit them; otherwise the fields come from the packet.
    TField* AddField(const QString& name, TFieldType type, int size = 0);
    int FieldCount() const;
    TField* Fields(int index) const;
    TField* FindField(const QString& name) const; // nullptr when absent (case-insensitive)
    TField* FieldByName(const QString& name) const; // EDBClient when absent
    void CreateDataSet(); // opens empty on the persistent fields

    // ---- opening and data
    void Open(); // reopens the last data, or empty
    void Close();
    bool Active() const;
    void SetActive(bool active);
    TDataSetState State() const;
    // The whole content as a packet (the change log applied), and loading one:
    // close (close events), then open on the packet (open events), first row current.
    // A packet that fails leaves the data set closed and raises EDBClient.
    QByteArray Data() const;
    void SetData(const QByteArray& packet);
    // The same, parsing in the caller's buffer when it is not shared (saves a
    // copy of a large answer).
    void SetData(QByteArray&& packet);
    // A server's answer: a packet still arriving is read as it comes, each
    // row loaded as it arrives; the data set opens (and shows the rows) once
    // the last one is in. A packet that cannot arrive whole (the connection
    // dropped, the server reported a failure) raises what its source raised
    // and leaves the data set closed and empty, never holding part of it.
    void SetData(ServerPacket&& packet);
    void SetData(const ServerPacket& packet);
    void LoadFromFile(const QString& fileName);
    void SaveToFile(const QString& fileName) const;

    // ---- cursor
    void First();
    void Last();
    void Next();
    void Prior();
    int MoveBy(int distance);
    bool Eof() const;
    bool Bof() const;
    int RecNo() const; // 1-based; 0 when empty or closed
    void SetRecNo(int recNo);
    int RecordCount() const;
    bool IsEmpty() const;

    // ---- editing
    void Edit();
    void Insert();
    void Append();
    void Post();
    void Cancel();
    void Delete();
    void CheckBrowseMode(); // posts a pending edit
    // Asks the controls to write what they hold of the record being edited
    // (a grid's in-place editor) into its fields; Post and CheckBrowseMode do
    // it first, so a text typed but not yet written is posted, not lost. A
    // control that cannot write raises, which abandons the post.
    void UpdateRecord();
    bool Modified() const;

    // ---- change log
    int ChangeCount() const;
    QByteArray Delta() const; // delta packet of the logged changes
    void MergeChangeLog();
    void CancelUpdates();
    // Takes the current row of `source` (fields matched by name, the same
    // types) as what the current row holds, as if it had been loaded so: no
    // edit, nothing logged, the controls repaint the row. For a row read
    // again from the server after a save of it failed, so that the next save
    // is checked against what the server holds now. Needs browse state and
    // no logged change of the row.
    void RefreshRecord(const TClientDataSet& source);

    // ---- rows the server tells of (a colleague's save, docs/live.md)
    // The row (0-based, in index order) that holds each key in these fields,
    // or -1, in one pass over the rows; the cursor does not move.
    std::vector<int> FindRows(const std::vector<int>& fields, const std::vector<QStringList>& keys) const;
    // Takes these values (field index, text) as what the row holds, as if it
    // had been loaded so: nothing is logged, no edit starts, the controls
    // repaint the row. A number or a date is given as its text in the C
    // locale, an empty text making it null. Raises EDBClient for the row
    // being edited or a row with logged changes.
    void RefreshRow(int row, const std::vector<std::pair<int, QString>>& values);
    // The row goes as if it had never been loaded: nothing is logged. Raises
    // EDBClient while a row is being edited, or for a row with logged changes.
    void ForgetRow(int row);

    // ---- rows shown beside the loaded ones (the editor's obsolete rows)
    // The rows of `source` (fields matched by name, the same types; fields
    // it lacks are null) join the rows as if they had been loaded with them,
    // each also taking `values` (field index, text, as RefreshRow takes
    // them): nothing is logged, the current row stays current, and they go
    // after the others unless an index orders them in. Raises EDBClient
    // while a row is being edited.
    void AddRows(const TClientDataSet& source, const std::vector<std::pair<int, QString>>& values = {});
    // The rows (0-based, any order) go at once as ForgetRow takes one; the
    // current row, when it goes, passes to the next row that stays.
    void ForgetRows(const std::vector<int>& rows);

    // ---- searching and order
    // keyFields "A;B", one value per field; the case-insensitive option matches
    // every listed field regardless of case. Moves the cursor (scroll events) on success.
    bool Locate(const QString& keyFields, const QVariantList& keyValues, TLocateOptions options = 0);
    // Orders the rows by the named fields ("A;B"); empty = the loaded order.
    // A field name followed by " DESC" sorts that field descending. The rows
    // are ordered when this is set and when rows are loaded; a posted row
    // keeps its place until then, so that rows do not move under the user.
    QString IndexFieldNames() const;
    void SetIndexFieldNames(const QString& fields);

    // ---- controls
    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const;

    // ---- access for data-aware controls
    // Fields read and write the active record: the current row, unless a control
    // has set another row to display (grids painting row after row). No events.
    int ActiveRecord() const; // 0-based row index, -1 when none
    void SetActiveRecord(int row); // -1 restores the current row
    int CurrentIndex() const; // 0-based index of the current row, -1 when none
    QVariant ValueAt(int row, int field) const; // value as shown (edit buffer for the row being edited)

    // ---- events
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, OnNewRecord;
    TDataSetNotifyEvent BeforeEdit, AfterEdit, BeforePost, AfterPost;
    TDataSetNotifyEvent BeforeCancel, AfterCancel, BeforeDelete, AfterDelete;
    TDataSetNotifyEvent BeforeScroll, AfterScroll;

private:
    friend class TField;
    friend class TDataSource;
    friend class ActiveRecordScope;
    void attach(TDataSource* source);
    void detach(TDataSource* source);
    // What fields read and write: the active record's value, its original, and
    // a new value for the row being edited (checked by the field first).
    CellValue fieldValue(int field) const;
    CellValue fieldOldValue(int field) const;
    void checkWritable(const TField* field) const; // edit/insert state, field not read-only
    void setFieldValue(TField* field, const CellValue& value);

    void load(const std::function<std::unique_ptr<PacketReader>()>& open);

    struct Impl;
    std::unique_ptr<Impl> d;
};

// Makes the fields of a data set read another row for a while (a grid painting
// a row), restoring the previous active record when it goes out of scope.
class ActiveRecordScope {
public:
    ActiveRecordScope(TClientDataSet* dataSet, int row);
    ~ActiveRecordScope();
    ActiveRecordScope(const ActiveRecordScope&) = delete;
    ActiveRecordScope& operator=(const ActiveRecordScope&) = delete;

private:
    TClientDataSet* m_dataSet;
    int m_previous;
};

} // namespace trd
