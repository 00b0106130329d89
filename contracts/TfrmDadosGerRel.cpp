#include "TfrmDadosGerRel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

namespace trd {

TfrmDadosGerRel::TfrmDadosGerRel(QWidget* parent) : TfrmRotiGeral(parent)
{
    panRelat = make<QFrame>("panRelat", this);
    panRelat->setFrameShape(QFrame::StyledPanel);
    auto* row = new QHBoxLayout(panRelat);
    row->setContentsMargins(6, 3, 6, 3);
    auto* caption = make<QLabel>("lblRelatorio", QStringLiteral("Relatório:"), panRelat);
    row->addWidget(caption);
    cbbReportNames = make<QComboBox>("cbbReportNames", panRelat);
    cbbReportNames->setEditable(false);
    row->addWidget(cbbReportNames, 1);
    lblCodRel = make<QLabel>("lblCodRel", panRelat);
    row->addWidget(lblCodRel);
    leftColumn()->addWidget(panRelat);

    msgMensagens = make<TMessages>("msgMensagens", this);
    netQRDesign = make<TNetConnection>("netQRDesign", this);
}

} // namespace trd
