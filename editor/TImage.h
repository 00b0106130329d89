#pragma once
// A picture kept on a form: the bitmap other components take their glyphs and
// icons from, shown as a label when its panel is visible.
#include <QImage>
#include <QLabel>
#include <QPixmap>

namespace trd {

class TImage : public QLabel {
public:
    explicit TImage(QWidget* parent = nullptr) : QLabel(parent) { }

    const QImage& Picture() const { return m_picture; }
    void SetPicture(const QImage& picture)
    {
        m_picture = picture;
        setPixmap(QPixmap::fromImage(picture));
        resize(picture.size());
    }

private:
    QImage m_picture;
};

} // namespace trd
