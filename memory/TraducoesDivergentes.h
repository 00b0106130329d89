#pragma once
// "Traduções divergentes": the sources of the chosen language translated in
// more than one way, each with its variants (translation, how many rows,
// their statuses and programs). Choosing a variant gives it to the source's
// other translated rows in one save (the editor does it: usarVariante). The
// list is asked in the background; the window stays beside the editor.
#include "MemoriaRegras.h"

#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
class QTreeWidget;

namespace trd {

class ConsultaMemoria;

class TraducoesDivergentes : public QWidget {
    Q_OBJECT
public:
    explicit TraducoesDivergentes(QWidget* parent = nullptr);

    // Asks for the language's sources (again).
    void mostraIdioma(const QString& idioma);
    // Asks again; `nota` (what was just saved) leads the state line once the answer is in.
    void atualiza(const QString& nota = QString());

    const std::vector<memoria::OrigemDivergente>& origens() const { return m_origens; }
    QString idioma() const { return m_idioma; }

    QLabel* lblEstado;
    QTreeWidget* lstOrigens;
    QPushButton* btnUsar; // "Usar esta tradução nas outras linhas"
    QPushButton* btnAtualizar;

signals:
    void usarVariante(const QString& idioma, const QString& origem, const memoria::Variante& variante);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void respondeu(int numero, const QByteArray& pacote);
    void falhou(int numero, const QString& mensagem);
    void selecaoMudou();
    const memoria::Variante* varianteEscolhida(QString* origem) const;

    ConsultaMemoria* m_consulta;
    QString m_idioma;
    int m_pedido = 0;
    QString m_nota;
    std::vector<memoria::OrigemDivergente> m_origens;
};

} // namespace trd
