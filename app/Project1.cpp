// Entry point: the application object, its title, the four windows in
// order, then the message loop.

#include "Application.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit5.h"

#include <QApplication>

using namespace quellora;

int main(int argc, char** argv)
{
    QApplication qtApp(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    // Desktops match the windows to quellora.desktop and its icon.
    QGuiApplication::setDesktopFileName("quellora");
    Application().Initialize();
    for (int i = 1; i < argc; ++i)
        Application().Params.emplace_back(argv[i]);
    Application().SetTitle("Quellora");

    Form1 = new TForm1();
    Form2 = new TForm2(Form1);
    Form3 = new TForm3(Form1);
    Form5 = new TForm5(Form1);
    // The dialogs show the main window's icon too.
    QApplication::setWindowIcon(Form1->windowIcon());

    const int result = Application().Run();
    delete Form1;
    return result;
}
