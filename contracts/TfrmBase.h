#pragma once
// What the shared base forms have in common: the screen-code label and the
// base handlers, attached to the form's events so that a derived form only
// overrides them. A derived handler of the same name calls the base version
// (first, as a rule). The base FormClose releases the form: after it returns
// the form is gone once the running event is over, and its opener must build
// a new one next time.
#include "TForm.h"
#include "TMessages.h"

#include <QLabel>

namespace trd {

class TfrmBase : public TForm {
    Q_OBJECT
public:
    explicit TfrmBase(QWidget* parent = nullptr);

    QLabel* lblCodTela; // the screen code, e.g. "TRD09300"
    TMessages* msgPadrao; // the form's own message catalog

    virtual void FormCreate(QObject* sender);
    virtual void FormActivate(QObject* sender);
    virtual void FormClose(QObject* sender, TCloseAction& action);
    virtual void FormKeyDown(QObject* sender, int& key, Qt::KeyboardModifiers shift);

protected:
    // A name-tagged child, as the forms are described: objectName = name.
    template <typename T, typename... Args>
    T* make(const char* name, Args&&... args)
    {
        T* object = new T(std::forward<Args>(args)...);
        object->setObjectName(QString::fromLatin1(name));
        return object;
    }
};

} // namespace trd
