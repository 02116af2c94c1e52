// The window's entry point, loaded by the executable for an interactive
// start only, so that batch runs never load Qt.
#include <QApplication>

#include <exception>
#include <string>
#include <vector>

#include "app/application.h"
#include "form_about.h"
#include "form_dialogs.h"
#include "main_form.h"

extern "C" __attribute__((visibility("default"))) int PelvanoGuiMain(int argc, char** argv,
                                                                     pelvano::Application* application)
{
    using pelvano::gui::TMainForm;
    // Qt sees only the program name: the arguments are file names, and one
    // that looks like a Qt option ("-style") must reach the window as typed.
    static char fallbackName[] = "pelvano";
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 && argv[0] ? argv[0] : fallbackName, nullptr};
    QApplication app(qtArgc, qtArgv);
    QApplication::setApplicationName(QString::fromLatin1(TMainForm::kAppTitle));

    const std::vector<std::string> arguments(argc > 1 ? argv + 1 : argv, argc > 1 ? argv + argc : argv);
    pelvano::gui::QtFormDialogs dialogs;
    try {
        TMainForm form(dialogs, *application, arguments);
        pelvano::gui::TFormAbout FormAbout(&form);
        form.setAboutBox(&FormAbout);
        form.show();
        // Ask for the focus as well: without a window manager to give it,
        // the window would never become active and the splash never show.
        form.activateWindow();
        QApplication::exec();
        return 0;
    } catch (const std::exception& e) {
        dialogs.showError(nullptr, QString::fromLatin1(TMainForm::kAppTitle),
                          pelvano::gui::ErrorMessageText(QString::fromLocal8Bit(e.what())));
        return 1;
    }
}
