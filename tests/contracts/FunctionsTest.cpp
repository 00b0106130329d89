// The shared library's functions: the message catalog, MensErro, the text
// helpers the statistics and filter screens rely on, CheckResultServ and the
// server address.
#include "MensErro.h"
#include "RecordingDialogSeam.h"
#include "ServerCalls.h"
#include "TMessages.h"
#include "TextFunctions.h"
#include "WebServer.h"

#include "Dispatch.h"

#include <gtest/gtest.h>

using namespace trd;

TEST(TMessagesTest, LooksUpKeysAndShowsTheirText)
{
    RecordingDialogSeam seam;
    seam.answers.push_back(mrYes);
    TMessages msg;
    msg.Messages = {QStringLiteral("Idi_Info|Idioma deve ser informado."), QStringLiteral("Pipe|a|b"),
                    QStringLiteral("linha sem separador"), QStringLiteral("Excl|Confirma a exclusão do registro?")};
    EXPECT_EQ(msg.Msg(QStringLiteral("Idi_Info")), QStringLiteral("Idioma deve ser informado."));
    EXPECT_EQ(msg.Msg(QStringLiteral("Pipe")), QStringLiteral("a|b"));
    EXPECT_EQ(msg.Msg(QStringLiteral("idi_info")), QStringLiteral("Idioma deve ser informado."));
    EXPECT_EQ(msg.Msg(QStringLiteral("Falta")), QStringLiteral("Falta"));
    EXPECT_FALSE(msg.HasKey(QStringLiteral("linha sem separador")));

    EXPECT_EQ(msg.ShowMsg(QStringLiteral("Excl"), mtConfirmation, mbYes | mbNo, 0), mrYes);
    ASSERT_EQ(seam.shown.size(), 1u);
    EXPECT_EQ(seam.shown[0].text, QStringLiteral("Confirma a exclusão do registro?"));
    EXPECT_EQ(seam.shown[0].type, mtConfirmation);
    EXPECT_EQ(seam.shown[0].buttons, mbYes | mbNo);
}

TEST(MensErroTest, ShowsOnceAsAnErrorAndAbandonsTheHandlerSilently)
{
    RecordingDialogSeam seam;
    bool after = false;
    const bool completed = Dispatch([&] {
        MensErro(QStringLiteral("Data Inicial deve ser informada."), true);
        after = true;
    });
    EXPECT_FALSE(completed);
    EXPECT_FALSE(after);
    ASSERT_EQ(seam.shown.size(), 1u); // the message, and no second error display
    EXPECT_EQ(seam.shown[0].kind, RecordingDialogSeam::Message);
    EXPECT_EQ(seam.shown[0].type, mtError);
    EXPECT_EQ(seam.shown[0].text, QStringLiteral("Data Inicial deve ser informada."));

    EXPECT_THROW(MensErro(QStringLiteral("x")), EMensErro);
    EXPECT_NO_THROW(MensErro(QStringLiteral("só avisa"), false));
}

TEST(EmptyStringTest, BlanksAreNothingEntered)
{
    EXPECT_TRUE(EmptyString(u""));
    EXPECT_TRUE(EmptyString(u"  \t "));
    EXPECT_FALSE(EmptyString(u" a "));
    EXPECT_FALSE(EmptyString(u"0"));
    EXPECT_FALSE(EmptyString(u"__/__/____"));
}

TEST(ReplaceTest, RemovesEveryOccurrenceAsTheCharacterCountNeedsIt)
{
    // The statistics screen removes the ignored characters one by one.
    QString text = QStringLiteral("12 - ABC!");
    for (const char* c : {"1", "2", " ", "-", "!"})
        text = Replace(QString::fromLatin1(c), text, QString(), int(text.size()));
    EXPECT_EQ(text, QStringLiteral("ABC"));
    EXPECT_EQ(Replace(QStringLiteral("a"), QStringLiteral("banana"), QStringLiteral("o"), 6), QStringLiteral("bonono"));
    EXPECT_EQ(Replace(QStringLiteral("a"), QStringLiteral("banana"), QString(), 3), QStringLiteral("bnana"));
    EXPECT_EQ(Replace(QStringLiteral("a"), QStringLiteral("aa"), QString(), 99), QString());
    EXPECT_EQ(Replace(QString(), QStringLiteral("aa"), QString(), 2), QStringLiteral("aa"));
}

namespace {

bool refused(const char* text, const char* key, int selStart, int selLength = 0)
{
    try {
        MaxNumber(QString::fromUtf8(text), 5, 7, QString::fromUtf8(key), selStart, selLength);
    } catch (const EAbort&) {
        return true;
    }
    return false;
}

} // namespace

TEST(MaxNumberTest, RefusesKeysThatMakeThePriceTooLong)
{
    EXPECT_FALSE(refused("1234", "5", 4));
    EXPECT_TRUE(refused("12345", "6", 5)); // a sixth whole digit
    EXPECT_FALSE(refused("0,123456", "7", 8)); // the seventh decimal
    EXPECT_TRUE(refused("0,1234567", "8", 9)); // an eighth decimal
    EXPECT_TRUE(refused("0.1234567", "8", 9)); // either separator
    EXPECT_TRUE(refused("12345,5", "1", 0)); // a digit in front of a full whole part
    EXPECT_FALSE(refused("12345,5", "1", 0, 1)); // ... unless it replaces a selected digit
    EXPECT_FALSE(refused("0,1234567", "\b", 9)); // backspace passes
    EXPECT_FALSE(refused("123456789", "x", 0)); // not a digit: the field's business
    EXPECT_TRUE(refused("1234567", ",", 6)); // a separator leaving six whole digits
}

TEST(CheckResultServTest, GivesThePacketOrRaisesTheServerMessage)
{
    TServerResult ok;
    ok.Ok = true;
    ok.Packet = "<DATAPACKET/>";
    EXPECT_EQ(CheckResultServ(ok, true, 0), QByteArray("<DATAPACKET/>"));

    TServerResult refusal;
    refusal.ErrorMessage = QStringLiteral("O registro foi alterado por outro usuário.");
    refusal.ErrorCode = -32000;
    try {
        CheckResultServ(refusal, true, 0);
        FAIL() << "no raise";
    } catch (const EServerError& e) {
        EXPECT_EQ(e.Message(), refusal.ErrorMessage);
        EXPECT_EQ(e.ErrorCode(), -32000);
    }

    RecordingDialogSeam seam;
    EXPECT_TRUE(CheckResultServ(refusal, false, 0).isEmpty());
    EXPECT_EQ(seam.messages(), QStringList{refusal.ErrorMessage});
}

TEST(WebServerTest, ParsesHostAndPortAndKeepsTheOldOnesOnError)
{
    QString error;
    ASSERT_TRUE(SetWebServer(u"10.0.0.5:9000", &error));
    EXPECT_EQ(WebURL, QStringLiteral("10.0.0.5"));
    EXPECT_EQ(WebPort, 9000);
    ASSERT_TRUE(SetWebServer(u"servidor", &error));
    EXPECT_EQ(WebURL, QStringLiteral("servidor"));
    EXPECT_EQ(WebPort, DefaultWebPort);
    ASSERT_TRUE(SetWebServer(u"[::1]:8300", &error));
    EXPECT_EQ(WebURL, QStringLiteral("::1"));
    EXPECT_EQ(WebPort, 8300);

    for (const char16_t* bad : {u":8211", u"host:0", u"host:70000", u"host:abc", u"[::1", u"[::1]x"}) {
        error.clear();
        EXPECT_FALSE(SetWebServer(bad, &error)) << QString::fromUtf16(bad).toStdString();
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(WebURL, QStringLiteral("::1"));
        EXPECT_EQ(WebPort, 8300);
    }
    SetWebServer(u"127.0.0.1:8211");
}
