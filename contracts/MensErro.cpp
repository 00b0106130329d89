#include "MensErro.h"

#include "DialogSeam.h"

namespace trd {

void MensErro(const QString& text, bool abandon)
{
    MessageDlg(text, mtError, mbOK, 0);
    if (abandon)
        throw EMensErro(text);
}

} // namespace trd
