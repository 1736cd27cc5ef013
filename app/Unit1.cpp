#include "Unit1.h"
#include "QtText.h"

#include "ui_Unit1.h"
#include "ui_Unit5.h"

#include "Application.h"
#include "CoolTrayIcon.h"
#include "Dialogs.h"
#include "Exceptions.h"
#include "Gauges.h"
#include "GIFCtrl.h"
#include "Handler.h"
#include "ListBox.h"
#include "MPlayer.h"
#include "OnScreen.h"
#include "Paths.h"
#include "SkinRegion.h"
#include "SurfaceCopy.h"
#include "SurfaceDrag.h"
#include "Timer.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>

// The forms' resources live in a static library: register them by hand.
static void initFormResources()
{
    Q_INIT_RESOURCE(quellora);
}

namespace quellora {

TForm1* Form1 = nullptr;

TForm1::TForm1() : TForm(nullptr, Qt::Window | Qt::FramelessWindowHint), ui(new Ui::Form1)
{
    initFormResources();
    ui->setupUi(this);
    setFixedSize(511, 514);
    // The described place, unless a small screen or a large scale would put
    // part of the window (the buttons first) off the screen.
    MoveOntoScreen(this, QPoint(202, 84));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(240, 240, 240));
    setPalette(pal);

    QPalette listPal = ui->Mp3LisT->palette();
    listPal.setColor(QPalette::Base, QColor(128, 128, 128));
    listPal.setColor(QPalette::Text, QColor(0, 0, 0));
    ui->Mp3LisT->setPalette(listPal);
    ui->Mp3LisT->SetItemHeight(14);

    // The program's icon names the window on the taskbar and in the tray.
    // Read as the XPM it is: an icon made from a file name has every image
    // plugin loaded to ask whether it knows the format.
    setWindowIcon(QIcon(QPixmap::fromImage(QImage(":/forms/quellora.xpm", "XPM"))));
    TrayIcon = new TCoolTrayIcon(this);
    TrayIcon->SetIcon(windowIcon());
    TrayIcon->SetHint("Quellora");
    TrayIcon->MinimizeToTray = true;
    TrayIcon->SetIconVisible(true);

    GeT = new TTimer(this);
    // Nothing is due until a file plays (see scheduleTicks).
    GeT->SetInterval(0);
    GeT->OnTimer = [this] { GeTTimer(); };

    PLayer = new TMediaPlayer(this);
    PLayer->OnNotify = [this] { PLayerNotify(); };

    // Back on the screen, the gauge catches up at once. Off it, the
    // toolkit's cache of drawn pieces (button faces, icons) is let go: it
    // would wake the player half a minute later only to drop them.
    onScreen_ = new TOnScreen(this);
    onScreen_->OnChange = [this](bool onScreen) {
        if (!onScreen)
            QPixmapCache::clear();
        scheduleTicks(true);
    };

    // The body drags the window; what is drawn on it lets the mouse through.
    auto* drag = new TSurfaceDrag(this);
    for (QWidget* surface : std::initializer_list<QWidget*>{ui->Bck, ui->GifUp, ui->Status, ui->Progress})
        drag->AddSurface(surface);

    buildMenu();
    connectHandlers();
    Create();
    watchKeys();
}

TForm1::~TForm1()
{
    // The window's own destruction hides it: nothing is left to schedule.
    onScreen_->OnChange = nullptr;
    unwatchKeys();
    delete ui;
}

TListBox* TForm1::Mp3LisT() const
{
    return ui->Mp3LisT;
}

void TForm1::SetStatusLine(const std::string& text)
{
    status_ = text;
    // Shown as plain text (set in the form): a file named "<b>.mp3" is a name, not markup.
    ui->Status->setText(ToShownText(text));
    ui->Status->adjustSize();
    if (text.empty()) {
        ui->Status->resize(3, 14);
        // Nothing plays: the gauge goes back to 0 once, and no tick follows.
        ui->Progress->SetProgress(0);
    }
    scheduleTicks(true);
    emit StatusLineChanged();
}

void TForm1::buildMenu()
{
    LisTMenu = new QMenu(this);
    LisTMenu->setObjectName("LisTMenu");
    const std::pair<const char*, void (TForm1::*)()> entries[] = {
        {"Add file", &TForm1::Addfile1Click},       {"Add directory", &TForm1::Adddirectory1Click},
        {"Load list", &TForm1::Loadlist1Click},     {"Save list", &TForm1::Savelist1Click},
        {"Clear list", &TForm1::Clearlist1Click},
    };
    for (const auto& [caption, handler] : entries) {
        QAction* action = LisTMenu->addAction(caption);
        ConnectHandler(action, &QAction::triggered, this, [this, h = handler] { (this->*h)(); });
    }
    connect(ui->Mp3LisT, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { LisTMenu->popup(ui->Mp3LisT->viewport()->mapToGlobal(at)); });

    OpenFile.Title = "Add mp3 to list";
    OpenFile.Filter = "Mp3 muzic files|*.mp3";
    OpenFile.DefaultExt = "mp3";
    OpenFile.InitialDir = "C:\\";
    OpenLisT.Title = "Open mp3 list";
    OpenLisT.Filter = "Quellora file list|*.qfl";
    OpenLisT.InitialDir = "C";
    SaveLisT.Filter = "Quellora file list|*.qfl";
    SaveLisT.DefaultExt = "qfl";
    SaveLisT.InitialDir = "C:\\";
}

void TForm1::connectHandlers()
{
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    ConnectHandler(ui->Button4, &QPushButton::clicked, this, [this] { Button4Click(); });
    ConnectHandler(ui->Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
    ui->Mp3LisT->OnDblClick = [this] { Mp3LisTDblClick(); };
    ui->Mp3LisT->OnDropFiles = [this](const std::vector<std::string>& paths) { Mp3LisTDropFiles(paths); };
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    ConnectHandler(ui->Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
    ConnectHandler(ui->Button7, &QPushButton::clicked, this, [this] { Button7Click(); });
    TrayIcon->OnClick = [this] { TrayIconClick(); };
}

std::string TForm1::SkinErrorMessage()
{
    return "Could not load skin from <" + ExeDir() +
           "Skin> Delete <Skin> directory and rename the <Skin2> directory to <Skin> or reinstall Quellora!";
}

void TForm1::FormCreate()
{
    const std::string dir = ExeDir();
    // A skin file that is no regular file counts as missing: a FIFO would
    // hold the start in open() for ever, a device would be read without end.
    if (RegularFileExists(dir + "Skin/Bck.bmp")) {
        loadSkin();
    } else {
        MessageDlgError(SkinErrorMessage());
        Application().Terminate();
    }
    if (RegularFileExists(ResolveNoCase(dir + "Skin/GifUp.gif"))) {
        loadBanner(ResolveNoCase(dir + "Skin/GifUp.Gif"));
    } else {
        MessageDlgError(SkinErrorMessage());
        Application().Terminate();
    }
    // The window's own brush stays clear: the skin paints every pixel.
    setAutoFillBackground(false);
    SkinBitmap = ui->Bck->pixmap().toImage();
    applySkinRegion();
}

void TForm1::loadSkin()
{
    const std::string path = ExeDir() + "Skin/Bck.bmp";
    const QImage image = LoadBitmapFile(path);
    ui->Bck->setPixmap(QPixmap::fromImage(image));
    ui->Bck->resize(image.size());
}

void TForm1::loadBanner(const std::string& path)
{
    ui->GifUp->LoadFromFile(path);
}

void TForm1::applySkinRegion()
{
    SkinRegion = BuildSkinRegion(SkinBitmap);
    SetWindowRgn(this, SkinRegion);
    if (!ShapeHidesPixels()) {
        // The compositor draws the whole window: the cut-out is painted
        // see-through, and nothing drawn over the skin (the banner) reaches into it.
        setAttribute(Qt::WA_TranslucentBackground);
        SkinBitmap = SeeThroughOutside(SkinBitmap, SkinRegion);
        ui->Bck->setPixmap(QPixmap::fromImage(SkinBitmap));
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!(QRegion(child->geometry()) - SkinRegion).isEmpty())
                child->setMask(SkinRegion.translated(-child->pos()));
        }
    }
}

void TForm1::FormPaint(const QRegion& area)
{
    if (!CopyToSurface(this, redirected(nullptr), area, SkinBitmap))
        QPainter(this).drawImage(0, 0, SkinBitmap);
}

void TForm1::paintEvent(QPaintEvent* event)
{
    RunHandler([&] { FormPaint(event->region()); });
}

void TForm1::FormShow()
{
    const std::string defaultList = DefaultListPath();
    // A list that cannot be read is reported; start-up goes on with the list as it was.
    if (FileExists(defaultList))
        RunHandler([&] { Mp3LisT()->Items().LoadFromFile(defaultList); });
    // List files are read at every show, as before; songs ("Open with") are
    // taken at the first show only, so coming back from the tray adds nothing.
    const TArgumentFiles files = SortArgumentFiles(Application().Params);
    for (const std::string& list : files.lists)
        RunHandler([&] { Mp3LisT()->Items().LoadFromFile(list); });
    if (Form3) {
        Form3->show();
        Form3->hide();
    }
    if (!mp3ArgumentsTaken_) {
        mp3ArgumentsTaken_ = true;
        if (!files.songs.empty())
            RunHandler([&] { takeMp3Arguments(files.songs); });
    }
}

void TForm1::FormClose()
{
    releaseComponents();
    Application().Terminate();
}

void TForm1::releaseComponents()
{
    // The About box's image, the banner and the player go before the
    // windows; freeing the player closes its device. The animations' workers
    // end with their controls.
    if (Form5) {
        delete Form5->ui->Mascot;
        Form5->ui->Mascot = nullptr;
    }
    delete ui->GifUp;
    ui->GifUp = nullptr;

    // No tick and no key may reach the player once it is gone.
    GeT->SetEnabled(false);
    unwatchKeys();
    delete PLayer;
    PLayer = nullptr;
}

void TForm1::stopPlayer()
{
    PLayer->Stop();
}

void TForm1::ADDVoLume()
{
    if (GetVolume(*PLayer) + 100 <= 1000) {
        SetVolume(*PLayer, GetVolume(*PLayer) + 100);
        emit VolumeChanged();
    }
}

void TForm1::TakeVoLume()
{
    if (GetVolume(*PLayer) - 100 >= 0) {
        SetVolume(*PLayer, GetVolume(*PLayer) - 100);
        emit VolumeChanged();
    }
}

void TForm1::SetPlayerVolume(int volume)
{
    SetVolume(*PLayer, volume);
    emit VolumeChanged();
}

void TForm1::Button1Click()
{
    // ExiT always ends the program, even when stopping the device fails.
    if (!status_.empty()) {
        try {
            stopPlayer();
        } catch (const std::exception&) {
        }
    }
    Application().Terminate();
}

void TForm1::ExiTNoW()
{
    Application().Terminate();
}

void TForm1::Button2Click()
{
    Form3->show();
}

void TForm1::Button6Click()
{
    Form5->show();
}

void TForm1::Adddirectory1Click()
{
    Form2->show();
}

void TForm1::Button7Click()
{
    Application().Minimize();
}

void TForm1::TrayIconClick()
{
    Application().Restore();
}

void TForm1::BringToFront()
{
    // Out of the tray or the taskbar as the icon brings it; a window already
    // on screen only comes to the top.
    if (Application().Minimized()) {
        TrayIconClick();
        return;
    }
    show();
    raise();
    activateWindow();
}

std::string TForm1::DefaultListPath() const
{
    return ConfigDir() + "Default.qfl";
}

} // namespace quellora
