#pragma once
// The screens are built in code, each control with the name, place and caption
// its layout gives it: one call a control, so the construction reads as the
// layout does.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QRect>
#include <QString>
#include <QWidget>

namespace trd {

// A control of the form: objectName = name, at `bounds` inside parent.
template <typename T>
T* criaEm(QWidget* parent, const char* name, const QRect& bounds)
{
    T* widget = new T(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(bounds);
    return widget;
}

inline QLabel* rotulo(QWidget* parent, const char* name, const QString& caption, const QRect& bounds)
{
    auto* label = criaEm<QLabel>(parent, name, bounds);
    label->setText(caption);
    return label;
}

// A label that hands its shortcut's focus to `buddy`.
inline QLabel* rotulo(QWidget* parent, const char* name, const QString& caption, QWidget* buddy, const QRect& bounds)
{
    QLabel* label = rotulo(parent, name, caption, bounds);
    label->setBuddy(buddy);
    return label;
}

inline QGroupBox* grupo(QWidget* parent, const char* name, const QString& caption, const QRect& bounds)
{
    auto* box = criaEm<QGroupBox>(parent, name, bounds);
    box->setTitle(caption);
    return box;
}

inline QCheckBox* caixa(QWidget* parent, const char* name, const QString& caption, const QRect& bounds)
{
    auto* box = criaEm<QCheckBox>(parent, name, bounds);
    box->setText(caption);
    return box;
}

} // namespace trd
