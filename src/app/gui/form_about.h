#pragma once

#include <QDialog>
#include <QUrl>

#include <functional>
#include <memory>

#include "interval_timer.h"

namespace Ui {
class TFormAbout;
}

namespace pelvano::gui {

// How long the box stays up: as a splash at the first activation of the
// main window, and when asked for with the About button. Tests shorten them.
struct AboutDurations {
    int splashMs = 2000;
    int aboutMs = 6000;
};

// Whether the first activation of the main window is still to show the box
// as a splash. Program-wide: set at start, cleared after the first showing.
bool& SplashPending();

// The About box: a frameless picture with the version and a link, shown
// modally for a few seconds. Made once at start-up and reused.
class TFormAbout : public QDialog {
    Q_OBJECT

public:
    // The page the link opens: the read-me beside the executable, which
    // travels with every copy of the program (there is no web site).
    static QUrl ProjectPage();

    explicit TFormAbout(QWidget* mainWindow, AboutDurations durations = {});
    ~TFormAbout() override;

    const AboutDurations& durations() const { return durations_; }

    // Shows the box centred over the main window; returns once it has
    // closed.
    void ShowModal();

    // Opens the link's page; the desktop's default handler unless replaced.
    std::function<void(const QUrl&)> openUrl;

    IntervalTimer Timer1;

protected:
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormShow();
    void FormClick();
    void Timer1Timer();
    void Label3Click();

    std::unique_ptr<Ui::TFormAbout> ui;
    AboutDurations durations_;
};

}  // namespace pelvano::gui
