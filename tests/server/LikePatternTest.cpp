#include "LikePattern.h"
#include "Utf8Text.h"

#include <gtest/gtest.h>

using trd::server::LikePattern;

namespace {
bool like(std::string_view text, std::string_view pattern, bool fold = false)
{
    std::string scratch;
    return LikePattern(pattern).matches(text, fold, scratch);
}
} // namespace

TEST(LikePattern, PercentAndUnderscoreAreTheOnlyWildcards)
{
    EXPECT_TRUE(like("CADASTRO", "CAD%"));
    EXPECT_TRUE(like("CADASTRO", "%AST%"));
    EXPECT_TRUE(like("CADASTRO", "%RO"));
    EXPECT_TRUE(like("CADASTRO", "%"));
    EXPECT_TRUE(like("", "%"));
    EXPECT_FALSE(like("", "_"));
    EXPECT_TRUE(like("CADASTRO", "C_D%O"));
    EXPECT_FALSE(like("CADASTRO", "C_D"));
    EXPECT_TRUE(like("ABAB", "%AB"));
    EXPECT_TRUE(like("ABCABD", "%AB_"));
    EXPECT_TRUE(like("AXBXC", "A%B%C"));
    EXPECT_FALSE(like("AXBXC", "A%C%B"));
    // The middle segment must not overlap the anchored end.
    EXPECT_FALSE(like("ABC", "%BC%C"));
    // No escape character: a backslash is itself.
    EXPECT_TRUE(like("A\\%B", "A\\%B"));
    EXPECT_TRUE(like("A\\XB", "A\\%B"));
    EXPECT_FALSE(like("A%B", "A\\%"));
    // Without wildcards LIKE is equality.
    EXPECT_TRUE(like("N", "N"));
    EXPECT_FALSE(like("NN", "N"));
}

TEST(LikePattern, IsCaseSensitiveUnlessTheTextIsFolded)
{
    EXPECT_FALSE(like("Salvar", "%SALVAR%"));
    EXPECT_TRUE(like("Salvar", "%SALVAR%", true));
    EXPECT_FALSE(like("SALVAR", "%salvar%", true)); // the pattern is taken as written
}

TEST(LikePattern, UnderscoreIsOneCharacterNotOneByte)
{
    EXPECT_TRUE(like("AÇÃO", "A__O"));
    EXPECT_FALSE(like("AÇÃO", "A___O"));
    EXPECT_TRUE(like("ação", "A__O", true));
    EXPECT_TRUE(like("œuvre", "_UVRE", true));
}

TEST(LikePattern, FoldsExactlyTheWindows1252Letters)
{
    using trd::server::utf8::toUpper;
    EXPECT_EQ(toUpper("àáâãäåæçèéêëìíîïðñòóôõöøùúûüýþ"), "ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏÐÑÒÓÔÕÖØÙÚÛÜÝÞ");
    EXPECT_EQ(toUpper("šœžÿ"), "ŠŒŽŸ");
    EXPECT_EQ(toUpper("÷µß"), "÷µß");
    EXPECT_EQ(toUpper("abc xyz 123"), "ABC XYZ 123");
    // The letters' neighbours in ASCII stay, also in the eight-byte fast path.
    EXPECT_EQ(toUpper("`az{@AZ[`az{~\x7f_z"), "`AZ{@AZ[`AZ{~\x7f_Z");
    EXPECT_EQ(toUpper("municípios do estado"), "MUNICÍPIOS DO ESTADO");
    // Letters outside the code page stay as they are.
    EXPECT_EQ(toUpper("ăđ"), "ăđ");
    EXPECT_TRUE(like("Município", "%MUNICÍPIO%", true));
}
