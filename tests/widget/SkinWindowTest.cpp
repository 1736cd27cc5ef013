// The skinned main window: its shape is the skin's opaque pixels, it paints
// the skin, and its body drags it while the list and buttons keep their clicks.

#include "AppFixture.h"
#include "SkinRegion.h"
#include "SurfaceDrag.h"
#include "ui_Unit1.h"

#include <QApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QWindow>

using namespace quellora;
using namespace quellora::test;

namespace {

class SkinWindow : public AppFixture {
protected:
    void SetUp() override
    {
        AppFixture::SetUp();
        TSurfaceDrag::SetSystemMoveAllowed(false);
    }

    void TearDown() override
    {
        TSurfaceDrag::SetSystemMoveAllowed(true);
        AppFixture::TearDown();
    }

    // Mouse events as the window system delivers them: to the window, which finds the control.
    void mouse(QEvent::Type type, QPoint global, Qt::MouseButtons buttons, Qt::MouseButton button = Qt::LeftButton)
    {
        QWindow* window = Form1->windowHandle();
        QMouseEvent event(type, QPointF(global - Form1->pos()), QPointF(global), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &event);
    }

    // Presses at `at` (window coordinates), moves by `by` in two steps, releases.
    void drag(QPoint at, QPoint by, Qt::MouseButton button = Qt::LeftButton)
    {
        const QPoint start = Form1->pos() + at;
        mouse(QEvent::MouseButtonPress, start, button, button);
        mouse(QEvent::MouseMove, start + by / 2, button, Qt::NoButton);
        mouse(QEvent::MouseMove, start + by, button, Qt::NoButton);
        mouse(QEvent::MouseButtonRelease, start + by, Qt::NoButton, button);
    }
};

} // namespace

TEST_F(SkinWindow, ShapeIsTheSkinsOpaquePixels)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    const QImage skin(QString::fromStdString(exeDir.file("Skin/Bck.bmp")));
    ASSERT_FALSE(skin.isNull());
    EXPECT_EQ(Form1->mask(), BuildSkinRegion(skin));
    EXPECT_EQ(Form1->SkinRegion, Form1->mask());
    // The default skin's corners are cut, its middle is not.
    EXPECT_FALSE(Form1->mask().contains(QPoint(0, 0)));
    EXPECT_FALSE(Form1->mask().contains(QPoint(510, 512)));
    EXPECT_TRUE(Form1->mask().contains(QPoint(255, 255)));
}

TEST_F(SkinWindow, SixteenBitSkinsWrittenByImageMagickKeepTheirKeyAndFullColours)
{
    InstallSkin();
    // Drawn without smoothing: the disc is exactly magenta, its edge too,
    // and no other colour of the picture is near it.
    const QString source = QString::fromStdString(exeDir.file("skin.png"));
    auto convert = [](const QStringList& args) {
        QProcess process;
        process.start("convert", args);
        ASSERT_TRUE(process.waitForFinished(60000));
        ASSERT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    };
    convert({"-size", "513x513", "gradient:navy-orange", "+antialias", "-fill", "magenta", "-draw",
             "circle 100,100 100,40", "-fill", "white", "-draw", "rectangle 300,300 400,400", source});
    const QImage picture = QImage(source).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(picture.pixel(100, 100), qRgb(255, 0, 255));
    for (const char* subtype : {"RGB565", "RGB555"}) {
        const QString skin = QString::fromStdString(exeDir.file("Skin/Bck.bmp"));
        // Without alpha, or ImageMagick writes 32 bits whatever the subtype.
        convert({source, "-alpha", "off", "-define", QString("bmp:subtype=") + subtype, "BMP:" + skin});
        QFile file(skin);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        ASSERT_EQ(file.read(30).at(28), 16) << subtype << ": bits per pixel";
        CreateForms();
        EXPECT_TRUE(boxes.empty()) << subtype;
        EXPECT_EQ(Form1->mask(), BuildSkinRegion(picture)) << subtype << ": the magenta disc is cut out";
        EXPECT_EQ(Form1->SkinBitmap.pixel(350, 350), qRgb(255, 255, 255)) << subtype << ": full intensity is 255";
        DestroyForms();
    }
}

TEST_F(SkinWindow, WithoutSkinNothingOfTheWindowIsShown)
{
    CreateForms();
    EXPECT_TRUE(Form1->SkinRegion.isEmpty());
    EXPECT_FALSE(Form1->mask().isEmpty()) << "an empty mask would show the whole window";
    EXPECT_TRUE((Form1->mask() & Form1->rect()).isEmpty());
}

TEST_F(SkinWindow, TheWindowPaintsTheSkinBeneathBck)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    Form1->ui->Bck->hide();
    const QImage shown = Form1->grab().toImage();
    for (const QPoint at : {QPoint(8, 300), QPoint(255, 100), QPoint(500, 300)})
        EXPECT_EQ(shown.pixel(at), Form1->SkinBitmap.pixel(at)) << at.x() << "," << at.y();
}

TEST_F(SkinWindow, BodyStatusAndGaugeDragTheWindow)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    ASSERT_EQ(Form1->pos(), QPoint(202, 84));

    struct Case {
        const char* what;
        QPoint at;
    };
    const Case cases[] = {{"status line", QPoint(17, 95)},
                          {"gauge", QPoint(200, 462)},
                          {"background", QPoint(8, 300)},
                          {"banner", QPoint(200, 40)}};
    for (const Case& c : cases) {
        const QPoint before = Form1->pos();
        drag(c.at, QPoint(40, 30));
        EXPECT_EQ(Form1->pos(), before + QPoint(40, 30)) << c.what;
    }

    // Only the left button drags; a move without a press does nothing.
    const QPoint before = Form1->pos();
    drag(QPoint(8, 300), QPoint(40, 30), Qt::RightButton);
    mouse(QEvent::MouseMove, Form1->pos() + QPoint(60, 60), Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(Form1->pos(), before);
}

TEST_F(SkinWindow, ButtonsAndListKeepTheirClicks)
{
    InstallSkin();
    CreateForms();
    ShowMainWindow();
    const QPoint before = Form1->pos();

    drag(QPoint(288 + 20, 472 + 12), QPoint(0, 0));
    EXPECT_TRUE(Form5->isVisible()) << "About was not clicked";
    EXPECT_EQ(Form1->pos(), before);

    Form1->Mp3LisT()->Items().Add("/a.mp3");
    Form1->Mp3LisT()->Items().Add("/b.mp3");
    drag(QPoint(32 + 50, 112 + 14 + 5), QPoint(40, 30));
    EXPECT_EQ(Form1->pos(), before);
    EXPECT_EQ(Form1->Mp3LisT()->ItemIndex(), 1);
}
