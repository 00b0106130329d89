#include "Json.h"
#include "BackslashEscapes.h"
#include "TsvEscapes.h"
#include "AnswerPacketWriter.h"
#include "ServerError.h"
#include "Utf8Text.h"

#include "DataPacket.h"

#include <gtest/gtest.h>

using namespace trd::server;

TEST(Utf8Text, Windows1252RepertoireAndCountedLength)
{
    EXPECT_TRUE(utf8::isWin1252("Informações € “aspas” Œ š"));
    EXPECT_FALSE(utf8::isWin1252("Łódź"));
    EXPECT_FALSE(utf8::isWin1252("emoji \xF0\x9F\x98\x80"));
    EXPECT_FALSE(utf8::isWin1252("\xC3")); // truncated sequence
    EXPECT_FALSE(utf8::isWin1252("\xC0\xAF")); // overlong
    EXPECT_EQ(utf8::countedLength("12 - ABC!"), 3u);
    EXPECT_EQ(utf8::countedLength(""), 0u);
    EXPECT_EQ(utf8::countedLength("Ação\tfim\n"), 9u); // letters, tab and line break count
    EXPECT_EQ(utf8::length("Ação"), 4u);
    EXPECT_EQ(utf8::left("Ação", 2), "Aç");
    EXPECT_TRUE(utf8::hasForbiddenControl(std::string("a\0b", 3)));
    EXPECT_FALSE(utf8::hasForbiddenControl("a\tb\r\nc"));
}

TEST(Json, ParsesTheEnvelopeAndRefusesMalformedText)
{
    const JsonValue v = parseJson(R"( {"id": 7, "params": ["a\u00e7\"", {"date": 45658.5}, null, true]} )");
    ASSERT_TRUE(v.isObject());
    EXPECT_EQ(v.find("id")->string(), "7");
    const auto& params = v.find("params")->array();
    EXPECT_EQ(params[0].string(), "aç\"");
    EXPECT_DOUBLE_EQ(params[1].find("date")->number(), 45658.5);
    EXPECT_TRUE(params[2].isNull());
    EXPECT_EQ(parseJson(R"("\ud83d\ude00")").string(), "\xF0\x9F\x98\x80");

    EXPECT_DOUBLE_EQ(parseJson("-0.5E+2").number(), -50);
    EXPECT_DOUBLE_EQ(parseJson("[2e-1]").array()[0].number(), 0.2);

    const char* bad[] = {"",        "{",        "{\"a\" 1}", "[1,]",      "01",           "1.",       "\"\\ud800\"",
                         "\"\\x\"", "\"a\nb\"", "nul",       "{} {}",     "\"\xC3\x28\"", "1e999999", "-",
                         "1e",      "1e+",      "+1",        "{\"a\":1,}"};
    for (const char* text : bad) {
        try {
            parseJson(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const ServerError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::BadArgument) << text;
            EXPECT_EQ(e.userMessage().rfind("Requisição inválida: JSON malformado (", 0), 0u) << text;
        }
    }
    // Deep nesting is refused, not a stack overflow.
    EXPECT_THROW(parseJson(std::string(100000, '[')), ServerError);
}

// JSON and the tab-separated files share four escapes: every text written by
// one side reads back the same, and each format keeps its own around them.
TEST(Escapes, EveryByteSurvivesJsonAndTabSeparatedText)
{
    std::string all;
    for (int b = 1; b < 0x80; ++b)
        all += static_cast<char>(b);
    all += "ação € \\t";

    std::string tsv;
    escapes::appendEscaped(tsv, all);
    EXPECT_EQ(tsv.find_first_of("\t\n\r"), std::string::npos) << "a tab or line break left in a field";
    EXPECT_EQ(unescapeTsvField(tsv), all);
    EXPECT_EQ(unescapeTsvField("a\\tb\\"), "a\tb\\"); // a backslash that ends the field is itself
    EXPECT_THROW(unescapeTsvField("a\\\"b"), UnknownTsvEscape); // JSON's quote escape is not the file's

    std::string json;
    appendJsonString(json, all);
    EXPECT_EQ(parseJson(json).string(), all);
    EXPECT_NE(json.find("\\u001f"), std::string::npos);
    EXPECT_NE(json.find("\\t"), std::string::npos);
    EXPECT_EQ(parseJson(R"("\/\b\f\\\"\n")").string(), "/\b\f\\\"\n");
}

TEST(AnswerPacketWriter, ValuesSurviveEitherForm)
{
    static const AnswerField fields[] = {{"STVALORPROP", "string", 4000}, {"QT", "r8", 0}, {"DT", "dateTime", 0}};
    const std::string tricky = "Tom & \"Jerry\" <b>\\n\nlinha 2\r\tfim € ç";
    for (const PacketForm form : {PacketForm::XmlInJson, PacketForm::Cbor}) {
        AnswerBuffer out;
        out.form = form;
        AnswerPacketWriter writer(out, fields);
        writer.beginRow();
        writer.string(0, tricky);
        writer.number(1, 12);
        writer.endRow();
        writer.beginRow(); // the date left out: null in either form
        writer.string(0, "");
        writer.endRow();
        writer.finish();

        QByteArray packet;
        if (form == PacketForm::XmlInJson) {
            const JsonValue json = parseJson(out.bytes);
            ASSERT_TRUE(json.isString());
            packet = QByteArray::fromStdString(json.string());
        } else {
            packet = QByteArray::fromStdString(out.bytes);
            EXPECT_TRUE(trd::isCborPacket(packet));
        }
        trd::PacketReader reader(packet);
        EXPECT_EQ(reader.fields()[0].size, 4000);
        ASSERT_TRUE(reader.next());
        EXPECT_EQ(reader.raw(0), tricky);
        EXPECT_DOUBLE_EQ(reader.real(1), 12);
        ASSERT_TRUE(reader.next());
        EXPECT_FALSE(reader.isNull(0));
        EXPECT_TRUE(reader.isNull(2));
        EXPECT_FALSE(reader.next());
    }
}
