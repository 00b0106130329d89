#pragma once
// The rows a release made obsolete, shown in the open editor when asked
// (docs/releases.md): "Mostrar Linhas Obsoletas" (Ctrl+Shift+O) in the
// maintenance menu brings the language's obsolete rows of the selection in
// force (the filter's criteria, else every row) into the grid after the live
// ones, and takes them out again. They enter the row set as loaded rows, never
// its change log, marked by the row set's STOBSOLETA field; the grid paints
// them grey and in italics with the hint "(obsoleta) ...", and every control
// that would change a row is off on them with that reason, as on a reviewed
// row the user may not change (papeis::MotivoSemAlterarLinha). The statistics,
// the reports and the checks are the server's and never see them. Once on,
// every load of the rows brings them again (the editor tells linhasLidas).
// It reaches the editor through ServicosDoEditor alone.
#include <QObject>

class QAction;

namespace trd {

class ServicosDoEditor;
class TClientDataSet;

namespace liberacao {

class ObsoletasDoEditor : public QObject {
    Q_OBJECT
public:
    explicit ObsoletasDoEditor(ServicosDoEditor& editor);

    QAction* mnuObsoletas;

    // The rows of a language were loaded: with the option on, its obsolete rows join them.
    void linhasLidas();
    // How many obsolete rows the grid shows.
    int mostradas() const;

private:
    void alterna(bool mostrar);
    void acrescenta();
    void retira();
    bool obsoleta(int linha) const;

    ServicosDoEditor& m_editor;
    bool m_acrescentando = false;
};

// The rows that are obsolete of the selection the editor's rows were loaded
// with, read from the server into `obsoletas` (the row packet).
void LeObsoletas(ServicosDoEditor& editor, TClientDataSet& obsoletas);

} // namespace liberacao
} // namespace trd
