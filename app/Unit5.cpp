#include "Unit5.h"

#include "ui_Unit5.h"

#include "Application.h"
#include "Handler.h"
#include "LinkLabel.h"
#include "QtText.h"
#include "Shell.h"

#include <QPushButton>
#include <QShowEvent>

namespace quellora {

TForm5* Form5 = nullptr;

namespace {
std::string text(const QLabel* label)
{
    return FromQString(label->text());
}
} // namespace

TForm5::TForm5(QWidget* mainForm) : TDialogForm(mainForm), ui(new Ui::Form5)
{
    ui->setupUi(this);
    ApplyDialogLook(this, width(), height());
    ui->Icon->setPixmap(QPixmap(":/forms/quellora.xpm"));

    // A click, Enter or Space on a focused link, or a screen reader's press.
    ui->Label5->OnClick = [this] { Label5Click(); };
    ui->Label7->OnClick = [this] { Label7Click(); };
    ui->Label8->OnClick = [this] { Label8Click(); };
    ui->Label9->OnClick = [this] { Label9Click(); };
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ShareKeyPress(ui->Button1);
    Create();
}

TForm5::~TForm5()
{
    delete ui;
}

std::string TForm5::MailLink(const std::string& address)
{
    return "maiLTo:" + address + "?subject=From Quellora v1.1";
}

void TForm5::openLink(const std::string& link)
{
    hide();
    Application().Minimize();
    ShellOpen(link);
}

void TForm5::Label5Click() { openLink(text(ui->Label5)); }
void TForm5::Label7Click() { openLink(MailLink(text(ui->Label7))); }
void TForm5::Label8Click() { openLink(MailLink(text(ui->Label8))); }
void TForm5::Label9Click() { openLink(MailLink(text(ui->Label9))); }

void TForm5::Button1Click()
{
    hide();
}

void TForm5::showEvent(QShowEvent* event)
{
    TDialogForm::showEvent(event);
    // The box opens with "Ok" in focus, whichever link had it last time.
    if (!event->spontaneous())
        ui->Button1->setFocus();
}

void TForm5::FormKeyPress(char& key)
{
    if (key == 27)
        hide();
}

} // namespace quellora
