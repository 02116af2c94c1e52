// Takes the pictures of the main window and the About box kept under docs/. Needs an X
// server (take_screenshots.sh runs it under Xvfb); the pictures are taken
// by ImageMagick's import from the server, as a person would see them.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <cstdio>
#include <filesystem>

#include "app/application.h"
#include "form_about.h"
#include "form_dialogs.h"
#include "main_form.h"

namespace fs = std::filesystem;

namespace {

void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool Report(int rc, const QString& file)
{
    std::printf("%s %s\n", rc == 0 ? "wrote" : "FAILED", qPrintable(file));
    return rc == 0;
}

bool Shoot(QWidget& window, const QString& file)
{
    Settle(400);
    return Report(QProcess::execute(QStringLiteral("import"),
                                    {QStringLiteral("-window"), QString::number(window.winId()), file}),
                  file);
}

// What the screen shows over the window's area, other windows on top of it
// included.
bool ShootScreenOver(const QWidget& window, const QString& file)
{
    const QRect area = window.frameGeometry();
    const QString crop =
        QStringLiteral("%1x%2+%3+%4").arg(area.width()).arg(area.height()).arg(area.x()).arg(area.y());
    return Report(QProcess::execute(QStringLiteral("import"),
                                    {QStringLiteral("-window"), QStringLiteral("root"),
                                     QStringLiteral("-crop"), crop, QStringLiteral("+repage"), file}),
                  file);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || argc > 6) {
        std::fprintf(stderr,
                     "usage: %s <output folder> <VTS_nn_0.IFO> <folder with Readme.txt and pelvano.INI> "
                     "[<image with two title sets> [<Blu-ray folder>]]\n",
                     argv[0]);
        return 2;
    }
    const fs::path out = fs::absolute(argv[1]);
    const fs::path ifo = fs::absolute(argv[2]);
    const fs::path resources = fs::absolute(argv[3]);

    // A private copy of the program folder, so the run leaves nothing behind.
    const fs::path folder = fs::temp_directory_path() / "pelvano-screenshots";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::copy_file(resources / "Readme.txt", folder / "Readme.txt");
    fs::copy_file(resources / "pelvano.INI", folder / "pelvano.INI");
    fs::copy_file(ifo, folder / ifo.filename());

    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    QApplication::setApplicationName(QStringLiteral("Pelvano"));
    pelvano::gui::QtFormDialogs dialogs;
    bool ok = true;
    const pelvano::Application application(pelvano::Application::PathsFor((folder / "pelvano").string()));
    application.enterAppDir();
    const auto path = [&](const char* name) { return QString::fromStdString((out / name).string()); };
    if (argc == 6) {
        // A Blu-ray film: its playlists beside the disabled Title, its rows.
        pelvano::gui::TMainForm form(dialogs, application, {fs::absolute(argv[5]).string()});
        form.show();
        form.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        ok &= Shoot(form, path("main_bluray.png"));
    }
    if (argc >= 5) {
        // A disc with two title sets: the Title set list beside Title.
        pelvano::gui::TMainForm form(dialogs, application, {fs::absolute(argv[4]).string()});
        form.show();
        form.findChild<QTabWidget*>(QStringLiteral("PageControl1"))->setCurrentIndex(1);
        ok &= Shoot(form, path("main_title_sets.png"));
    }
    {
        pelvano::gui::TMainForm form(dialogs, application, {ifo.filename().string()});
        form.show();
        auto* pages = form.findChild<QTabWidget*>(QStringLiteral("PageControl1"));
        auto* cells = form.findChild<QTreeView*>(QStringLiteral("lstCells"));

        pages->setCurrentIndex(0);
        ok &= Shoot(form, path("main_raw_data.png"));

        // Row 4 out of the timestamps (grey), row 1 selected.
        pages->setCurrentIndex(1);
        cells->setCurrentIndex(cells->model()->index(4, 0));
        form.findChild<QAction*>(QStringLiteral("Dontuseintimestamp1"))->trigger();
        cells->setCurrentIndex(cells->model()->index(1, 0));
        ok &= Shoot(form, path("main_customize.png"));

        pages->setCurrentIndex(2);
        ok &= Shoot(form, path("main_format.png"));
        pages->setCurrentIndex(3);
        ok &= Shoot(form, path("main_readme.png"));

        pages->setCurrentIndex(2);
        const QSize size = form.size();
        form.resize(575, 200);
        ok &= Shoot(form, path("main_format_min.png"));
        form.resize(size);

        // "Chapter names..." with names typed in, the second left to the template (grey).
        QTimer::singleShot(600, &form, [&] {
            auto* dialog = QApplication::activeModalWidget();
            const char* names[] = {"Opening titles", "", "\xC3\x89t\xC3\xA9 & <Nuit>",
                                   "\xD0\xA4\xD0\xB8\xD0\xBD\xD0\xB0\xD0\xBB"};
            for (int k = 0; k < 4; ++k)
                dialog->findChild<QLineEdit*>(QStringLiteral("edName%1").arg(k + 1))
                    ->setText(QString::fromUtf8(names[k]));
            Settle(400);
            ok &= ShootScreenOver(*dialog, path("chapter_names.png"));
            dialog->close();
        });
        form.findChild<QToolButton*>(QStringLiteral("bttChapterNames"))->click();

        // The About box over the window, as the About button shows it; long
        // enough to be photographed, then closed as a click would.
        pelvano::gui::SplashPending() = false;
        pelvano::gui::TFormAbout about(&form, {2000, 60000});
        form.setAboutBox(&about);
        Settle(400);
        QTimer::singleShot(600, &about, [&] {
            ok &= ShootScreenOver(form, path("about_box.png"));
            about.close();
        });
        form.findChild<QToolButton*>(QStringLiteral("bttHelpAbout"))->click();
    }
    fs::remove_all(folder);
    return ok ? 0 : 1;
}
