#include "DemoData.h"

#include "Mix32.h"
#include "TDateTime.h"

#include <array>
#include <cmath>
#include <string>

namespace trd::server {

namespace {

struct Phrase {
    const char* component;
    const char* pt;
    const char* en;
    const char* es;
    const char* fr;
};

// Screen texts as the client's forms carry them, with their translations.
constexpr Phrase Phrases[] = {
    {"lblCodTela", "Código da Tela", "Screen Code", "Código de Pantalla", "Code de l'écran"},
    {"sbtConfirma", "&Confirmar", "&Confirm", "&Confirmar", "&Confirmer"},
    {"sbtCancel", "&Cancelar", "&Cancel", "&Cancelar", "&Annuler"},
    {"sbtFechar", "&Fechar", "&Close", "&Cerrar", "&Fermer"},
    {"sbtImprimir", "&Imprimir", "&Print", "&Imprimir", "&Imprimer"},
    {"sbtAjuda", "A&juda", "&Help", "A&yuda", "A&ide"},
    {"sbtSalvar", "&Salvar", "&Save", "&Guardar", "&Enregistrer"},
    {"sbtExcluir", "E&xcluir", "&Delete", "E&liminar", "&Supprimer"},
    {"sbtIncluir", "&Incluir", "&Insert", "&Incluir", "A&jouter"},
    {"sbtProcurar", "&Procurar", "&Find", "&Buscar", "&Rechercher"},
    {"sbtFiltro", "Filtrar registros", "Filter records", "Filtrar registros", "Filtrer les enregistrements"},
    {"lblCliente", "Cliente", "Customer", "Cliente", "Client"},
    {"lblFornecedor", "Fornecedor", "Supplier", "Proveedor", "Fournisseur"},
    {"lblEndereco", "Endereço", "Address", "Dirección", "Adresse"},
    {"lblMunicipio", "Município", "City", "Municipio", "Commune"},
    {"lblDataEmissao", "Data de Emissão", "Issue Date", "Fecha de Emisión", "Date d'émission"},
    {"lblDataVencto", "Data de Vencimento", "Due Date", "Fecha de Vencimiento", "Date d'échéance"},
    {"lblValorTotal", "Valor Total", "Total Amount", "Valor Total", "Montant total"},
    {"lblSituacao", "Situação", "Status", "Situación", "Situation"},
    {"lblObservacao", "Observação", "Remarks", "Observación", "Observation"},
    {"lblQuantidade", "Quantidade", "Quantity", "Cantidad", "Quantité"},
    {"lblPrecoUnit", "Preço Unitário", "Unit Price", "Precio Unitario", "Prix unitaire"},
    {"lblDescricao", "Descrição", "Description", "Descripción", "Description"},
    {"lblCondPagto", "Condição de Pagamento", "Payment Terms", "Condición de Pago", "Conditions de paiement"},
    {"lblTransportadora", "Transportadora", "Carrier", "Transportista", "Transporteur"},
    {"lblNumPedido", "Nº do Pedido", "Order No.", "Nº del Pedido", "Nº de commande"},
    {"ckbAtivo", "Ativo", "Active", "Activo", "Actif"},
    {"ckbBloqueado", "Bloqueado para vendas", "Blocked for sales", "Bloqueado para ventas", "Bloqué pour la vente"},
    {"rbtPessoaFisica", "Pessoa Física", "Individual", "Persona Física", "Personne physique"},
    {"rbtPessoaJuridica", "Pessoa Jurídica", "Company", "Persona Jurídica", "Personne morale"},
    {"grbPeriodo", "Período", "Period", "Período", "Période"},
    {"grbTotais", "Totais", "Totals", "Totales", "Totaux"},
    {"dbgItens.Titulo1", "Código", "Code", "Código", "Code"},
    {"dbgItens.Titulo2", "Descrição do Item", "Item Description", "Descripción del Ítem", "Description de l'article"},
    {"dbgItens.Titulo3", "Unid.", "Unit", "Unid.", "Unité"},
    {"edtCodigo.Hint", "Informe o código ou tecle F2 para pesquisar", "Enter the code or press F2 to search",
     "Informe el código o pulse F2 para buscar", "Saisissez le code ou appuyez sur F2 pour rechercher"},
    {"sbtConfirma.Hint", "Confirma as alterações", "Confirms the changes", "Confirma los cambios",
     "Confirme les modifications"},
    {"sbtCancel.Hint", "Cancela as alterações", "Cancels the changes", "Cancela los cambios",
     "Annule les modifications"},
    {"msgPadrao.Excl", "Confirma a exclusão do registro?", "Delete this record?",
     "¿Confirma la eliminación del registro?", "Confirmer la suppression de l'enregistrement ?"},
    {"msgPadrao.Gravado", "Registro gravado com sucesso.\nDeseja incluir outro?",
     "Record saved successfully.\nDo you want to add another?", "Registro guardado con éxito.\n¿Desea incluir otro?",
     "Enregistrement sauvegardé.\nVoulez-vous en ajouter un autre ?"},
    {"msgPadrao.Cod_Inv", "Código inválido.", "Invalid code.", "Código inválido.", "Code invalide."},
    {"msgPadrao.DtIni_Vazia", "Data Inicial deve ser informada.", "Start Date must be entered.",
     "Debe informarse la Fecha Inicial.", "La date de début doit être saisie."},
    {"msgPadrao.Sem_Estoque", "Saldo em estoque insuficiente para o item %s.\nSaldo atual: %d.",
     "Insufficient stock for item %s.\nCurrent balance: %d.",
     "Saldo de stock insuficiente para el ítem %s.\nSaldo actual: %d.",
     "Stock insuffisant pour l'article %s.\nSolde actuel : %d."},
    {"msgPadrao.Cli_Bloq", "Cliente bloqueado pelo crédito & cobrança.", "Customer blocked by credit & collection.",
     "Cliente bloqueado por crédito & cobranza.", "Client bloqué par crédit & recouvrement."},
    {"msgPadrao.Conexao", "Não foi possível conectar ao servidor de aplicação.\nVerifique a rede e tente novamente.",
     "Could not connect to the application server.\nCheck the network and try again.",
     "No fue posible conectar al servidor de aplicación.\nVerifique la red e intente nuevamente.",
     "Impossible de se connecter au serveur d'applications.\nVérifiez le réseau et réessayez."},
    {"mnuRelatorios", "&Relatórios", "&Reports", "&Informes", "&Rapports"},
    {"mnuManutencao", "&Manutenção", "&Maintenance", "&Mantenimiento", "&Maintenance"},
    {"tshGeral", "Geral", "General", "General", "Général"},
    {"tshComplemento", "Complemento", "Additional", "Complemento", "Complément"},
    {"lblUsuario", "Usuário", "User", "Usuario", "Utilisateur"},
    {"lblSenha", "Senha", "Password", "Contraseña", "Mot de passe"},
    {"Caption", "Cadastro de Clientes", "Customer Registration", "Registro de Clientes", "Fichier des clients"},
    {"lblAliquota", "Alíquota de ICMS (%)", "ICMS Rate (%)", "Alícuota de ICMS (%)", "Taux d'ICMS (%)"},
    {"lblPesoBruto", "Peso Bruto (kg)", "Gross Weight (kg)", "Peso Bruto (kg)", "Poids brut (kg)"},
    {"lblReferencia", "Referência", "Reference", "Referencia", "Référence"},
};

constexpr const char* Programs[] = {"TRD09300", "TRD09301", "TRD09302", "TRD09303", "TRD09306", "CAD01001", "CAD01002",
                                    "CAD01010", "CAD01015", "FAT02001", "FAT02010", "FAT02011", "FAT02020", "EST03001",
                                    "EST03005", "EST03012", "FIN04001", "FIN04002", "FIN04010", "FIN04030", "COM05001",
                                    "COM05007", "PCP06001", "PCP06004", "CTB07001", "CTB07002", "FIS08001", "FIS08003",
                                    "RH10001",  "RH10005",  "VEN11001", "VEN11002", "EXP12001", "EXP12003", "LOG13001",
                                    "LOG13002", "QUA14001", "MAN15001", "SEG16001", "SEG16002"};

} // namespace

DemoCounts fillDemo(WriteCoordinator& writer)
{
    struct Lang {
        const char* code;
        const char* name;
        int column; // 0 en, 1 es, 2 fr, -1 not translated yet
    };
    const Lang langs[] = {{"ENG", "Inglês", 0}, {"ESP", "Espanhol", 1}, {"FRA", "Francês", 2}, {"ALE", "Alemão", -1}};
    DemoCounts counts;
    const double today = std::floor(trd::Now());
    WriteOrigin origin;
    origin.method = "--demo";
    origin.kind = BatchKind::Import;
    writer.runExclusive(origin, [&](StorageWriter& w) {
        for (const auto& lang : langs) {
            w.putLanguage({lang.code, lang.name, "POR"});
            ++counts.languages;
        }
        w.beginBulkLoad();
        std::uint32_t seq = 0;
        for (const auto& lang : langs) {
            for (std::uint32_t p = 0; p < std::size(Programs); ++p) {
                for (std::uint32_t i = 0; i < std::size(Phrases); ++i) {
                    // Each program uses about two thirds of the texts.
                    if (mix32(p * 131 + i) % 3 == 0)
                        continue;
                    const Phrase& ph = Phrases[i];
                    const std::uint32_t r = mix32(++seq);
                    TranslationRow row;
                    row.key = {lang.code, Programs[p], ph.component, ph.pt};
                    const char* translated = lang.column == 0 ? ph.en : lang.column == 1 ? ph.es : ph.fr;
                    const unsigned pick = r % 100;
                    if (lang.column < 0 || pick < 25) {
                        row.status = "N";
                        row.destination = ph.pt;
                    } else {
                        row.status = pick < 35 ? "D" : "T";
                        row.destination = translated;
                    }
                    row.changed = today - double((r >> 8) % 365) + double((r >> 20) % 86400) / 86400.0;
                    w.insertRow(row, today);
                    ++counts.rows;
                }
            }
        }
        w.endBulkLoad();
    });
    return counts;
}

} // namespace trd::server
