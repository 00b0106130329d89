#include "DataSetFixture.h"
#include "TDataSource.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::test;

namespace {

// What a data source reports: "S" for a state change (with the state), "D" for
// a data change, "D:FIELD" for a field change.
class SourceLog {
public:
    explicit SourceLog(TDataSource& source)
    {
        source.OnStateChange = [this](TDataSource* s) { m_items << QStringLiteral("S%1").arg(int(s->State())); };
        source.OnDataChange = [this](TDataSource*, TField* f) {
            m_items << (f ? QStringLiteral("D:") + f->FieldName() : QStringLiteral("D"));
        };
    }
    QString take()
    {
        const QString joined = m_items.join(QLatin1Char(' '));
        m_items.clear();
        return joined;
    }

private:
    QStringList m_items;
};

} // namespace

TEST(TDataSource, ReportsStateAndDataChanges)
{
    TClientDataSet ds;
    TDataSource source;
    source.SetDataSet(&ds);
    SourceLog log(source);
    int signals_ = 0;
    QObject::connect(&source, &TDataSource::dataEvent, [&](TDataEvent, qintptr) { ++signals_; });

    ds.SetData(fiveRows());
    EXPECT_EQ(log.take(), QStringLiteral("S1 D")); // open: browse, data
    ds.Next();
    EXPECT_EQ(log.take(), QStringLiteral("D"));
    ds.Edit();
    EXPECT_EQ(log.take(), QStringLiteral("S2 D"));
    ds.FieldByName(QStringLiteral("SIT"))->SetAsString(QStringLiteral("T"));
    EXPECT_EQ(log.take(), QStringLiteral("D:SIT"));
    ds.Post();
    EXPECT_EQ(log.take(), QStringLiteral("S1 D"));
    ds.Edit();
    ds.Cancel();
    EXPECT_EQ(log.take(), QStringLiteral("S2 D S1 D"));
    ds.Close();
    EXPECT_EQ(log.take(), QStringLiteral("S0 D"));
    EXPECT_EQ(source.State(), TDataSetState::dsInactive);
    EXPECT_GT(signals_, 10);
}

TEST(TDataSource, LinkingTellsHandlersOnlyOfRealChanges)
{
    TClientDataSet closed;
    TDataSource source;
    SourceLog log(source);
    int signals_ = 0;
    QObject::connect(&source, &TDataSource::dataEvent, [&](TDataEvent, qintptr) { ++signals_; });
    source.SetDataSet(&closed);
    EXPECT_EQ(log.take(), QString()) << "a form linking its closed data set runs no handler";
    EXPECT_EQ(signals_, 1) << "controls are still told to redraw";

    TClientDataSet open;
    open.SetData(fiveRows());
    source.SetDataSet(&open);
    EXPECT_EQ(log.take(), QStringLiteral("S1 D"));
    source.SetDataSet(nullptr);
    EXPECT_EQ(log.take(), QStringLiteral("S0 D"));
}

TEST(TDataSource, DisabledControlsHearNothingUntilEnabledAgain)
{
    TClientDataSet ds;
    TDataSource source;
    source.SetDataSet(&ds);
    ds.SetData(fiveRows());
    SourceLog log(source);
    ds.DisableControls();
    ds.DisableControls();
    ds.Next();
    ds.Edit();
    ds.FieldByName(QStringLiteral("SIT"))->SetAsString(QStringLiteral("T"));
    EXPECT_TRUE(ds.ControlsDisabled());
    ds.EnableControls();
    EXPECT_TRUE(ds.ControlsDisabled());
    EXPECT_EQ(log.take(), QString());
    ds.EnableControls();
    EXPECT_FALSE(ds.ControlsDisabled());
    EXPECT_EQ(log.take(), QStringLiteral("S2 D")) << "the state changed while disabled, then a data set change";
    ds.EnableControls(); // unbalanced: ignored
    EXPECT_FALSE(ds.ControlsDisabled());

    source.Enabled = false;
    ds.Post();
    EXPECT_EQ(log.take(), QString());
}

TEST(TDataSource, EitherSideMayGoFirst)
{
    auto* ds = new TClientDataSet;
    {
        TDataSource source;
        source.SetDataSet(ds);
        delete ds;
        EXPECT_EQ(source.DataSet(), nullptr);
        EXPECT_EQ(source.State(), TDataSetState::dsInactive);
    }
    TClientDataSet ds2;
    {
        TDataSource source;
        source.SetDataSet(&ds2);
    }
    ds2.SetData(fiveRows()); // no source left to notify
    EXPECT_EQ(ds2.RecordCount(), 5);
}
