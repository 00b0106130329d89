// The batch header on a connection: there while the scope lives, gone on
// every way out (an exception included), never taking another field with it;
// an inner scope stands for its calls and gives the outer one back; batch 0
// changes nothing; a connection gone first is no fault.
#include "ScopedBatch.h"
#include "TSocketConnection.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

using namespace trd;

namespace {

using Fields = QList<QPair<QByteArray, QByteArray>>;

QList<QByteArray> batches(const TSocketConnection& c)
{
    QList<QByteArray> ids;
    for (const auto& f : c.ExtraHeaders)
        if (f.first == ScopedBatch::HeaderName())
            ids << f.second;
    return ids;
}

} // namespace

TEST(ScopedBatch, TheHeaderLastsAsLongAsTheScopeAndLeavesOtherFieldsAlone)
{
    TSocketConnection c;
    const Fields outros{{QByteArrayLiteral("Authorization"), QByteArrayLiteral("Bearer x")}};
    c.ExtraHeaders = outros;
    {
        const ScopedBatch lote(c, 42);
        EXPECT_EQ(batches(c), QList<QByteArray>{QByteArrayLiteral("42")});
        EXPECT_EQ(c.ExtraHeaders.size(), 2);
        {
            const ScopedBatch dentro(c, 43);
            EXPECT_EQ(batches(c), QList<QByteArray>{QByteArrayLiteral("43")}) << "a save joins one batch only";
        }
        EXPECT_EQ(batches(c), QList<QByteArray>{QByteArrayLiteral("42")});
        {
            const ScopedBatch semHistorico(c, 0);
            EXPECT_EQ(batches(c), QList<QByteArray>{QByteArrayLiteral("42")});
        }
        EXPECT_EQ(batches(c), QList<QByteArray>{QByteArrayLiteral("42")});
    }
    EXPECT_EQ(c.ExtraHeaders, outros);

    EXPECT_THROW(
        {
            const ScopedBatch lote(c, 7);
            throw std::runtime_error("refused");
        },
        std::runtime_error);
    EXPECT_EQ(c.ExtraHeaders, outros);

    // A field someone else added meanwhile stays.
    {
        const ScopedBatch lote(c, 8);
        c.ExtraHeaders.append({QByteArrayLiteral("X-Outro"), QByteArrayLiteral("1")});
    }
    EXPECT_EQ(c.ExtraHeaders.size(), 2);
    EXPECT_TRUE(batches(c).isEmpty());

    auto vai = std::make_unique<TSocketConnection>();
    auto lote = std::make_unique<ScopedBatch>(*vai, 9);
    vai.reset();
    EXPECT_NO_THROW(lote.reset());
}
