// The About box: its layout, its clicks and the timer rules its showing
// rests on, with the two durations shortened.
#define QTEST_QPA_MOUSE_HANDLING  // clicks land where the window's hit test puts them
#include <QApplication>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <memory>
#include <vector>

#include "fake_dialogs.h"
#include "form_about.h"
#include "interval_timer.h"
#include "main_form.h"
#include "test_util.h"

using pelvano::gui::AboutDurations;
using pelvano::gui::IntervalTimer;
using pelvano::gui::SplashPending;
using pelvano::gui::TFormAbout;
using pelvano::gui::TMainForm;
namespace test = pelvano::test;

namespace {

constexpr AboutDurations kShort{150, 600};

// When the box showed and hid, and where it stood.
class ShowingLog : public QObject {
public:
    struct Showing {
        qint64 shownAt = -1;
        qint64 hiddenAt = -1;
        QRect geometry;
    };

    explicit ShowingLog(QWidget& box)
    {
        box.installEventFilter(this);
        clock_.start();
    }

    std::vector<Showing> showings;
    qint64 now() const { return clock_.elapsed(); }
    qint64 duration(size_t i) const { return showings.at(i).hiddenAt - showings.at(i).shownAt; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            showings.push_back({now(), -1, static_cast<QWidget*>(watched)->frameGeometry()});
        else if (event->type() == QEvent::Hide && !showings.empty())
            showings.back().hiddenAt = now();
        return false;
    }

private:
    QElapsedTimer clock_;
};

}  // namespace

class FormAboutTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<test::FakeDialogs> dialogs_;
    std::unique_ptr<TMainForm> form_;
    std::unique_ptr<TFormAbout> about_;
    QString savedCwd_;

    // The main window with its About box, as the entry point makes them.
    void start(const std::vector<std::string>& args = {})
    {
        form_ = std::make_unique<TMainForm>(*dialogs_, dir_->file("pelvano"), args);
        about_ = std::make_unique<TFormAbout>(form_.get(), kShort);
        form_->setAboutBox(about_.get());
    }

    void activate(QWidget& window)
    {
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }

    template <typename T>
    T* aboutChild(const char* name)
    {
        T* child = about_->findChild<T*>(QString::fromLatin1(name));
        if (!child)
            qFatal("no %s", name);
        return child;
    }

    QPoint centreOf(const char* name) { return aboutChild<QWidget>(name)->geometry().center(); }
    void clickBox(const QPoint& pos) { QTest::mouseClick(about_.get(), Qt::LeftButton, {}, pos); }
    void clickAbout() { QTest::mouseClick(form_->findChild<QToolButton*>("bttHelpAbout"), Qt::LeftButton); }

private slots:
    void init()
    {
        savedCwd_ = QDir::currentPath();
        dir_ = std::make_unique<test::TempDir>();
        dialogs_ = std::make_unique<test::FakeDialogs>();
        SplashPending() = false;
    }

    void cleanup()
    {
        about_.reset();
        form_.reset();
        dialogs_.reset();
        QDir::setCurrent(savedCwd_);
        dir_.reset();
    }

    void timerRules()
    {
        IntervalTimer timer(200);
        int ticks = 0;
        timer.onTimer = [&] { ++ticks; };
        timer.setInterval(300);  // disabled: nothing starts
        QCOMPARE(timer.remainingTime(), -1);

        timer.setEnabled(true);
        QTest::qWait(100);
        const int left = timer.remainingTime();
        QVERIFY2(left > 0 && left <= 210, qPrintable(QString::number(left)));
        timer.setInterval(300);  // the same interval and enabling again
        timer.setEnabled(true);  // leave the countdown alone
        QVERIFY(timer.remainingTime() <= left);
        timer.setInterval(500);  // a new one restarts it
        QVERIFY(timer.remainingTime() > 400);
        timer.setEnabled(false);
        QCOMPARE(timer.remainingTime(), -1);
        QTest::qWait(550);
        QCOMPARE(ticks, 0);

        timer.setInterval(20);  // it repeats until disabled
        timer.setEnabled(true);
        QTRY_VERIFY(ticks >= 2);
        timer.setEnabled(false);
        timer.setInterval(0);
        timer.setEnabled(true);
        QCOMPARE(timer.remainingTime(), -1);
    }

    void layoutAndPicture()
    {
        TFormAbout plain(nullptr);
        QCOMPARE(plain.durations().splashMs, 2000);
        QCOMPARE(plain.durations().aboutMs, 6000);
        QCOMPARE(plain.Timer1.interval(), 2000);
        QVERIFY(!plain.Timer1.enabled());

        start();
        QCOMPARE(about_->objectName(), QStringLiteral("FormAbout"));
        QCOMPARE(about_->windowTitle(), QStringLiteral("About Pelvano"));
        QCOMPARE(about_->windowType(), Qt::Dialog);
        QVERIFY(about_->windowFlags().testFlag(Qt::FramelessWindowHint));
        QVERIFY(about_->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(about_->isModal());
        QCOMPARE(about_->size(), QSize(342, 225));
        QCOMPARE(about_->minimumSize(), QSize(342, 225));
        QCOMPARE(about_->maximumSize(), QSize(342, 225));
        QCOMPARE(aboutChild<QFrame>("Shape1")->geometry(), QRect(0, 0, 342, 225));
        QCOMPARE(aboutChild<QLabel>("Image1")->geometry(), QRect(1, 1, 340, 223));
        // The two labels keep their places unless their text needs more room
        // than the narrow font they were placed for; then it is all shown,
        // inside the box.
        auto* label1 = aboutChild<QLabel>("Label1");
        QCOMPARE(label1->geometry().topLeft(), QPoint(8, 8));
        QVERIFY(label1->width() >= std::max(42, label1->fontMetrics().horizontalAdvance(label1->text())));
        auto* version = aboutChild<QLabel>("Label2");
        QCOMPARE(version->text(), QStringLiteral("Version 0.961"));
        const int needed = version->fontMetrics().horizontalAdvance(version->text());
        if (needed < 65)
            QCOMPARE(version->geometry(), QRect(272, 184, 65, 13));
        QCOMPARE(version->geometry().top(), 184);
        QCOMPARE(version->geometry().right(), 272 + 65 - 1);
        QVERIFY(version->width() > needed);
        auto* link = aboutChild<QLabel>("Label3");
        QCOMPARE(link->geometry(), QRect(236, 56, 53, 26));
        QVERIFY(link->wordWrap());
        QCOMPARE(link->alignment(), Qt::AlignCenter);
        QVERIFY(link->font().underline());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(!link->text().isEmpty());

        // The frame is a black line inside the box's edge; within it the
        // picture is drawn unscaled from its top-left corner.
        const QImage picture(QStringLiteral(":/pictures/about_box.png"));
        QCOMPARE(picture.size(), QSize(341, 224));
        const QImage shot = about_->grab().toImage();
        QCOMPARE(shot.size(), QSize(342, 225));
        for (const QPoint& p : {QPoint(0, 0), QPoint(341, 0), QPoint(0, 224), QPoint(341, 224), QPoint(170, 0),
                                QPoint(0, 112), QPoint(341, 112), QPoint(170, 224)})
            QCOMPARE(shot.pixelColor(p), QColor(Qt::black));
        for (const QPoint& p : {QPoint(0, 0), QPoint(339, 222), QPoint(150, 120), QPoint(90, 30)})
            QCOMPARE(shot.pixelColor(p + QPoint(1, 1)), picture.pixelColor(p));
        QCOMPARE(link->palette().color(link->foregroundRole()), QColor(0, 0, 255));
    }

    void clicksOnTheBox()
    {
        start();
        activate(*form_);
        ShowingLog log(*about_);
        QStringList opened;
        about_->openUrl = [&](const QUrl& url) { opened << url.toString(); };
        bool modal = false;
        bool openAfterClicks = false;
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
        QVERIFY(modal);
        QVERIFY(openAfterClicks);
        QCOMPARE(opened, QStringList({TFormAbout::ProjectPage().toString()}));
        QCOMPARE(log.showings.size(), size_t(1));
        QVERIFY(log.duration(0) < kShort.aboutMs);

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
        // The splash comes up as the window becomes active.
        form_->show();
        QApplication::setActiveWindow(form_.get());
        QTRY_VERIFY(!SplashPending());
        QCOMPARE(log.showings.size(), size_t(1));
        QVERIFY2(log.duration(0) >= kShort.splashMs - 20 && log.duration(0) < kShort.aboutMs,
                 qPrintable(QString::number(log.duration(0))));
        const QPoint offset = log.showings[0].geometry.center() - form_->frameGeometry().center();
        QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QStringLiteral("%1,%2").arg(offset.x()).arg(offset.y())));
        QVERIFY(!about_->Timer1.enabled());

        // Coming back from another window does not bring it back.
        QWidget other;
        activate(other);
        activate(*form_);
        QTest::qWait(kShort.splashMs);
        QCOMPARE(log.showings.size(), size_t(1));
    }

    void noSplashWhenTheRunIsEnding()
    {
        SplashPending() = true;
        start({"nothing_here.IFO"});
        QVERIFY(form_->quitRequested());
        ShowingLog log(*about_);
        activate(*form_);
        QTRY_VERIFY(!SplashPending());
        QTest::qWait(50);
        QVERIFY(log.showings.empty());
    }

    void aboutButtonKeepsARunningCountdown()
    {
        start();
        activate(*form_);
        ShowingLog log(*about_);

        // Left alone, it shows for its time.
        clickAbout();
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
                 qPrintable(QStringLiteral("%1 left after %2").arg(left).arg(sinceFirst)));
        const qint64 total = log.showings[2].hiddenAt - log.showings[1].shownAt;
        QVERIFY2(total >= kShort.aboutMs - 20 && total < kShort.aboutMs + 250, qPrintable(QString::number(total)));
        QVERIFY(!about_->Timer1.enabled());
    }
};

QTEST_MAIN(FormAboutTest)
#include "form_about_test.moc"
