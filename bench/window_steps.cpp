// The longest single step the window's thread takes while a user opens
// sources and goes through their title sets, program chains and pages:
// every event the application delivers is timed, nested ones within the
// outermost. Run by window_bench.sh; the target is 100 ms per step.
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTabWidget>
#include <QToolButton>

#include <cstdio>

#include "app/application.h"
#include "form_about.h"
#include "form_dialogs.h"
#include "main_form.h"

namespace {

class TimedApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        if (depth_++ == 0)
            clock_.start();
        const int type = event->type();
        const bool result = QApplication::notify(receiver, event);
        if (--depth_ == 0 && clock_.nsecsElapsed() > longestNs) {
            longestNs = clock_.nsecsElapsed();
            longestType = type;
        }
        return result;
    }

    qint64 longestNs = 0;
    int longestType = 0;

private:
    int depth_ = 0;
    QElapsedTimer clock_;
};

// Nothing is asked: sources come by drop.
class NoDialogs : public pelvano::gui::FormDialogs {
public:
    std::optional<QString> openFile(QWidget*, const QString&) override { return std::nullopt; }
    std::optional<pelvano::gui::SaveChoice> saveFile(QWidget*, const pelvano::gui::SaveRequest&) override
    {
        return std::nullopt;
    }
    void showError(QWidget*, const QString&, const QString&) override {}
    void showMessage(QWidget*, const QString&, const QString&) override {}
};

template <typename T>
T* Child(QWidget& window, const char* name)
{
    return window.findChild<T*>(QString::fromLatin1(name));
}

// Runs `step` from the event loop, as a user's action arrives, and lets it settle.
template <typename Step>
void Queue(QWidget& window, Step step)
{
    QMetaObject::invokeMethod(&window, step, Qt::QueuedConnection);
    QApplication::processEvents();
    QApplication::processEvents();
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SOURCE...\n", argv[0]);
        return 2;
    }
    TimedApplication app(argc, argv);
    pelvano::gui::SplashPending() = false;
    const pelvano::Application paths(
        pelvano::Application::PathsFor(QApplication::applicationFilePath().toStdString()));
    NoDialogs dialogs;
    pelvano::gui::TMainForm window(dialogs, paths, {});
    window.show();
    QApplication::processEvents();

    qint64 worstNs = 0;
    for (int i = 1; i < argc; ++i) {
        app.longestNs = 0;
        Queue(window, [&] {
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i]))});
            QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&window, &enter);
            QDropEvent drop(QPointF(4, 4), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&window, &drop);
        });
        QElapsedTimer reading;
        reading.start();
        while (!Child<QToolButton>(window, "bttOpenIFO")->isEnabled())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const qint64 readMs = reading.elapsed();
        auto* titleSets = Child<QComboBox>(window, "cbTitleSet");
        auto* titles = Child<QComboBox>(window, "cbTitle");
        auto* pages = Child<QTabWidget>(window, "PageControl1");
        for (int set = 0; set < std::max(1, titleSets->count()); ++set) {
            if (titleSets->count() > 0)
                Queue(window, [&] {
                    titleSets->setCurrentIndex(set);
                    emit titleSets->activated(set);
                });
            for (int pgc = 0; pgc < titles->count(); ++pgc) {
                Queue(window, [&] {
                    titles->setCurrentIndex(pgc);
                    emit titles->activated(pgc);
                });
                for (int page = 0; page < pages->count(); ++page)
                    Queue(window, [&] { pages->setCurrentIndex(page); });
            }
        }
        std::printf(
            "%-50s %2d in the list beside Title, %2d PGC(s); read %4lld ms off the window's thread; longest "
            "step %6.2f ms (event %d)\n",
            argv[i], std::max(1, titleSets->count()), titles->count(), static_cast<long long>(readMs),
            app.longestNs / 1e6, app.longestType);
        worstNs = std::max(worstNs, app.longestNs);
    }
    std::printf("longest step of all: %.2f ms (target: at most 100 ms)\n", worstNs / 1e6);
    return 0;
}
