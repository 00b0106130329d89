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

// The same with its caption, given by the control's own setter.
template <typename T, typename Setter>
T* criaComTexto(QWidget* parent, const char* name, const QString& caption, const QRect& bounds, Setter poeTexto)
{
    T* widget = criaEm<T>(parent, name, bounds);
    (widget->*poeTexto)(caption);
    return widget;
}

inline QLabel* rotulo(QWidget* parent, const char* name, const QString& caption, const QRect& bounds)
{
    return criaComTexto<QLabel>(parent, name, caption, bounds, &QLabel::setText);
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
    return criaComTexto<QGroupBox>(parent, name, caption, bounds, &QGroupBox::setTitle);
}

inline QCheckBox* caixa(QWidget* parent, const char* name, const QString& caption, const QRect& bounds)
{
    return criaComTexto<QCheckBox>(parent, name, caption, bounds, &QCheckBox::setText);
}

} // namespace trd
