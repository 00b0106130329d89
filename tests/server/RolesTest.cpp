// The roles column of the users file: what each role gives on a language
// and on every language, a file written before roles still read (and still
// written as it was until its user's roles change), and a broken column
// refused with the line that has it.
#include "Roles.h"
#include "UserStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace trd::server;

TEST(Roles, TheRoleOnALanguageIsTheHigherOfItsOwnAndEveryLanguages)
{
    Grants g = Grants::parse("revisor:ENG,leitor:*");
    EXPECT_EQ(g.on("ENG"), Role::Reviewer);
    EXPECT_EQ(g.on("ESP"), Role::Reader);
    EXPECT_EQ(g.onAll(), Role::Reader);
    g.grant("*", Role::Translator);
    EXPECT_EQ(g.on("ESP"), Role::Translator);
    EXPECT_EQ(g.on("ENG"), Role::Reviewer);
    g.revoke("ENG");
    EXPECT_EQ(g.on("ENG"), Role::Translator);
    EXPECT_EQ(g.format(), "tradutor:*");
    g.revoke("*");
    EXPECT_FALSE(g.any());
    EXPECT_EQ(g.format(), "-");
    EXPECT_FALSE(Grants::parse("-").any());
    for (const char* bad : {"", "chefe:ENG", "leitor", "leitor:", "leitor:ENGL", "leitor:ENG,", "leitor:E N"})
        EXPECT_THROW(Grants::parse(bad), std::runtime_error) << bad;
}

TEST(Roles, AUsersFileFromBeforeRolesKeepsWhatItsUsersCouldDo)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("trd.users").toStdString();
    {
        UserStore writer(path);
        writer.add("ana", "senha-1");
        writer.add("bia", "senha-2", Grants::parse("tradutor:ENG"));
    }
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    file.close();
    // ana's line is as an earlier server wrote it: hash only.
    const int ana = text.indexOf("\nana\t");
    ASSERT_GE(ana, 0);
    EXPECT_EQ(text.mid(ana + 1, text.indexOf('\n', ana + 1) - ana - 1).count('\t'), 1);
    EXPECT_TRUE(text.contains("\ttradutor:ENG\n"));

    UserStore store(path);
    const auto users = store.usersWithRoles();
    ASSERT_EQ(users.size(), 2u);
    EXPECT_TRUE(users[0].second.inherited());
    EXPECT_EQ(users[0].second.on("XYZ"), Role::Administrator);
    EXPECT_FALSE(users[1].second.inherited());
    EXPECT_EQ(users[1].second.on("ESP"), Role::None);
    // The first change writes ana's roles: what she held, less what is taken.
    EXPECT_EQ(store.revoke("ana", "ENG").format(), "administrador:*");
    EXPECT_EQ(store.grant("ana", "ENG", Role::Reader).format(), "administrador:*,leitor:ENG");
    EXPECT_EQ(store.revoke("ana", "*").format(), "leitor:ENG");
    EXPECT_THROW(store.grant("zé", "ENG", Role::Reader), std::invalid_argument);
    EXPECT_THROW(store.grant("ana", "ENGL", Role::Reader), std::invalid_argument);

    // A token names the user, not the roles: a grant reaches an open session.
    const std::string token = store.issue("bia", *store.hashOf("bia"), std::chrono::seconds(60));
    store.grant("bia", "ESP", Role::Reviewer);
    const auto session = store.sessionUser(token);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->grants.on("ESP"), Role::Reviewer);
}

TEST(Roles, ABrokenRolesColumnIsRefusedWithItsLine)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("trd.users").toStdString();
    UserStore(path).add("ana", "senha-1", Grants::parse("leitor:ENG"));
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace("leitor:ENG", "chefe:ENG");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    try {
        UserStore broken(path);
        FAIL() << "read a broken roles column";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("linha 3: papel inválido"), std::string::npos) << e.what();
    }
}
