#pragma once
// Builds the program's four windows as the entry point does, in a temporary
// executable directory (with a copy of the built default skin), and records
// every modal box instead of showing it.

#include "Application.h"
#include "Dialogs.h"
#include "FileDialogs.h"
#include "Paths.h"
#include "TempDir.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit5.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QScreen>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace quellora::test {

struct ShownBox {
    DialogKind kind;
    std::string caption;
    std::string text;
};

class AppFixture : public ::testing::Test {
protected:
    TempDir exeDir;
    std::vector<ShownBox> boxes;
    // Runs inside every recorded box, as the user's reading time would.
    std::function<void(const ShownBox&)> onBox;

    void SetUp() override
    {
        SetExeDirOverride(exeDir.path());
        SetDialogSink([this](DialogKind kind, const std::string& caption, const std::string& text) {
            boxes.push_back({kind, caption, text});
            if (onBox)
                onBox(boxes.back());
        });
        TFileDialog::SetScript([](const TFileDialogRequest&) -> std::optional<std::string> {
            ADD_FAILURE() << "unexpected file dialog";
            return std::nullopt;
        });
    }

    void TearDown() override
    {
        DestroyForms();
        TFileDialog::SetScript(nullptr);
        SetDialogSink(nullptr);
        SetExeDirOverride("");
    }

    // Copies the default skin that the build made into the executable directory.
    void InstallSkin()
    {
        const char* build = std::getenv("QUELLORA_BUILD_DIR");
        ASSERT_NE(build, nullptr) << "QUELLORA_BUILD_DIR is not set";
        QDir().mkpath(QString::fromStdString(exeDir.file("Skin")));
        for (const char* name : {"Bck.bmp", "GifUp.gif"}) {
            const QString from = QString::fromStdString(std::string(build) + "/Skin/" + name);
            ASSERT_TRUE(QFile::copy(from, QString::fromStdString(exeDir.file("Skin/") + name))) << name;
        }
    }

    // The entry point's steps 1 to 3.
    void CreateForms(std::vector<std::string> params = {})
    {
        Application().Reset();
        Application().Initialize();
        Application().Params = std::move(params);
        Application().SetTitle("Quellora");
        Form1 = new TForm1();
        Form2 = new TForm2(Form1);
        Form3 = new TForm3(Form1);
        Form5 = new TForm5(Form1);
    }

    void DestroyForms()
    {
        delete Form1;
        Form1 = nullptr;
        Form2 = nullptr;
        Form3 = nullptr;
        Form5 = nullptr;
        Application().Reset();
    }

    // The message loop's first step: the main window becomes visible.
    void ShowMainWindow()
    {
        Form1->show();
        QCoreApplication::processEvents();
    }

    // What the main window shows on the screen (its surface, where repaints
    // of changed parts go), unlike a grab, which paints the window anew.
    static QImage OnScreen()
    {
        return Form1->screen()->grabWindow(Form1->winId()).toImage().convertToFormat(QImage::Format_RGB32);
    }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes)
            texts.push_back(box.text);
        return texts;
    }
};

} // namespace quellora::test
