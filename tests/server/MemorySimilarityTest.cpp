// The similarity of the translation memory against pairs worked out by hand,
// the fast edit distance against the textbook one, the fold against the
// find/replace dialog's, and the index's top five against a brute-force
// ranking of the documented rule on a seeded set of rows.
#include "EditDistance.h"
#include "MemoryIndex.h"
#include "MemoryText.h"
#include "SubstituirRegras.h"
#include "Win1252.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

using namespace trd::server::memory;

namespace {

// Texts in the tests are written in UTF-8; the memory compares Windows-1252.
Similarity sim(const std::string& a, const std::string& b)
{
    return similarity(memoryText(a), memoryText(b));
}

// The definition written out once more, independently of the library:
// Levenshtein over the characters of the folded texts, by the full table
// (kept one row at a time).
int referenceDistance(const std::string& a, const std::string& b)
{
    const std::string x = folded(a), y = folded(b);
    std::vector<int> previous(y.size() + 1), current(y.size() + 1);
    for (std::size_t j = 0; j <= y.size(); ++j)
        previous[j] = static_cast<int>(j);
    for (std::size_t i = 1; i <= x.size(); ++i) {
        current[0] = static_cast<int>(i);
        for (std::size_t j = 1; j <= y.size(); ++j)
            current[j] =
                std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (x[i - 1] == y[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous[y.size()];
}

} // namespace

TEST(MemorySimilarity, HandWorkedPairs)
{
    struct Pair {
        std::string a, b;
        int distance, longer, shown;
    };
    const std::vector<Pair> pairs = {
        {"Salvar", "Salvar como", 5, 11, 54}, // 100 × (1 − 5/11) = 54.5
        {"Cancelar", "Cancela", 1, 8, 87}, // 87.5 shown rounded down
        {"kitten", "sitting", 3, 7, 57}, // 57.14
        {"abc", "abX", 1, 3, 66}, // 66.67: rounded down, never up
        {"abcdefghij", "abcdefgXYZ", 3, 10, 70}, // exactly 70
        {"Abrir arquivo", "ABRIR ARQUIVO", 0, 13, 100}, // case folded
        {"Ação", "AÇÃO", 0, 4, 100}, // the accented letters of the dialog's table fold
        {"ý", "Ý", 1, 1, 0}, // ý is not in that table: a different letter
        {"Æther", "æther", 1, 5, 80}, // nor æ
        {"&Salvar", "Salvar", 0, 6, 100}, // shortcut marks removed before comparing
        {"Sal&var", "&Salvar", 0, 6, 100},
        {"&&x", "x", 1, 2, 50}, // "&&x" keeps one "&"
        {"Fechar", "Fechar ", 1, 7, 85}, // a blank counts
        {"", "", 0, 0, 100},
        {"", "Abrir", 5, 5, 0},
        {"Opção inválida", "Opcao invalida", 3, 14, 78}, // ç/c, ã/a, á/a differ: accents are letters
    };
    for (const Pair& p : pairs) {
        const Similarity s = sim(p.a, p.b);
        EXPECT_EQ(s.distance, p.distance) << p.a << " / " << p.b;
        EXPECT_EQ(s.longer, p.longer) << p.a << " / " << p.b;
        EXPECT_EQ(s.shownPercent(), p.shown) << p.a << " / " << p.b;
        EXPECT_EQ(sim(p.b, p.a).distance, p.distance) << "symmetric: " << p.a << " / " << p.b;
    }
    // The threshold applies to the exact value: 70 % is in at 70, 69.97 % is not.
    EXPECT_TRUE(sim("abcdefghij", "abcdefgXYZ").meets(70));
    EXPECT_FALSE(sim("abc", "abX").meets(66.7));
    EXPECT_TRUE(sim("abc", "abX").meets(66.6));
}

TEST(MemorySimilarity, FourThousandCharacters)
{
    const std::string full(4000, 'a');
    EXPECT_EQ(sim(full, std::string(3999, 'a') + "b").distance, 1);
    EXPECT_EQ(sim(full, std::string(3999, 'a') + "b").shownPercent(), 99); // 99.975
    // 2,800 of 4,000: exactly 70 %, in; 2,799: 69.975 %, out.
    const Similarity in = sim(full, std::string(2800, 'a'));
    EXPECT_EQ(in.distance, 1200);
    EXPECT_TRUE(in.meets(70));
    EXPECT_EQ(in.shownPercent(), 70);
    EXPECT_FALSE(sim(full, std::string(2799, 'a')).meets(70));
    // Accented letters over many blocks of the bit-parallel distance.
    std::string accents;
    for (int i = 0; i < 1000; ++i)
        accents += "ção ";
    std::string upper;
    for (int i = 0; i < 1000; ++i)
        upper += i == 500 ? "CAO " : "ÇÃO ";
    EXPECT_EQ(sim(accents, upper).distance, 2);
}

TEST(MemorySimilarity, FastDistanceEqualsTheFullTable)
{
    std::mt19937 random(20261208);
    const std::string alphabet = "aAbBcç Çã&\t.ýÝ";
    std::vector<std::string> letters;
    for (std::size_t i = 0; i < alphabet.size();) {
        const std::size_t n = (static_cast<unsigned char>(alphabet[i]) & 0x80) ? 2 : 1;
        letters.push_back(alphabet.substr(i, n));
        i += n;
    }
    auto randomText = [&](std::size_t length) {
        std::string t;
        for (std::size_t i = 0; i < length; ++i)
            t += letters[random() % letters.size()];
        return t;
    };
    for (int round = 0; round < 500; ++round) {
        // Lengths around the 64-character blocks of the fast algorithm, then
        // patterns of several blocks.
        const std::size_t la = random() % (round < 300 ? 70 : round < 400 ? 200 : 400);
        std::string a = toWin1252(randomText(la));
        std::string b = a;
        for (int e = static_cast<int>(random() % 12); e > 0 && !b.empty(); --e) {
            const std::size_t at = random() % b.size();
            switch (random() % 3) {
            case 0:
                b.erase(at, 1);
                break;
            case 1:
                b.insert(at, toWin1252(letters[random() % letters.size()]));
                break;
            default:
                b[at] = toWin1252(letters[random() % letters.size()])[0];
            }
        }
        if (round % 5 == 0)
            b = toWin1252(randomText(random() % 140));
        ASSERT_EQ(editDistance(a, b), referenceDistance(a, b)) << "round " << round;
        ASSERT_EQ(EditDistancePattern(a).distance(b), editDistanceReference(a, b)) << "round " << round;
        // The letters' bound never passes the distance, and is the distance
        // when only letters of one kind were dropped.
        ASSERT_LE(letterDistance(letterCounts(a), letterCounts(b)), editDistanceReference(a, b)) << "round " << round;
        ASSERT_EQ(letterDistance(letterCounts(a), letterCounts(a + std::string(round % 7, 'x'))), round % 7);
        // A lane each, texts of different lengths in the lanes.
        const EditDistancePattern pattern(a);
        constexpr int Lanes = static_cast<int>(EditDistancePattern::Lanes);
        std::string texts[Lanes];
        std::string_view views[Lanes];
        for (int k = 0; k < Lanes; ++k) {
            texts[k] = k == 0 ? b : toWin1252(randomText(1 + random() % (round < 400 ? 90 : 450)));
            views[k] = texts[k];
        }
        int lanes[Lanes];
        pattern.distances(views, lanes);
        for (int k = 0; k < Lanes; ++k)
            ASSERT_EQ(lanes[k], editDistanceReference(a, texts[k])) << "round " << round << " lane " << k;
    }
}

TEST(MemorySimilarity, FoldsExactlyAsTheFindAndReplaceDialog)
{
    for (int byte = 0; byte < 256; ++byte) {
        const char16_t unicode = trd::win1252::toUnicode(static_cast<unsigned char>(byte));
        if (unicode == 0xFFFD)
            continue;
        const QString dialog = trd::substituir::Dobra(QString(QChar(unicode)));
        const std::string ours = fromWin1252(std::string(1, static_cast<char>(fold(static_cast<unsigned char>(byte)))));
        EXPECT_EQ(ours, dialog.toStdString()) << "byte " << byte;
    }
}

namespace {

struct SeedRow {
    std::int64_t id;
    std::string source, destination;
    char status;
    double changed;
};

struct Ranked {
    std::string text;
    int distance, longer;
    std::int64_t best;
};

// Every distinct source (marks removed, case kept) with a translated T or D
// row, but the one asked about, with its best row and its distance.
std::vector<Ranked> candidates(const std::vector<SeedRow>& rows, const std::string& asked)
{
    std::map<std::string, const SeedRow*> best;
    for (const SeedRow& r : rows) {
        if (r.destination.empty() || (r.status != 'T' && r.status != 'D'))
            continue;
        const std::string text = memoryText(r.source);
        const SeedRow*& b = best[text];
        if (!b
            || (r.status != b->status         ? r.status == 'T'
                    : r.changed != b->changed ? r.changed > b->changed
                                              : r.id < b->id))
            b = &r;
    }
    const std::string q = memoryText(asked);
    std::vector<Ranked> all;
    for (const auto& [text, row] : best)
        if (text != q)
            all.push_back(
                {text, referenceDistance(q, text), static_cast<int>(std::max(q.size(), text.size())), row->id});
    return all;
}

// The documented ranking: similarity ≥ threshold, then the best row's status
// (T first), its change (newest first), then the text's bytes; five at most.
std::vector<Ranked> ranking(std::vector<Ranked> all, const std::vector<SeedRow>& rows, double threshold)
{
    std::erase_if(all, [&](const Ranked& r) { return 100.0 * (r.longer - r.distance) < threshold * r.longer; });
    std::map<std::int64_t, const SeedRow*> byId;
    for (const SeedRow& r : rows)
        byId[r.id] = &r;
    std::sort(all.begin(), all.end(), [&](const Ranked& a, const Ranked& b) {
        const long long l = static_cast<long long>(a.longer - a.distance) * b.longer;
        const long long r = static_cast<long long>(b.longer - b.distance) * a.longer;
        if (l != r)
            return l > r;
        const SeedRow* x = byId[a.best];
        const SeedRow* y = byId[b.best];
        if (x->status != y->status)
            return x->status == 'T';
        if (x->changed != y->changed)
            return x->changed > y->changed;
        return a.text < b.text;
    });
    if (all.size() > 5)
        all.resize(5);
    return all;
}

// Screen texts with repeats and near repeats: words of a small vocabulary,
// a shortcut mark now and then, case changed, a word dropped or swapped, a
// few long texts, every status, empty translations, change dates with ties.
std::vector<SeedRow> seededRows(std::mt19937& random, int count)
{
    const std::vector<std::string> words = {"Salvar",   "arquivo",  "como",     "Abrir",    "Fechar",   "relatório",
                                            "Cancelar", "Confirma", "exclusão", "do",       "registro", "Código",
                                            "da",       "tela",     "Opção",    "inválida", "Informe",  "o",
                                            "cliente",  "ação",     "Período"};
    std::vector<SeedRow> rows;
    std::vector<std::string> sources;
    for (int i = 0; i < count; ++i) {
        std::string source;
        const unsigned kind = random() % 10;
        if (kind < 3 && !sources.empty()) {
            source = sources[random() % sources.size()]; // a repeat
        } else if (kind < 6 && !sources.empty()) {
            source = sources[random() % sources.size()]; // a near repeat
            const std::size_t at = random() % (source.size() + 1);
            switch (random() % 4) {
            case 0:
                source.insert(at, " " + words[random() % words.size()]);
                break;
            case 1:
                if (!source.empty())
                    source.erase(at > 0 ? at - 1 : 0, 1);
                break;
            case 2:
                source.insert(at, "&");
                break;
            default:
                std::transform(source.begin(), source.end(), source.begin(),
                               [](char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; });
            }
        } else {
            const int n = kind == 9 && random() % 4 == 0 ? 20 + static_cast<int>(random() % 60)
                                                         : 1 + static_cast<int>(random() % 7);
            for (int w = 0; w < n; ++w)
                source += (w ? " " : "") + words[random() % words.size()];
        }
        sources.push_back(source);
        const char status = "TTDN"[random() % 4];
        const std::string destination = random() % 8 == 0 ? "" : "tr" + std::to_string(random() % 3);
        rows.push_back({i + 1, source, destination, status, 46000.0 + static_cast<double>(random() % 20)});
    }
    return rows;
}

void put(MemoryIndex& index, const SeedRow& r)
{
    index.put({r.id, "ENG", r.source, r.destination, r.status, r.changed, "P" + std::to_string(r.id), "c"});
}

} // namespace

TEST(MemorySimilarity, TopFiveEqualTheBruteForceRankingOfTheSeededSet)
{
    std::mt19937 random(930093);
    std::vector<SeedRow> rows = seededRows(random, 2500);
    MemoryIndex index;
    for (const SeedRow& r : rows)
        put(index, r);
    index.buildAllGrams();
    // After the lists were built: changes, new rows (in the tail), deletions.
    for (int i = 0; i < 300; ++i) {
        SeedRow& r = rows[random() % rows.size()];
        r.status = "TDN"[random() % 3];
        r.changed += 1;
        put(index, r);
    }
    std::vector<SeedRow> more = seededRows(random, 400);
    for (SeedRow& r : more) {
        r.id += 10000;
        rows.push_back(r);
        put(index, r);
    }
    for (int i = 0; i < 100; ++i) {
        const std::size_t at = random() % rows.size();
        index.remove(rows[at].id);
        rows.erase(rows.begin() + static_cast<std::ptrdiff_t>(at));
    }

    const MemoryIndex::Language* language = index.language("ENG");
    ASSERT_NE(language, nullptr);
    int compared = 0, nonEmpty = 0;
    for (int q = 0; q < 150; ++q) {
        std::string asked = rows[random() % rows.size()].source;
        if (q % 3 == 0 && !asked.empty())
            asked.erase(random() % asked.size(), 1);
        const std::vector<Ranked> all = candidates(rows, asked);
        for (const double threshold : {70.0, 50.0, 90.0}) {
            const std::vector<Ranked> expected = ranking(all, rows, threshold);
            const auto found = index.fuzzy(*language, memoryText(asked), threshold, 5);
            ASSERT_EQ(found.size(), expected.size()) << asked << " at " << threshold;
            for (std::size_t i = 0; i < found.size(); ++i) {
                EXPECT_EQ(index.text(*language, found[i].entry), expected[i].text) << asked << " #" << i;
                EXPECT_EQ(found[i].similarity.distance, expected[i].distance) << asked << " #" << i;
                EXPECT_EQ(index.row(found[i].best).id, expected[i].best) << asked << " #" << i;
            }
            // The unfiltered scan agrees as well.
            const auto scanned = index.fuzzyBruteForce(*language, memoryText(asked), threshold, 5);
            ASSERT_EQ(scanned.size(), found.size());
            for (std::size_t i = 0; i < found.size(); ++i)
                EXPECT_EQ(scanned[i].entry, found[i].entry);
            ++compared;
            nonEmpty += found.empty() ? 0 : 1;
        }
    }
    // The set must exercise the ranking, not only agree on empty answers.
    EXPECT_GT(nonEmpty, compared / 2);
}
