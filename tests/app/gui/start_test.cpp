// A window start that never opens a video file maps no FFmpeg library: the
// key-frame reader comes with the first video file opened.
#include <QtTest>
#include <QtWidgets>

#include <fstream>
#include <string>

#include "app/application.h"
#include "fake_dialogs.h"
#include "main_form.h"
#include "test_util.h"

namespace test = pelvano::test;

namespace {

// The FFmpeg libraries this process has mapped.
QStringList FfmpegMapped()
{
    QStringList found;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);)
        for (const char* lib : {"libavformat", "libavcodec", "libavutil", "libswresample"})
            if (line.find(lib) != std::string::npos && !found.contains(lib))
                found << lib;
    return found;
}

}  // namespace

class StartTest : public QObject {
    Q_OBJECT

private slots:
    void ffmpegOnlyWithTheFirstVideoFile()
    {
        test::TempDir dir;
        test::WriteFile(dir.file("pelvano.INI"), "[Presets]\r\nPreset1=Frames\r\nFormat1=%f\r\nHeader1=\r\n");
        test::FakeDialogs dialogs;
        const pelvano::Application app(pelvano::Application::PathsFor(dir.file("pelvano")));
        pelvano::gui::TMainForm form(dialogs, app, {test::ExamplePath("VTS_01_0.IFO")});
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCoreApplication::processEvents();
        QCOMPARE(FfmpegMapped(), QStringList());

        dialogs.openAnswers.push_back(QString::fromStdString(test::TestVideo("cues.mkv")));
        QTest::mouseClick(form.findChild<QWidget*>("bttOpenAVI"), Qt::LeftButton);
        QCOMPARE(form.findChild<QComboBox*>("cbFrameRate")->currentText(), "29970");
        QVERIFY(FfmpegMapped().contains("libavformat"));
    }
};

QTEST_MAIN(StartTest)
#include "start_test.moc"
