#pragma once
// A label that is a link: a click on it, Enter or Space while it has the
// keyboard focus, and a screen reader's press all run OnClick. Tab reaches
// it; while it has the focus a focus frame is drawn round its text, which
// is otherwise drawn exactly as a plain label draws it.

#include <QAccessibleWidget>
#include <QLabel>

#include <functional>

namespace quellora {

class TLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit TLinkLabel(QWidget* parent = nullptr);

    std::function<void()> OnClick;
    // Runs OnClick through the error report.
    void Click();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

class TAccessibleLinkLabel : public QAccessibleWidget {
public:
    explicit TAccessibleLinkLabel(TLinkLabel* label);

    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString& actionName) override;
};

} // namespace quellora
