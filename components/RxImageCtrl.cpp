#include "RxImageCtrl.h"

#include "Forms.h"
#include "Handler.h"

#include <QCoreApplication>
#include <QPainter>
#include <QThread>

namespace quellora {

namespace {

constexpr char PaintingCopyMark[] = "quelloraPaintingCopy";

// Marks a widget as being painted as another control's background.
class TPaintCopyMark {
public:
    explicit TPaintCopyMark(QWidget* widget) : widget_(widget)
    {
        widget_->setProperty(PaintingCopyMark, widget_->property(PaintingCopyMark).toInt() + 1);
    }
    ~TPaintCopyMark() { widget_->setProperty(PaintingCopyMark, widget_->property(PaintingCopyMark).toInt() - 1); }
    TPaintCopyMark(const TPaintCopyMark&) = delete;
    TPaintCopyMark& operator=(const TPaintCopyMark&) = delete;

private:
    QWidget* widget_;
};

// Lets `widget` paint the part `area` (in its parent's coordinates) of
// itself into `painter`, whose origin is the point `origin` of the parent.
void RenderPart(QWidget* widget, QPainter& painter, const QPoint& origin, const QRect& area,
                QWidget::RenderFlags flags)
{
    TPaintCopyMark mark(widget);
    const QPoint at = widget->isWindow() ? QPoint() : widget->pos();
    widget->render(&painter, area.topLeft() - origin, QRegion(area.translated(-at)), flags);
}

} // namespace

TRxImageControl::TRxImageControl(QWidget* parent) : QWidget(parent)
{
    resize(105, 105);
    // The paint covers every pixel itself, what lies beneath included.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
}

TRxImageControl::~TRxImageControl() = default;

bool TRxImageControl::PaintingCopy() const
{
    return property(PaintingCopyMark).toInt() > 0;
}

void TRxImageControl::PaintNow()
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        repaint();
    else
        QMetaObject::invokeMethod(this, [this] { update(); }, Qt::QueuedConnection);
}

void TRxImageControl::RefreshAfterChange()
{
    if (Destroying)
        return;
    AdjustAutoSize();
    if (Graphic)
        paletteStep();
    if (!drawing_)
        update();
}

void TRxImageControl::paletteStep()
{
    // Colours are true colour here: no palette is ever realised, the flag
    // only says that the picture's colours were taken in.
    if (isVisible() && !TForm::FormLoading(this))
        Graphic->PaletteModified = false;
}

void TRxImageControl::PaintParentBackground(TBitmap& target)
{
    QWidget* parent = parentWidget();
    if (!parent)
        return;
    QImage picture = target.Image().convertToFormat(QImage::Format_RGB32);
    {
        QPainter painter(&picture);
        const QRect mine = geometry();
        const QRect visible = mine & parent->rect();
        if (!visible.isEmpty()) {
            // The parent's own surface, without its controls.
            RenderPart(parent, painter, mine.topLeft(), visible, QWidget::DrawWindowBackground);
            for (QObject* child : parent->children()) {
                auto* control = qobject_cast<QWidget*>(child);
                if (control == this)
                    break; // the rest lie above this control
                if (!control || control->isWindow() || !control->isVisibleTo(parent))
                    continue;
                const QRect area = control->geometry() & visible;
                if (!area.isEmpty())
                    RenderPart(control, painter, mine.topLeft(), area,
                               QWidget::DrawWindowBackground | QWidget::DrawChildren);
            }
        }
    }
    target.SetImage(picture);
}

void TRxImageControl::paintEvent(QPaintEvent*)
{
    if (buffered_)
        return;
    TCanvas& canvas = Canvas();
    canvas.Lock();
    buffered_ = true;
    try {
        paintImage();
    } catch (const std::exception& e) {
        reportPaintFailure(e.what());
    } catch (...) {
        reportPaintFailure("Unknown exception");
    }
    buffered_ = false;
    {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, buffer_.Image());
    }
    canvas.Unlock();
}

void TRxImageControl::paintImage()
{
    QImage client(size(), QImage::Format_RGB32);
    client.fill(palette().color(backgroundRole()));
    buffer_.SetImage(client);
    const bool wasDrawing = drawing_;
    drawing_ = true;
    try {
        PaintFrame(buffer_.Canvas());
    } catch (...) {
        drawing_ = wasDrawing;
        throw;
    }
    drawing_ = wasDrawing;
}

void TRxImageControl::reportPaintFailure(const std::string& message)
{
    if (paintFailureReported_)
        return;
    paintFailureReported_ = true;
    // Not from inside the paint: a modal box would run the loop in it.
    QMetaObject::invokeMethod(
        this, [message] { RunHandler([&] { ShowErrorReport(message); }); }, Qt::QueuedConnection);
}

} // namespace quellora
