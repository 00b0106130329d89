// The JSON-RPC envelope: what goes out for each kind of argument, and how an
// answer is read, including the escapes a packet's XML is full of.
#include "JsonRpc.h"

#include <gtest/gtest.h>

using namespace trd;
using namespace trd::jsonrpc;

namespace {

QByteArray answer(const QByteArray& resultJson, const QByteArray& id = "1")
{
    return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":)" + resultJson + "}";
}

QString malformedMessage(QByteArray body, std::int64_t id = 1)
{
    try {
        DecodeAnswer(std::move(body), id);
    } catch (const EMalformedAnswer& e) {
        return e.Message();
    }
    return {};
}

} // namespace

TEST(JsonRpcRequest, EncodesEachArgumentKindInItsProtocolForm)
{
    const QByteArray packet = R"(<ROW A="x&quot;y" B="1"/>)"
                              "\n";
    const QByteArray body = EncodeRequest(7, QStringLiteral("GetFiltroDest"),
                                          {TRemoteArg("T"), TRemoteArg(QStringLiteral("Tradução \"A\" \\ b")),
                                           TRemoteArg(0), TRemoteArg(TDateTime(45658.5)), TRemoteArg(packet)});
    EXPECT_EQ(body.toStdString(),
              R"({"jsonrpc":"2.0","id":7,"method":"GetFiltroDest","params":["T","Tradução \"A\" \\ b",0,)"
              R"({"date":45658.5},"<ROW A=\"x&quot;y\" B=\"1\"/>\n"]})");
}

TEST(JsonRpcRequest, EveryWholeNumberTypeIsAnInteger)
{
    const qint64 big = 9000000000LL;
    const QByteArray body =
        EncodeRequest(2, QStringLiteral("M"), {TRemoteArg(big), TRemoteArg(short(-3)), TRemoteArg(7u)});
    EXPECT_TRUE(body.endsWith(R"("params":[9000000000,-3,7]})")) << body.toStdString();
}

TEST(JsonRpcRequest, DateTimesKeepTheirTimeOfDayExactly)
{
    const TDateTime value = 45658.0 + 13.0 / 24 + 7.0 / 1440 + 0.123 / 86400;
    const QByteArray body = EncodeRequest(1, QStringLiteral("M"), {TRemoteArg(value)});
    const qsizetype at = body.indexOf("\"date\":") + 7;
    const double back = body.mid(at, body.indexOf('}', at) - at).toDouble();
    EXPECT_EQ(back, value);
}

TEST(JsonRpcRequest, ControlCharactersAreEscaped)
{
    QByteArray out;
    const char text[] = {'a', '\x01', '\t', '\r', 'b', '\x1f'};
    AppendJsonString(out, text, sizeof text);
    EXPECT_EQ(out.toStdString(), R"("a\u0001\t\rb\u001f")");
}

TEST(JsonRpcAnswer, UnescapesThePacketWhateverTheKeyOrder)
{
    TServerResult r = DecodeAnswer(R"( { "result" : "<A B=\"1\"/>\n\tx\\y\/z" , "id" : 3 , "jsonrpc" : "2.0" } )", 3);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Packet, QByteArray("<A B=\"1\"/>\n\tx\\y/z"));
}

TEST(JsonRpcAnswer, UnicodeEscapesBecomeUtf8IncludingSurrogatePairs)
{
    TServerResult r = DecodeAnswer(answer(R"("\u00e7\u00E3o \u20ac \ud83d\ude00 é")"), 1);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(QString::fromUtf8(r.Packet), QString::fromUtf8("ção € \xF0\x9F\x98\x80 é"));
}

TEST(JsonRpcAnswer, ErrorObjectGivesMessageAndCode)
{
    TServerResult r = DecodeAnswer(
        R"({"jsonrpc":"2.0","id":9,"error":{"code":-32000,"data":{"x":[1,2]},"message":"O registro foi alterado por outro usu\u00e1rio."}})",
        9);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.ErrorCode, -32000);
    EXPECT_EQ(r.ErrorMessage, QStringLiteral("O registro foi alterado por outro usuário."));
}

TEST(JsonRpcAnswer, ErrorWithNullIdIsStillAnError)
{
    // A server that could not read the request answers with "id": null.
    TServerResult r =
        DecodeAnswer(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32700,"message":"JSON malformado"}})", 4);
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.ErrorMessage, QStringLiteral("JSON malformado"));
}

TEST(JsonRpcAnswer, LargePacketWithManyEscapesSurvivesInPlaceDecoding)
{
    QByteArray xml;
    for (int i = 0; i < 20000; ++i)
        xml += "<ROW A=\"linha " + QByteArray::number(i) + "\" B=\"ação\\n\"/>\n";
    QByteArray json;
    AppendJsonString(json, xml.constData(), xml.size());
    TServerResult r = DecodeAnswer(answer(json, "12"), 12);
    ASSERT_TRUE(r.Ok);
    EXPECT_EQ(r.Packet, xml);
}

TEST(JsonRpcAnswer, RefusesWhatIsNoAnswerToTheRequest)
{
    EXPECT_NE(malformedMessage(""), QString());
    EXPECT_NE(malformedMessage("<html>Bad gateway</html>"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"result":"abc)"), QString()); // cut short
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1})"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"result":"a","error":{"message":"b"}})"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"result":42})"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"result":"a\qb"})"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"result":"\ud800x"})"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"result":"a"} trailing)"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"1.0","id":1,"result":"a"})"), QString());
    EXPECT_NE(malformedMessage(R"({"jsonrpc":"2.0","id":1,"error":{"code":1}})"), QString());
    EXPECT_NE(malformedMessage("{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":\"a\nb\"}"), QString());
}

TEST(JsonRpcAnswer, AnswerToAnotherRequestIsRefused)
{
    EXPECT_NE(malformedMessage(answer("\"x\"", "2"), 1), QString());
    EXPECT_EQ(malformedMessage(answer("\"x\"", "2"), 2), QString());
}

TEST(JsonRpcAnswer, DeepNestingIsRefusedNotOverflowed)
{
    QByteArray deep = R"({"jsonrpc":"2.0","id":1,"result":"a","extra":)";
    deep += QByteArray(100000, '[');
    EXPECT_NE(malformedMessage(deep), QString());
}

TEST(JsonRpcAnswer, StopBytesAreFoundAtEveryOffsetOfAWord)
{
    // The scanner skips eight plain bytes at a time; whatever the alignment,
    // an escape must be decoded and a raw control character refused.
    const QByteArray plain = "abcdefghijklmnopqrstuvwxyzçãé0123456789";
    for (int at = 0; at < 24; ++at) {
        QByteArray escaped = plain;
        escaped.insert(at, "\\\"");
        QByteArray expected = plain;
        expected.insert(at, '"');
        TServerResult r = DecodeAnswer(answer("\"" + escaped + "\""), 1);
        ASSERT_TRUE(r.Ok);
        EXPECT_EQ(r.Packet, expected) << at;

        QByteArray control = plain;
        control.insert(at, '\x1f');
        EXPECT_NE(malformedMessage(answer("\"" + control + "\"")), QString()) << at;
    }
}
