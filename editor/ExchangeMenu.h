#pragma once
// The editor's two menu items for exchange with outside translation tools,
// "Exportar Tradução..." (Ctrl+Shift+E) and "Importar Tradução..."
// (Ctrl+Shift+I), appended to its maintenance menu (docs/editor.md).
namespace trd {

class ServicosDoEditor;

void addExchangeMenu(ServicosDoEditor& editor);

} // namespace trd
