#pragma once
// Base of the report dialogs: the general dialog plus the report choice
// (panRelat with cbbReportNames and the report code lblCodRel), a second
// catalog of report messages and the connection the report designer uses.
// The report designer dialog itself (rpddPadrao) joins with the report library.
#include "TNetConnection.h"
#include "TfrmRotiGeral.h"

#include <QComboBox>

namespace trd {

class TfrmDadosGerRel : public TfrmRotiGeral {
    Q_OBJECT
public:
    explicit TfrmDadosGerRel(QWidget* parent = nullptr);

    QFrame* panRelat;
    QComboBox* cbbReportNames;
    QLabel* lblCodRel;           // the report code, e.g. "TRD093"
    TMessages* msgMensagens;
    TNetConnection* netQRDesign;
};

} // namespace trd
