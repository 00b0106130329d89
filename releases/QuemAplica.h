#pragma once
// Who may apply a release of the application. Applying rewrites every
// language at once, so it belongs to the administrator; until the server tells
// the client the user's role, every user who may edit may apply (the preview
// is for everyone). The release window asks this alone whether its apply is
// enabled.
namespace trd::liberacao {

bool PodeAplicarLiberacao();

} // namespace trd::liberacao
