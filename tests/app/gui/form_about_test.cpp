// The About box: its picture, its clicks and the timer rules its showing
// rests on, with the two durations shortened.
#define QTEST_QPA_MOUSE_HANDLING  // clicks land where the window's hit test puts them
#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <vector>

#include "app/application.h"
#include "base/version.h"
#include "fake_dialogs.h"
#include "form_about.h"
#include "interval_timer.h"
#include "main_form.h"
#include "test_util.h"

using namespace pelvano::gui;
namespace test = pelvano::test;

namespace {

constexpr AboutDurations kShort{150, 600};

// When the box showed and hid, and where it stood.
class ShowingLog : public QObject {
public:
    struct Showing {
        qint64 shownAt = -1, hiddenAt = -1;
        QRect geometry;
    };

    explicit ShowingLog(QWidget& box)
    {
        box.installEventFilter(this);
        clock_.start();
    }
    std::vector<Showing> showings;
    qint64 duration(size_t i) const { return showings.at(i).hiddenAt - showings.at(i).shownAt; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            showings.push_back({clock_.elapsed(), -1, static_cast<QWidget*>(watched)->frameGeometry()});
        else if (event->type() == QEvent::Hide && !showings.empty())
            showings.back().hiddenAt = clock_.elapsed();
        return false;
    }

private:
    QElapsedTimer clock_;
};

void Activate(QWidget& window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

}  // namespace

class FormAboutTest : public QObject {
    Q_OBJECT

    const QString savedCwd_ = QDir::currentPath();
    test::TempDir dir_;
    test::FakeDialogs dialogs_;
    const pelvano::Application app_{pelvano::Application::PathsFor(dir_.file("pelvano"))};
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TFormAbout> about_;

    // The main window with its About box, as the entry point makes them.
    void start(const std::vector<std::string>& args = {})
    {
        form_ = std::make_unique<TMainForm>(dialogs_, app_, args);
        about_ = std::make_unique<TFormAbout>(form_.get(), kShort);
        form_->setAboutBox(about_.get());
    }

    QPoint centreOf(const char* name) { return about_->findChild<QWidget*>(name)->geometry().center(); }
    void clickBox(QPoint at) { QTest::mouseClick(about_.get(), Qt::LeftButton, {}, at); }
    void clickAbout() { QTest::mouseClick(form_->findChild<QToolButton*>("bttHelpAbout"), Qt::LeftButton); }

private slots:
    void init() { SplashPending() = false; }

    void cleanup()
    {
        about_.reset();
        form_.reset();
        QDir::setCurrent(savedCwd_);
    }

    // The rules the box's showings below do not reach: keeping a countdown
    // when the interval is set again unchanged shows there.
    void timerRules()
    {
        IntervalTimer timer(200);
        timer.setInterval(300);  // disabled: nothing starts
        QCOMPARE(timer.remainingTime(), -1);
        timer.setEnabled(true);
        QTest::qWait(100);
        QVERIFY(timer.remainingTime() <= 210);
        timer.setInterval(500);  // a new interval restarts a running countdown
        QVERIFY(timer.remainingTime() > 400);
        timer.setInterval(0);  // 0 never ticks
        QCOMPARE(timer.remainingTime(), -1);
        int ticks = 0;
        timer.onTimer = [&] { ++ticks; };
        timer.setInterval(20);
        QTRY_VERIFY(ticks >= 2);  // it repeats until disabled
        timer.setEnabled(false);
        QCOMPARE(timer.remainingTime(), -1);
    }

    void defaultsAndPicture()
    {
        TFormAbout box(nullptr);
        QCOMPARE(QList<int>({box.durations().splashMs, box.durations().aboutMs, box.Timer1.interval()}),
                 QList<int>({2000, 6000, 2000}));
        QVERIFY(!box.Timer1.enabled() && box.isModal());
        QVERIFY(box.windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        // The version label grows to fit a wider font, inside the box.
        auto* version = box.findChild<QLabel*>("Label2");
        QCOMPARE(version->text(), QStringLiteral("Version ") + pelvano::kVersion);
        QVERIFY(version->width() > version->fontMetrics().horizontalAdvance(version->text()));
        QCOMPARE(version->geometry().right(), 272 + 65 - 1);

        // A black frame inside the box's edge; within it the picture drawn
        // unscaled from its top-left corner.
        const QImage picture(":/pictures/about_box.png");
        QCOMPARE(picture.size(), QSize(341, 224));
        const QImage shot = box.grab().toImage();
        QCOMPARE(shot.size(), QSize(342, 225));
        for (const QPoint& p :
             {QPoint(0, 0), QPoint(341, 0), QPoint(0, 224), QPoint(341, 224), QPoint(170, 224)})
            QCOMPARE(shot.pixelColor(p), QColor(Qt::black));
        for (const QPoint& p : {QPoint(0, 0), QPoint(339, 222), QPoint(150, 120)})
            QCOMPARE(shot.pixelColor(p + QPoint(1, 1)), picture.pixelColor(p));
    }

    void clicksOnTheBox()
    {
        start();
        Activate(*form_);
        ShowingLog log(*about_);
        QStringList opened;
        about_->openUrl = [&](const QUrl& url) { opened << url.toString(); };
        bool modal = false, openAfterClicks = false;
        QTimer::singleShot(50, this, [&] {
            modal = QApplication::activeModalWidget() == about_.get();
            // The frame, the two labels and the link leave the box open.
            // (QTest reads 0,0 as "the middle".)
            for (const QPoint& p : {QPoint(0, 5), QPoint(5, 0), QPoint(341, 100), QPoint(170, 224),
                                    centreOf("Label1"), centreOf("Label2"), centreOf("Label3")})
                clickBox(p);
            openAfterClicks = about_->isVisible();
            clickBox(QPoint(150, 120));  // the picture closes it
        });
        clickAbout();
        QVERIFY(modal && openAfterClicks);
        QCOMPARE(opened, QStringList({TFormAbout::ProjectPage().toString()}));
        QVERIFY(log.showings.size() == 1 && log.duration(0) < kShort.aboutMs);

        // The click left the timer running; its tick stops it and the box
        // stays hidden.
        QVERIFY(about_->Timer1.enabled());
        QTRY_VERIFY(!about_->Timer1.enabled());
        QVERIFY(about_->isHidden());
        QCOMPARE(log.showings.size(), size_t(1));
    }

    void splashOnTheFirstActivationOnly()
    {
        SplashPending() = true;
        start();
        ShowingLog log(*about_);
        form_->show();
        QApplication::setActiveWindow(form_.get());
        QTRY_VERIFY(!SplashPending());
        QCOMPARE(log.showings.size(), size_t(1));
        QVERIFY2(log.duration(0) >= kShort.splashMs - 20 && log.duration(0) < kShort.aboutMs,
                 qPrintable(QString::number(log.duration(0))));
        const QPoint offset = log.showings[0].geometry.center() - form_->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));

        // Coming back from another window does not bring it back.
        QWidget other;
        Activate(other);
        Activate(*form_);
        QTest::qWait(kShort.splashMs);
        QCOMPARE(log.showings.size(), size_t(1));
    }

    void aboutButtonKeepsARunningCountdown()
    {
        start();
        Activate(*form_);
        ShowingLog log(*about_);
        clickAbout();  // left alone, it shows for its time
        QCOMPARE(about_->Timer1.interval(), kShort.aboutMs);
        QVERIFY2(log.duration(0) >= kShort.aboutMs - 20 && log.duration(0) < kShort.aboutMs + 300,
                 qPrintable(QString::number(log.duration(0))));
        QVERIFY(!about_->Timer1.enabled());

        // Closed by a click and shown again before the tick: the countdown
        // under way is not restarted, and the box goes when it ends.
        QTimer::singleShot(100, this, [this] { clickBox(QPoint(150, 120)); });
        clickAbout();
        QVERIFY(about_->Timer1.enabled());
        QTest::qWait(300);
        int left = -2;
        QTimer::singleShot(0, this, [&] { left = about_->Timer1.remainingTime(); });
        clickAbout();
        QCOMPARE(log.showings.size(), size_t(3));
        const qint64 sinceFirst = log.showings[2].shownAt - log.showings[1].shownAt;
        QVERIFY2(left >= 0 && left <= kShort.aboutMs - sinceFirst + 30,
                 qPrintable(QString("%1 left after %2").arg(left).arg(sinceFirst)));
        const qint64 total = log.showings[2].hiddenAt - log.showings[1].shownAt;
        QVERIFY2(total >= kShort.aboutMs - 20 && total < kShort.aboutMs + 250,
                 qPrintable(QString::number(total)));
        QVERIFY(!about_->Timer1.enabled());
    }
};

QTEST_MAIN(FormAboutTest)
#include "form_about_test.moc"
