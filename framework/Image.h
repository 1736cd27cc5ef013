#pragma once
// The image control: shows a picture at its top-left corner. A plain
// picture goes to the window's surface as a copy; a label's painter would
// clip it span by span around the controls above it.

#include <QLabel>

namespace quellora {

class TImage : public QLabel {
    Q_OBJECT
public:
    explicit TImage(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture shown, as the copy takes it, made again when the picture changes.
    QImage picture_;
    qint64 pictureKey_ = 0;
};

} // namespace quellora
