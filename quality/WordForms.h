#pragma once
// What makes two written words one word for the glossary. Each word has
// its forms (itself, and in Portuguese the singular and masculine its
// endings give, where the dictionary knows them: "arquivos" -> "arquivo",
// "usuária" -> "usuário") and its stems (what the dictionary derives it
// from: "salvando" -> "salvar", "orders" -> "order"). A term's word t
// matches a text word w when
//   - they share a form ("Pedido" and "pedidos", "Ativo" and "ativa"); or
//   - t is a stem of itself (an infinitive, most English words) and a stem
//     of w ("Salvar" and "salvou", "Order" and "ordered"); or
//   - both begin with one stem the dictionary gives them both: en_US
//     derives "customer" and "customers" from "custom".
// Two words that share only a stem neither begins with are not one word:
// "pedido" and "pede" both come from "pedir" in the dictionary, and
// "Pedido" is not "pede".
//
// Without a dictionary a word's only form is itself, lower case: exact word
// match. The rule is written out, with examples, in docs/glossary.md.
#include <QString>
#include <QStringList>

#include <memory>
#include <mutex>

class Hunspell;

namespace trd::quality {

class WordForms {
public:
    virtual ~WordForms() = default;
    struct Keys {
        QStringList forms; // the word itself first
        QStringList stems;
    };
    // The keys of a word already in lower case with no shortcut mark.
    virtual Keys keys(const QString& word) = 0;
    // Whether words are compared by their stems (a dictionary) or as written.
    virtual bool stems() const = 0;
};

// Exact word match: the only key of a word is the word.
class ExactWordForms final : public WordForms {
public:
    Keys keys(const QString& word) override { return {{word}, {}}; }
    bool stems() const override { return false; }
};

// Stems from a Hunspell dictionary. One object may serve several threads:
// the dictionary is asked under a lock (each matcher remembers what it
// asked, so the lock is taken only for words it meets the first time).
class HunspellWordForms final : public WordForms {
public:
    // Null when the dictionary's files cannot be read or its encoding is not
    // one the texts can be written in. `portuguese` adds the plural rule
    // of Portuguese (docs/glossary.md).
    static std::unique_ptr<HunspellWordForms> open(const QString& affixFile, const QString& wordFile, bool portuguese);
    ~HunspellWordForms() override;

    Keys keys(const QString& word) override;
    bool stems() const override { return true; }

private:
    HunspellWordForms(std::unique_ptr<Hunspell> hunspell, bool utf8, bool portuguese);
    void addStems(const QString& word, QStringList& stems);
    bool known(const QString& word);

    std::unique_ptr<Hunspell> m_hunspell;
    std::mutex m_lock;
    bool m_utf8;
    bool m_portuguese;
};

// The singular forms Portuguese spelling would give a plural, and the
// masculine forms of a feminine, before the dictionary is asked which of
// them exist: "arquivos" -> "arquivo"; "alemães" -> "alemão"; "fiscais" ->
// "fiscal"; "flores" -> "flor"; "usuárias" -> "usuária" -> "usuário";
// "alemã" -> "alemão"; "professora" -> "professor".
QStringList portugueseBaseForms(const QString& word);

} // namespace trd::quality
