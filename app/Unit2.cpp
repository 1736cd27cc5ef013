#include "Unit2.h"

#include "ui_Unit2.h"

#include "DirSearch.h"
#include "Handler.h"
#include "ListBox.h"
#include "ListFile.h"
#include "StringListModel.h"
#include "Unit1.h"

namespace quellora {

TForm2* Form2 = nullptr;

void ScanDirectory(const std::string& dir, TStringListModel& list)
{
    TDirSearch search;
    TSearchRec rec;
    if (!search.FindFirst(dir + "*.mp3", rec))
        return;
    do {
        // Any directory is skipped, whatever further attributes it carries,
        // and so is a name that a list file cannot hold.
        const std::string path = dir + rec.Name;
        if (!(rec.Attr & faDirectory) && FitsListFile(path))
            list.Add(path);
    } while (search.FindNext(rec));
}

TForm2::TForm2(QWidget* mainForm) : TDialogForm(mainForm), ui(new Ui::Form2)
{
    ui->setupUi(this);
    ApplyDialogLook(this, width(), height());

    QPalette editPal = ui->Directory->palette();
    editPal.setColor(QPalette::Base, QColor(160, 160, 164));
    ui->Directory->setPalette(editPal);
    ui->Directory->ClickKey = QKeySequence();

    for (QWidget* control : {static_cast<QWidget*>(ui->Directory), static_cast<QWidget*>(ui->Button1),
                             static_cast<QWidget*>(ui->Button2)})
        ShareKeyPress(control);
    ConnectHandler(ui->Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    ConnectHandler(ui->Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    Create();
}

TForm2::~TForm2()
{
    delete ui;
}

void TForm2::Button1Click()
{
    // The separator is appended even when the text ends in one or is empty ("/" scans the root).
    ScanDirectory(ui->Directory->Text() + "/", Form1->Mp3LisT()->Items());
    Form1->SaveDefaultList();
    hide();
}

void TForm2::Button2Click()
{
    ui->Directory->SetText("");
    hide();
}

void TForm2::FormKeyPress(char& key)
{
    if (key == 27)
        ui->Button2->click();
    if (key == 13)
        ui->Button1->click();
}

} // namespace quellora
