// The main window driven through its real widgets, found by object name.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QToolButton>
#include <QTreeView>

#include <filesystem>
#include <memory>
#include <optional>

#include "fake_dialogs.h"
#include "form_dialogs.h"
#include "main_form.h"
#include "test_util.h"

using pelvano::gui::SaveChoice;
using pelvano::gui::TMainForm;
namespace fs = std::filesystem;
namespace test = pelvano::test;

namespace {

// Preset 1 gives the times the way dvdxchap prints them; preset 2 the
// frame numbers under a header.
const char* const kTestPresets =
    "[Presets]\r\n"
    "Preset1=Times\r\nFormat1=%hh:%mm:%ss.%ms %c\r\nHeader1=\r\n"
    "Preset2=Frames\r\nFormat2=%f\r\nHeader2=Frames\\n\r\n";

// examples/VTS_01_0.IFO, PGC 1 (the longest): chapters at 0, 20480, 51000
// and 80000 ms (dvdxchap, title 2).
const QString kSampleTimes = QStringLiteral(
    "00:00:00.000 1\n00:00:20.480 2\n00:00:51.000 3\n00:01:20.000 4\n");

enum Page { RawData, Customize, Format, Readme };

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

const QString kAviOpenMessage = QStringLiteral("# AVIFileOpen : AVI source init error !");
const QString kAviStreamMessage = QStringLiteral("# AVIFileGetStream : Can't get a video stream !");

// Whether this process holds `path` open.
bool IsOpenHere(const fs::path& path)
{
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(path, ec);
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec))
        if (fs::read_symlink(fd.path(), ec) == wanted)
            return true;
    return false;
}

}  // namespace

class MainFormTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<test::FakeDialogs> dialogs_;
    std::unique_ptr<TMainForm> form_;
    QString savedCwd_;

    void start(const std::vector<std::string>& args = {}, const char* presets = kTestPresets)
    {
        if (presets)
            test::WriteFile(dir_->file("pelvano.INI"), presets);
        form_ = std::make_unique<TMainForm>(*dialogs_, dir_->file("pelvano"), args);
        form_->show();
        QApplication::setActiveWindow(form_.get());
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
    }

    template <typename T>
    T* w(const char* name)
    {
        T* widget = form_->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no %s", name);
        return widget;
    }

    void openTitle(const std::string& path)
    {
        dialogs_->openAnswers.push_back(Q(path));
        QTest::mouseClick(w<QToolButton>("bttOpenIFO"), Qt::LeftButton);
    }

    void openAvi(const std::optional<std::string>& path)
    {
        dialogs_->openAnswers.push_back(path ? std::optional<QString>(Q(*path)) : std::nullopt);
        QTest::mouseClick(w<QToolButton>("bttOpenAVI"), Qt::LeftButton);
    }

    // The sample title with preset 2: the frame numbers under a header.
    void startWithFrameNumbers()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        auto* presets = w<QComboBox>("cbPresets");
        presets->setFocus();
        QTest::keyClick(presets, Qt::Key_Down);
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n512\n1275\n2000\n"));
    }

    void enterFrameOffset(const QString& frames)
    {
        auto* field = w<QLineEdit>("edFrameOff");
        field->setFocus();
        typeInto(field, frames);
        QTest::keyClick(field, Qt::Key_Return);
    }

    void renderAgain() { QTest::mouseClick(w<QToolButton>("bttSavePresetFormat"), Qt::LeftButton); }

    void showPage(int page)
    {
        QTabBar* tabs = w<QTabWidget>("PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
        QCOMPARE(w<QTabWidget>("PageControl1")->currentIndex(), page);
    }

    QString output() { return w<QPlainTextEdit>("CustomMemo")->toPlainText(); }
    QTreeView* cells() { return w<QTreeView>("lstCells"); }
    QString cell(int row, int column) { return cells()->model()->index(row, column).data().toString(); }
    bool checked(int row)
    {
        return cells()->model()->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    QRect rowRect(int row) { return cells()->visualRect(cells()->model()->index(row, 3)); }

    // Where the style draws a row's check box, worked out apart from the list.
    QPoint checkBoxPoint(int row)
    {
        const QModelIndex index = cells()->model()->index(row, 0);
        QStyleOptionViewItem option;
        option.initFrom(cells()->viewport());
        option.rect = cells()->visualRect(index);
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = index.data().toString();
        option.widget = cells();
        return cells()->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, cells()).center();
    }

    void clickMenu(QAction* action)
    {
        auto* menu = w<QMenu>("pmLstCells");
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        QTRY_VERIFY(!menu->isVisible());
    }

    void typeInto(QWidget* field, const QString& text)
    {
        if (auto* edit = qobject_cast<QLineEdit*>(field))
            edit->selectAll();
        else if (auto* combo = qobject_cast<QComboBox*>(field))
            combo->lineEdit()->selectAll();
        QTest::keyClicks(field, text);
    }

    std::string presetsFile() { return test::ReadFile(dir_->file("pelvano.INI")); }

private slots:
    void init()
    {
        savedCwd_ = QDir::currentPath();
        dir_ = std::make_unique<test::TempDir>();
        dialogs_ = std::make_unique<test::FakeDialogs>();
    }

    void cleanup()
    {
        form_.reset();
        dialogs_.reset();
        QDir::setCurrent(savedCwd_);
        dir_.reset();
    }

    void freshWindowWithoutPresetsFile()
    {
        start({}, nullptr);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Pelvano"));
        QCOMPARE(form_->size(), QSize(610, 451));
        QCOMPARE(form_->minimumSize(), QSize(575, 200));
        QCOMPARE(w<QTabWidget>("PageControl1")->currentIndex(), int(Format));
        QCOMPARE(QApplication::focusWidget(), w<QWidget>("CustomMemo"));

        auto* rate = w<QComboBox>("cbFrameRate");
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        QStringList rates;
        for (int i = 0; i < rate->count(); ++i)
            rates << rate->itemText(i);
        QCOMPARE(rates, QStringList({"23976", "24000", "25000", "29970", "30000", "60000"}));
        QCOMPARE(w<QLineEdit>("edFrameOff")->text(), QStringLiteral("0"));
        QCOMPARE(w<QLineEdit>("edMsOff")->text(), QStringLiteral("0"));
        QVERIFY(w<QCheckBox>("chkFixLCB")->isChecked());
        QVERIFY(!w<QCheckBox>("cbSynchKF")->isChecked());
        QVERIFY(!w<QCheckBox>("cbSynchKF")->isEnabled());
        QVERIFY(!w<QToolButton>("bttOpenAVI")->isEnabled());
        QVERIFY(w<QToolButton>("bttSaveData")->isEnabled());
        QVERIFY(w<QLineEdit>("edAVIFileName")->isReadOnly());

        // No presets file: every value is its key name; the first preset is
        // applied and rendered (no title: the header alone).
        auto* presets = w<QComboBox>("cbPresets");
        QCOMPARE(presets->count(), 10);
        for (int i = 0; i < 10; ++i)
            QCOMPARE(presets->itemText(i), QStringLiteral("Preset%1").arg(i + 1));
        QVERIFY(!presets->isEditable());
        QCOMPARE(presets->currentIndex(), 0);
        QCOMPARE(w<QLineEdit>("edFormat")->text(), QStringLiteral("Format1"));
        QCOMPARE(w<QLineEdit>("edHeader")->text(), QStringLiteral("Header1"));
        QCOMPARE(output(), QStringLiteral("Header1\n"));

        QCOMPARE(w<QPlainTextEdit>("ReadmeMemo")->toPlainText(), QStringLiteral("Can't find Readme.txt"));
        QVERIFY(w<QTextEdit>("Memo1")->toPlainText().isEmpty());
        QCOMPARE(cells()->model()->rowCount(), 0);
        QCOMPARE(w<QComboBox>("cbTitle")->count(), 0);
        QCOMPARE(w<QLabel>("lbLstTimeLen")->text(), QStringLiteral("00:00:00:00"));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("0"));

        // The end of the run writes the presets file from scratch.
        form_.reset();
        const std::string ini = presetsFile();
        QVERIFY(ini.find("[Presets]\r\nPreset1=Preset1\r\nFormat1=Format1\r\nHeader1=Header1\r\n") !=
                std::string::npos);
        QVERIFY(ini.find("Header10=Header10\r\n") != std::string::npos);
        QVERIFY(ini.find("[Options]\r\nLastDir=") != std::string::npos);
    }

    void captionsHintsAndNames()
    {
        start();
        struct Text {
            const char* widget;
            const char* text;
            const char* hint;
        };
        const Text texts[] = {
            {"bttOpenIFO", "Open IFO", ""},
            {"Label3", "Title :", ""},
            {"cbTitle", nullptr, "if the film is not the first title in IFO file"},
            {"Label2", "FPS Rate :", ""},
            {"cbFrameRate", nullptr, "Video FPS Rate in 1/1000th frames"},
            {"Label1", "Offset :", ""},
            {"edFrameOff", nullptr, "in frames (for MicroDVD mode)"},
            {"edMsOff", nullptr, "in ms (for hh:mm:ss:cc mode)"},
            {"chkFixLCB", "Last chapter bug fix", "Auto disable last chapter if its length is less than 5s"},
            {"bttSaveData", "Save data", ""},
            {"bttOpenAVI", "Open AVI", ""},
            {"edAVIFileName", "", ""},
            {"cbSynchKF", "Synch 2 KF", "Make chapters synchronized with AVI key frames (MicroDVD mode only)"},
            {"bttHelpAbout", nullptr, "About"},
            {"bttQuit", nullptr, "Quit"},
            {"Label6", "Presets :", ""},
            {"bttModifPresetName", nullptr, "Modify preset name"},
            {"Label7", "Format :", ""},
            {"bttSavePresetFormat", nullptr, "Save preset format"},
            {"Label8", "Header :", ""},
            {"edHeader", nullptr, "Use \"\\n\" for line feed"},
            {"lstCells", nullptr, "Right click to enable/disable the use of a cell in timestamp"},
            {"edFormat", nullptr,
             "%hh : hours\n%mm : minutes\n%ss : secondes\n%cc : cents\n%ff : cents in frames\n"
             "%f : frames\n%ms : millisecondes (3 digits)\n%c : chapter number\n"
             "%C : chapter number (2 digits)\n\\n : line feed"},
        };
        for (const Text& t : texts) {
            QWidget* widget = w<QWidget>(t.widget);
            if (t.text)
                QCOMPARE(widget->property("text").toString(), QString::fromLatin1(t.text));
            QCOMPARE(widget->toolTip(), QString::fromLatin1(t.hint));
        }
        QCOMPARE(w<QLineEdit>("edFormat")->toolTip().count(QLatin1Char('\n')), 9);

        auto* pages = w<QTabWidget>("PageControl1");
        const char* const pageNames[] = {"tabRAWData", "tabCustomize", "tsFormat", "tsReadme"};
        const char* const tabCaptions[] = {"RAW Data", "Customize", "Format", "Readme"};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(pages->widget(i)->objectName(), QString::fromLatin1(pageNames[i]));
            QCOMPARE(pages->tabText(i), QString::fromLatin1(tabCaptions[i]));
        }

        QStringList columns;
        for (int c = 0; c < cells()->model()->columnCount(); ++c)
            columns << cells()->model()->headerData(c, Qt::Horizontal).toString();
        QCOMPARE(columns, QStringList({"#", "VOB-ID", "CELL-ID", "Length", "Timestamp", "Angle",
                                       "Linked to", "Chapter"}));

        QStringList items;
        for (QAction* action : w<QMenu>("pmLstCells")->actions())
            items << action->objectName() + QLatin1Char('=') + (action->isSeparator() ? "-" : action->text());
        QCOMPARE(items, QStringList({"Useintimestamp1=Use in timestamp",
                                     "Dontuseintimestamp1=Don't use in timestamp", "N1=-",
                                     "Check1=Check", "Uncheck1=Uncheck"}));

        for (const char* button : {"bttOpenIFO", "bttSaveData", "bttOpenAVI", "bttHelpAbout", "bttQuit",
                                   "bttModifPresetName", "bttSavePresetFormat"})
            QCOMPARE(w<QToolButton>(button)->focusPolicy(), Qt::NoFocus);
        QCOMPARE(w<QComboBox>("cbTitle")->maxVisibleItems(), 10);
        QCOMPARE(w<QComboBox>("cbPresets")->maxVisibleItems(), 10);
        QVERIFY(!form_->windowIcon().isNull());
        // Hints show after 100 ms and stay 30 s.
        QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);
        QCOMPARE(w<QLineEdit>("edFormat")->toolTipDuration(), 30000);
        QCOMPARE(cells()->toolTipDuration(), 30000);
        QVERIFY(!w<QToolButton>("bttQuit")->icon().isNull());
    }

    void focusOrder()
    {
        start();
        const QStringList expected = {"cbTitle", "cbFrameRate", "edFrameOff", "edMsOff", "chkFixLCB",
                                      "edAVIFileName", "cbSynchKF", "PageControl1", "Memo1", "lstCells",
                                      "CustomMemo", "cbPresets", "edFormat", "edHeader", "ReadmeMemo"};
        QStringList order;
        QWidget* from = w<QWidget>("cbTitle");
        QWidget* widget = from;
        do {
            if (expected.contains(widget->objectName()) && !order.contains(widget->objectName()))
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        } while (widget != from);
        QCOMPARE(order, expected);
    }

    void layoutFollowsTheWindow()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        const char* const row1[] = {"bttOpenIFO", "Label3", "cbTitle", "Label2", "cbFrameRate",
                                    "Label1", "edFrameOff", "edMsOff", "chkFixLCB"};
        const char* const row2[] = {"bttSaveData", "bttOpenAVI", "edAVIFileName", "cbSynchKF",
                                    "bttHelpAbout", "bttQuit"};
        const char* const presetRow[] = {"Label6", "cbPresets", "bttModifPresetName", "Label7",
                                         "edFormat", "bttSavePresetFormat"};
        // Nothing clipped or overlapping, at the smallest size too.
        const auto checkRow = [this](const auto& names, QWidget* panel) {
            int right = -1;
            for (const char* name : names) {
                QWidget* widget = w<QWidget>(name);
                const QRect r = widget->geometry();
                QVERIFY2(r.left() > right, name);
                QVERIFY2(r.width() >= widget->minimumSizeHint().width(), name);
                QVERIFY2(widget->mapTo(panel, QPoint(r.width(), 0)).x() <= panel->width(), name);
                right = r.right();
            }
        };
        form_->resize(500, 100);
        QTRY_COMPARE(form_->size(), QSize(575, 200));
        checkRow(row1, w<QWidget>("Panel2"));
        checkRow(row2, w<QWidget>("Panel2"));
        checkRow(presetRow, w<QWidget>("Panel3"));
        QVERIFY(w<QWidget>("CustomMemo")->height() >= 24);
        QVERIFY(w<QWidget>("Panel3")->geometry().bottom() < w<QWidget>("tsFormat")->height());
        QVERIFY(w<QWidget>("edHeader")->geometry().bottom() < w<QWidget>("Panel3")->height());
        QVERIFY(w<QWidget>("Panel2")->geometry().bottom() < form_->height());
        QCOMPARE(w<QWidget>("Panel2")->height(), 57);
        QCOMPARE(w<QWidget>("Panel3")->height(), 58);

        // Stretching fields take the extra width; right-anchored controls
        // keep their distance from the right edge; the pages take the height.
        const auto measure = [this] {
            QMap<QString, int> m;
            for (const char* name : {"edMsOff", "edAVIFileName", "edFormat", "edHeader"})
                m[name] = w<QWidget>(name)->width();
            for (const char* name : {"chkFixLCB", "cbSynchKF", "bttHelpAbout", "bttQuit", "bttSavePresetFormat"}) {
                QWidget* widget = w<QWidget>(name);
                m[name] = form_->width() - widget->mapTo(form_.get(), QPoint(widget->width(), 0)).x();
            }
            m["pages"] = w<QWidget>("PageControl1")->height();
            m["panelTop"] = form_->height() - w<QWidget>("Panel2")->y();
            return m;
        };
        form_->resize(610, 451);
        QTRY_COMPARE(form_->size(), QSize(610, 451));
        const auto before = measure();
        form_->resize(800, 551);
        QTRY_COMPARE(form_->size(), QSize(800, 551));
        const auto after = measure();
        for (const char* name : {"edMsOff", "edAVIFileName", "edFormat", "edHeader"})
            QVERIFY2(after[name] - before[name] == 190, name);
        for (const char* name : {"chkFixLCB", "cbSynchKF", "bttHelpAbout", "bttQuit", "bttSavePresetFormat"})
            QCOMPARE(after[name], before[name]);
        QCOMPARE(after["pages"] - before["pages"], 100);
        QCOMPARE(after["panelTop"], before["panelTop"]);
    }

    void readmeBesideTheExecutable()
    {
        test::WriteFile(dir_->file("Readme.txt"), "Pelvano\r\n=======\r\n");
        start();
        QCOMPARE(w<QPlainTextEdit>("ReadmeMemo")->toPlainText(), QStringLiteral("Pelvano\n=======\n"));
    }

    void openingATitleSetLoadsTheLongestPgc()
    {
        start();
        const std::string sample = test::ExamplePath("VTS_01_0.IFO");
        openTitle(sample);
        QCOMPARE(dialogs_->openFilters, QStringList({"DVD IFO File (*.IFO)"}));
        QCOMPARE(form_->windowTitle(), QStringLiteral("Pelvano - ") + Q(sample));
        QCOMPARE(QDir::currentPath(), Q(test::ExamplePath("")).chopped(1));

        auto* titles = w<QComboBox>("cbTitle");
        QCOMPARE(titles->count(), 2);
        QCOMPARE(titles->itemText(0), QStringLiteral("1"));
        QCOMPARE(titles->currentIndex(), 1);
        QCOMPARE(w<QComboBox>("cbFrameRate")->currentText(), QStringLiteral("25000"));
        QVERIFY(w<QToolButton>("bttOpenAVI")->isEnabled());

        QCOMPARE(cells()->model()->rowCount(), 7);
        QCOMPARE(cell(4, 0), QStringLiteral("004"));
        QCOMPARE(cell(4, 1), QStringLiteral("03"));
        QCOMPARE(cell(4, 2), QStringLiteral("01"));
        QCOMPARE(cell(1, 3), QStringLiteral("00:00:12:96"));
        QCOMPARE(cell(2, 4), QStringLiteral("00:00:20:48"));
        QCOMPARE(cell(2, 6), QStringLiteral("005"));
        QCOMPARE(cell(5, 7), QStringLiteral("3"));
        for (int row = 0; row < 7; ++row)
            QCOMPARE(checked(row), row == 0 || row == 2 || row == 5 || row == 6);
        QCOMPARE(w<QLabel>("lbLstTimeLen")->text(), QStringLiteral("00:01:35:00"));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("4"));

        const QString report = w<QTextEdit>("Memo1")->toPlainText();
        QVERIFY(report.contains(QStringLiteral("\nTotal film length : 00:01:35:00\n")));
        QVERIFY(report.contains(QStringLiteral("\nChapter 3 = 00:00:51:00\n")));
        // Loaded while the Format page is shown: the output follows at once.
        QCOMPARE(output(), kSampleTimes);

        // A cancelled dialog changes nothing.
        QTest::mouseClick(w<QToolButton>("bttOpenIFO"), Qt::LeftButton);
        QCOMPARE(dialogs_->openFilters.size(), 2);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Pelvano - ") + Q(sample));
    }

    void reportStylesAndTheShortLastChapter()
    {
        start();
        openTitle(test::FixturePath("dvd/short_last/VTS_01_0.IFO"));
        // PGC 0: the last chapter starts with a 3 s cell and is dropped.
        QCOMPARE(w<QComboBox>("cbTitle")->currentIndex(), 0);
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("2"));
        QVERIFY(!checked(2));
        QCOMPARE(output(), QStringLiteral("00:00:00.000 1\n00:00:10.000 2\n"));

        bool sawRed = false, sawBold = false;
        for (QTextBlock block = w<QTextEdit>("Memo1")->document()->begin(); block.isValid(); block = block.next()) {
            if (block.begin().atEnd())
                continue;  // an empty line has no fragment
            const QTextCharFormat format = block.begin().fragment().charFormat();
            if (block.text().startsWith(QStringLiteral("Warning")))
                sawRed = format.foreground().color() == QColor(255, 0, 0);
            if (block.text() == QStringLiteral("Program Chain(s):"))
                sawBold = format.fontWeight() == QFont::Bold;
        }
        QVERIFY(sawRed);
        QVERIFY(sawBold);

        // Without the fix the third chapter stays.
        QTest::mouseClick(w<QCheckBox>("chkFixLCB"), Qt::LeftButton);
        openTitle(test::FixturePath("dvd/short_last/VTS_01_0.IFO"));
        QCOMPARE(output(), QStringLiteral("00:00:00.000 1\n00:00:10.000 2\n00:00:23.000 3\n"));
    }

    void changingThePgcKeepsTheChoiceAndResetsTheRate()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        auto* rate = w<QComboBox>("cbFrameRate");
        rate->setEditText(QStringLiteral("23976"));
        auto* titles = w<QComboBox>("cbTitle");
        titles->setFocus();
        QTest::keyClick(titles, Qt::Key_Up);
        QCOMPARE(titles->currentIndex(), 0);
        QCOMPARE(titles->count(), 2);
        QCOMPARE(cells()->model()->rowCount(), 4);
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        QCOMPARE(output(), QStringLiteral("00:00:00.000 1\n00:00:20.000 2\n"));

        // A file that does not read as a title set: a one-line report and an
        // empty list; the title list, labels and output stay.
        const std::string junk = dir_->file("VTS_09_0.IFO");
        test::WriteFile(junk, "not a title set");
        openTitle(junk);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Pelvano - ") + Q(junk));
        QVERIFY(w<QTextEdit>("Memo1")->toPlainText().startsWith(QStringLiteral("error opening file ") + Q(junk)));
        QCOMPARE(cells()->model()->rowCount(), 0);
        QCOMPARE(titles->count(), 2);
        QCOMPARE(w<QLabel>("lbLstTimeLen")->text(), QStringLiteral("00:00:40:00"));
        QVERIFY(!w<QToolButton>("bttOpenAVI")->isEnabled());
        QCOMPARE(output(), QStringLiteral("00:00:00.000 1\n00:00:20.000 2\n"));
    }

    void checkBoxClicksRebuildTheChapters()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        showPage(Customize);
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, {}, checkBoxPoint(2));
        QVERIFY(!checked(2));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("3"));
        QCOMPARE(cell(0, 6), QStringLiteral("005"));
        QCOMPARE(cell(2, 7), QString());
        QCOMPARE(cell(5, 7), QStringLiteral("2"));
        // The output follows when the Format page is shown again.
        QCOMPARE(output(), kSampleTimes);
        showPage(Format);
        QCOMPARE(output(), QStringLiteral("00:00:00.000 1\n00:00:51.000 2\n00:01:20.000 3\n"));

        // A mark changed from the keyboard counts at the next rebuild only;
        // a release over a row's text rebuilds nothing, one over a check box
        // rebuilds from the marks as they stand, whatever the button.
        showPage(Customize);
        cells()->setFocus();
        cells()->setCurrentIndex(cells()->model()->index(3, 0));
        QTest::keyClick(cells(), Qt::Key_Space);
        QVERIFY(checked(3));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("3"));
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, {}, rowRect(4).center());
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("3"));
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, checkBoxPoint(1));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("4"));
        QCOMPARE(cell(3, 7), QStringLiteral("2"));
        w<QMenu>("pmLstCells")->close();
    }

    void popupMenuMarksTheSelectedCells()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        showPage(Customize);
        auto* menu = w<QMenu>("pmLstCells");
        QAction* const commands[] = {w<QAction>("Useintimestamp1"), w<QAction>("Dontuseintimestamp1"),
                                     w<QAction>("Check1"), w<QAction>("Uncheck1")};

        // Nothing selected: all four commands are off.
        cells()->clearSelection();
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, QPoint(20, cells()->viewport()->height() - 5));
        QTRY_VERIFY(menu->isVisible());
        for (QAction* command : commands)
            QVERIFY(!command->isEnabled());
        menu->close();

        // Rows 1 and 4 out of the timestamps: later times move earlier.
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, {}, rowRect(1).center());
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, Qt::ControlModifier, rowRect(4).center());
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, rowRect(4).center());
        QTRY_VERIFY(menu->isVisible());
        for (QAction* command : commands)
            QVERIFY(command->isEnabled());
        clickMenu(w<QAction>("Dontuseintimestamp1"));
        const QStringList expected = {"00:00:00:00", "-", "00:00:07:52", "00:00:20:24", "-", "00:00:37:04",
                                      "00:01:06:04"};
        for (int row = 0; row < 7; ++row)
            QCOMPARE(cell(row, 4), expected[row]);
        QCOMPARE(w<QLabel>("lbLstTimeLen")->text(), QStringLiteral("00:01:21:04"));

        // Grey for unused cells (even a chapter start), red for chapter starts.
        const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text);
        const auto colour = [this](int row) {
            return cells()->model()->index(row, 3).data(Qt::ForegroundRole).value<QBrush>().color();
        };
        QCOMPARE(colour(1), grey);
        QCOMPARE(colour(4), grey);
        QCOMPARE(colour(0), QColor(255, 0, 0));
        QCOMPARE(colour(5), QColor(255, 0, 0));
        QVERIFY(!cells()->model()->index(3, 3).data(Qt::ForegroundRole).isValid());

        showPage(Format);
        QCOMPARE(output(), QStringLiteral("00:00:00.000 1\n00:00:07.520 2\n00:00:37.040 3\n00:01:06.040 4\n"));

        // "Check" on row 3 and "Use in timestamp" on row 1, row 0 grey when unused.
        showPage(Customize);
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, {}, rowRect(3).center());
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, rowRect(3).center());
        clickMenu(w<QAction>("Check1"));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("5"));
        QCOMPARE(colour(3), QColor(255, 0, 0));
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, {}, rowRect(1).center());
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, rowRect(1).center());
        clickMenu(w<QAction>("Useintimestamp1"));
        QCOMPARE(cell(1, 4), QStringLiteral("00:00:07:52"));
        QCOMPARE(cell(2, 4), QStringLiteral("00:00:20:48"));
        QTest::mouseClick(cells()->viewport(), Qt::LeftButton, {}, rowRect(0).center());
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, rowRect(0).center());
        clickMenu(w<QAction>("Dontuseintimestamp1"));
        QCOMPARE(colour(0), grey);
        QTest::mouseClick(cells()->viewport(), Qt::RightButton, {}, rowRect(0).center());
        clickMenu(w<QAction>("Uncheck1"));
        QVERIFY(!checked(0));
        QCOMPARE(w<QLabel>("lbLstNbsChapter")->text(), QStringLiteral("4"));
    }

    void hotRowsAndTheHandPointer()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        showPage(Customize);
        QWidget* viewport = cells()->viewport();
        QTest::mouseMove(viewport, rowRect(2).center());
        QTRY_COMPARE(viewport->cursor().shape(), Qt::PointingHandCursor);
        QTest::mouseMove(viewport, QPoint(10, viewport->height() - 3));
        QTRY_COMPARE(viewport->cursor().shape(), Qt::ArrowCursor);

        // The list's hint shows over its rows as well.
        QHelpEvent help(QEvent::ToolTip, rowRect(2).center(), viewport->mapToGlobal(rowRect(2).center()));
        QApplication::sendEvent(viewport, &help);
        QCOMPARE(QToolTip::text(), cells()->toolTip());
        QToolTip::hideText();

        // Row 2 is a chapter start, drawn red unless it is the hot row.
        struct Probe : pelvano::gui::CellRowDelegate {
            using CellRowDelegate::CellRowDelegate;
            using CellRowDelegate::initStyleOption;
        } probe;
        const QModelIndex index = cells()->model()->index(2, 3);
        QStyleOptionViewItem option;
        option.widget = cells();
        probe.initStyleOption(&option, index);
        QCOMPARE(option.palette.color(QPalette::Text), QColor(255, 0, 0));
        QStyleOptionViewItem hot;
        hot.widget = cells();
        hot.state |= QStyle::State_MouseOver;
        probe.initStyleOption(&hot, index);
        QCOMPARE(hot.palette.color(QPalette::Text), cells()->palette().color(QPalette::Text));
    }

    void refreshFollowsThePage()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        auto* save = w<QToolButton>("bttSaveData");
        showPage(Customize);
        QVERIFY(!save->isEnabled());
        showPage(Readme);
        QVERIFY(!save->isEnabled());
        showPage(RawData);
        QVERIFY(save->isEnabled());
        w<QPlainTextEdit>("CustomMemo")->setPlainText(QStringLiteral("stale"));
        showPage(Format);
        QVERIFY(save->isEnabled());
        QCOMPARE(output(), kSampleTimes);

        // Without command-line arguments a load on the RAW Data page puts
        // the caret at the end of the report and refreshes nothing.
        showPage(RawData);
        save->setEnabled(false);
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        QVERIFY(!save->isEnabled());
        auto* report = w<QTextEdit>("Memo1");
        QCOMPARE(QApplication::focusWidget(), report);
        QVERIFY(report->textCursor().atEnd());
        QVERIFY(!report->textCursor().hasSelection());
    }

    void renamingAPresetReachesThePresetsFileAtTheEnd()
    {
        start({}, nullptr);
        auto* presets = w<QComboBox>("cbPresets");
        auto* rename = w<QToolButton>("bttModifPresetName");
        w<QPlainTextEdit>("CustomMemo")->setPlainText(QStringLiteral("marker"));

        QTest::mouseClick(rename, Qt::LeftButton);
        QVERIFY(presets->isEditable());
        QCOMPARE(QApplication::focusWidget(), presets);
        typeInto(presets, QStringLiteral("My list"));
        QCOMPARE(w<QLineEdit>("edFormat")->text(), QStringLiteral("Format1"));
        QTest::keyClick(presets, Qt::Key_Return);
        QVERIFY(!presets->isEditable());
        QCOMPARE(presets->itemText(0), QStringLiteral("My list"));
        QCOMPARE(presets->currentIndex(), 0);
        QCOMPARE(output(), QStringLiteral("marker"));  // neither typing nor finishing renders
        QTest::keyClick(presets, Qt::Key_Return);      // Enter in list mode does nothing
        QVERIFY(!presets->isEditable());

        // Picking preset 3 applies it; the button finishes a rename as well,
        // with the name exactly as typed.
        presets->setFocus();
        QTest::keyClick(presets, Qt::Key_Down);
        QTest::keyClick(presets, Qt::Key_Down);
        QCOMPARE(presets->currentIndex(), 2);
        QCOMPARE(w<QLineEdit>("edFormat")->text(), QStringLiteral("Format3"));
        QCOMPARE(output(), QStringLiteral("Header3\n"));
        QTest::mouseClick(rename, Qt::LeftButton);
        typeInto(presets, QStringLiteral("Third "));
        QTest::mouseClick(rename, Qt::LeftButton);
        QCOMPARE(presets->itemText(2), QStringLiteral("Third "));

        // A rename still being typed at the end is not kept.
        QTest::mouseClick(rename, Qt::LeftButton);
        typeInto(presets, QStringLiteral("Unsaved"));
        form_.reset();
        const std::string ini = presetsFile();
        QVERIFY(ini.find("Preset1=My list\r\n") != std::string::npos);
        QVERIFY(ini.find("Preset3=Third \r\n") != std::string::npos);
        QVERIFY(ini.find("Unsaved") == std::string::npos);
    }

    void savePresetFormatStoresTheFields()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        auto* format = w<QLineEdit>("edFormat");
        auto* presets = w<QComboBox>("cbPresets");
        typeInto(format, QStringLiteral("%c-%f"));
        QCOMPARE(output(), kSampleTimes);  // typing alone renders nothing
        QTest::mouseClick(w<QToolButton>("bttSavePresetFormat"), Qt::LeftButton);
        QCOMPARE(output(), QStringLiteral("1-0\n2-512\n3-1275\n4-2000\n"));

        // Unsaved typing is lost when another preset is picked.
        typeInto(format, QStringLiteral("lost"));
        presets->setFocus();
        QTest::keyClick(presets, Qt::Key_Down);
        QCOMPARE(format->text(), QStringLiteral("%f"));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n512\n1275\n2000\n"));
        QTest::keyClick(presets, Qt::Key_Up);
        QCOMPARE(format->text(), QStringLiteral("%c-%f"));

        form_.reset();
        QVERIFY(presetsFile().find("Format1=%c-%f\r\n") != std::string::npos);
    }

    void savingWritesThePageAsShown()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        const QString examples = QDir::currentPath();
        fs::create_directory(dir_->path() / "saves");
        auto* memo = w<QPlainTextEdit>("CustomMemo");
        QTextCursor end = memo->textCursor();
        end.movePosition(QTextCursor::End);
        memo->setTextCursor(end);
        QTest::keyClicks(memo, QStringLiteral("hand edit"));
        const std::string expected =
            "00:00:00.000 1\r\n00:00:20.480 2\r\n00:00:51.000 3\r\n00:01:20.000 4\r\nhand edit";

        // The file type names the file only; the dialog remembers the last
        // file and type, and the working directory follows.
        const char* const names[] = {"movie.txt", "movie.chp", "movie.ini"};
        for (int i = 0; i < 3; ++i) {
            const std::string path = (dir_->path() / "saves" / names[i]).string();
            dialogs_->saveAnswers.push_back(SaveChoice{Q(path), i});
            QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
            QCOMPARE(test::ReadFile(path), expected);
        }
        const auto& requests = dialogs_->saveRequests;
        QCOMPARE(requests.size(), size_t(3));
        QCOMPARE(requests[0].filters,
                 QStringList({"Text file (*.txt)", "DVDMaestro (*.chp)", "INI File (*.ini)"}));
        QVERIFY(requests[0].proposedPath.isEmpty());
        QCOMPARE(requests[0].filterIndex, 0);
        QCOMPARE(dialogs_->saveDirs[0], examples);
        QCOMPARE(requests[2].proposedPath, Q((dir_->path() / "saves" / "movie.chp").string()));
        QCOMPARE(requests[2].filterIndex, 1);
        QCOMPARE(QDir::currentPath(), Q((dir_->path() / "saves").string()));

        // Cancelling writes nothing and forgets nothing.
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(dialogs_->saveRequests.back().filterIndex, 2);
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(dialogs_->saveRequests.back().proposedPath, Q((dir_->path() / "saves" / "movie.ini").string()));

        // The report goes out as plain text with CR LF, shorter than before.
        showPage(RawData);
        const std::string reportPath = (dir_->path() / "saves" / "movie.txt").string();
        dialogs_->saveAnswers.push_back(SaveChoice{Q(reportPath), 0});
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        const std::string report = test::ReadFile(reportPath);
        QVERIFY(report.find("\r\nTotal film length : 00:01:35:00\r\n") != std::string::npos);
        QVERIFY(report.find("\r\nChapter 2 = 00:00:20:48\r\n") != std::string::npos);
        QVERIFY(report.size() >= 2 && report.compare(report.size() - 2, 2, "\r\n") == 0);
        for (size_t i = 0; i < report.size(); ++i)
            if (report[i] == '\n')
                QVERIFY(i > 0 && report[i - 1] == '\r');
        QVERIFY(report.find('<') == std::string::npos);

        // Nothing to save on the Customize page.
        const size_t asked = dialogs_->saveRequests.size();
        showPage(Customize);
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(dialogs_->saveRequests.size(), asked);
        QVERIFY(dialogs_->errors.isEmpty());
    }

    void errorsAreShownOnceAndTheWindowCarriesOn()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        const std::string missing = dir_->file("no/such/folder/out.txt");
        dialogs_->saveAnswers.push_back(SaveChoice{Q(missing), 0});
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(dialogs_->errors, QStringList({QStringLiteral("Cannot create file ") + Q(missing) + "."}));
        QCOMPARE(dialogs_->errorCaptions, QStringList({"Pelvano"}));

        // A full disk part way: each text has its own message.
        dialogs_->saveAnswers.push_back(SaveChoice{QStringLiteral("/dev/full"), 0});
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(dialogs_->errors.last(), QStringLiteral("Stream write error."));
        showPage(RawData);
        dialogs_->saveAnswers.push_back(SaveChoice{QStringLiteral("/dev/full"), 0});
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(dialogs_->errors.last(), QStringLiteral("Failed to Save Stream."));
        QCOMPARE(dialogs_->errors.size(), 3);

        // The window goes on working.
        showPage(Format);
        QCOMPARE(output(), kSampleTimes);
    }

    void errorMessageFullStop()
    {
        using pelvano::gui::ErrorMessageText;
        QCOMPARE(ErrorMessageText("Stream write error"), QStringLiteral("Stream write error."));
        QCOMPARE(ErrorMessageText("Done."), QStringLiteral("Done."));
        QCOMPARE(ErrorMessageText("in /tmp/a/"), QStringLiteral("in /tmp/a/."));  // '/' sorts after '.'
        QCOMPARE(ErrorMessageText("(see above)"), QStringLiteral("(see above)"));
        QCOMPARE(ErrorMessageText("'-'"), QStringLiteral("'-'"));
        QCOMPARE(ErrorMessageText("value -"), QStringLiteral("value -"));
        QCOMPARE(ErrorMessageText(""), QString());
    }

    void timingFieldsFilterAndRepair()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        auto* msOff = w<QLineEdit>("edMsOff");
        auto* frameOff = w<QLineEdit>("edFrameOff");
        auto* rate = w<QComboBox>("cbFrameRate");

        msOff->setFocus();
        typeInto(msOff, QStringLiteral("1a2.3 +-4"));
        QCOMPARE(msOff->text(), QStringLiteral("123-4"));
        QTest::keyClick(msOff, Qt::Key_Tab);  // leaving repairs what does not parse
        QCOMPARE(msOff->text(), QStringLiteral("0"));
        rate->setFocus();
        typeInto(rate, QStringLiteral("x+."));
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));

        // A new offset reaches the output with Enter, not by leaving.
        msOff->setFocus();
        typeInto(msOff, QStringLiteral("1000"));
        frameOff->setFocus();
        QCOMPARE(msOff->text(), QStringLiteral("1000"));
        QCOMPARE(output(), kSampleTimes);
        msOff->setFocus();
        QTest::keyClick(msOff, Qt::Key_Return);
        QCOMPARE(output(), QStringLiteral("00:00:01.000 1\n00:00:21.480 2\n00:00:52.000 3\n00:01:21.000 4\n"));
        frameOff->setFocus();
        typeInto(frameOff, QString());
        QTest::keyClick(frameOff, Qt::Key_Backspace);
        msOff->setFocus();
        QCOMPARE(frameOff->text(), QStringLiteral("0"));
        QVERIFY(dialogs_->errors.isEmpty());

        // Enter on a text that does not parse: one message, output kept.
        typeInto(msOff, QStringLiteral("-"));
        QTest::keyClick(msOff, Qt::Key_Enter);
        QCOMPARE(dialogs_->errors, QStringList({"'-' is not a valid integer value."}));
        QCOMPARE(output(), QStringLiteral("00:00:01.000 1\n00:00:21.480 2\n00:00:52.000 3\n00:01:21.000 4\n"));
        QCOMPARE(msOff->text(), QStringLiteral("-"));
    }

    void frameRateChangesRenderAtOnce()
    {
        start();
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        auto* presets = w<QComboBox>("cbPresets");
        presets->setFocus();
        QTest::keyClick(presets, Qt::Key_Down);  // frame numbers
        auto* rate = w<QComboBox>("cbFrameRate");
        rate->setFocus();
        QTest::keyClick(rate, Qt::Key_Down);     // picked from the list: 29970
        QCOMPARE(rate->currentText(), QStringLiteral("29970"));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n614\n1529\n2398\n"));
        QCOMPARE(form_->lastFrameRateMilli(), 29970);

        // Every typed change renders; an empty rate is an error shown once,
        // and the output keeps its text.
        rate->lineEdit()->selectAll();
        QTest::keyClick(rate, Qt::Key_Backspace);
        QCOMPARE(dialogs_->errors, QStringList({"'' is not a valid integer value."}));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n614\n1529\n2398\n"));
        QTest::keyClicks(rate, QStringLiteral("30000"));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n615\n1530\n2400\n"));
        QCOMPARE(dialogs_->errors.size(), 1);

        // On another page nothing renders until the Format page shows.
        showPage(RawData);
        rate->setFocus();
        QTest::keyClick(rate, Qt::Key_Up);
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n615\n1530\n2400\n"));
        showPage(Format);
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n512\n1275\n2000\n"));

        // Leaving an empty rate puts the default back.
        rate->setFocus();
        rate->lineEdit()->selectAll();
        QTest::keyClick(rate, Qt::Key_Backspace);
        w<QLineEdit>("edMsOff")->setFocus();
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        QCOMPARE(dialogs_->errors.size(), 2);
    }

    void startWithAFileArgument()
    {
        fs::copy_file(test::ExamplePath("VTS_01_0.IFO"), dir_->path() / "VTS_01_0.IFO");
        const std::vector<std::vector<std::string>> commandLines = {
            {"VTS_01_0.IFO"}, {"VTS_01_0.IFO", "out.txt"}, {"VTS_01_0.IFO", "a", "b", "c"}};
        for (const auto& args : commandLines) {
            QDir::setCurrent(QStringLiteral("/"));
            start(args);
            QCOMPARE(form_->windowTitle(), QStringLiteral("Pelvano - VTS_01_0.IFO"));
            QCOMPARE(QDir::currentPath(), Q(dir_->path().string()));
            QVERIFY(!form_->quitRequested());
            QCOMPARE(cells()->model()->rowCount(), 7);
            QCOMPARE(output(), kSampleTimes);
            QVERIFY(!fs::exists(dir_->path() / "out.txt"));

            // With arguments every load refreshes, on the RAW Data page too.
            showPage(RawData);
            auto* save = w<QToolButton>("bttSaveData");
            save->setEnabled(false);
            w<QComboBox>("cbTitle")->setFocus();
            QTest::keyClick(w<QComboBox>("cbTitle"), Qt::Key_Up);
            QCOMPARE(cells()->model()->rowCount(), 4);
            QVERIFY(save->isEnabled());
            form_.reset();
        }

        // Saving elsewhere moves the working directory; the relative path
        // still names the file beside the executable.
        start({"VTS_01_0.IFO"});
        fs::create_directory(dir_->path() / "saves");
        dialogs_->saveAnswers.push_back(SaveChoice{Q((dir_->path() / "saves" / "out.txt").string()), 0});
        QTest::mouseClick(w<QToolButton>("bttSaveData"), Qt::LeftButton);
        QCOMPARE(QDir::currentPath(), Q((dir_->path() / "saves").string()));
        w<QComboBox>("cbTitle")->setFocus();
        QTest::keyClick(w<QComboBox>("cbTitle"), Qt::Key_Up);
        QCOMPARE(cells()->model()->rowCount(), 4);
        QVERIFY(w<QTextEdit>("Memo1")->toPlainText().contains(QStringLiteral("VTS_01_0.IFO")));
        QCOMPARE(QDir::currentPath(), Q((dir_->path() / "saves").string()));
    }

    void missingFileOnTheCommandLine()
    {
        start({"nothing_here.IFO"});
        QVERIFY(form_->quitRequested());
        QCOMPARE(form_->exitCode(), 1);
        QCOMPARE(form_->windowTitle(), QStringLiteral("Pelvano"));
        QCOMPARE(cells()->model()->rowCount(), 0);
        QVERIFY(w<QTextEdit>("Memo1")->toPlainText().isEmpty());
        form_.reset();
        QVERIFY(presetsFile().find("LastDir=" + dir_->path().string() + "\r\n") != std::string::npos);
        QVERIFY(dialogs_->errors.isEmpty());
    }

    void lastDirIsRestoredAndStored()
    {
        fs::create_directory(dir_->path() / "last");
        const std::string presets = std::string(kTestPresets) + "[Options]\r\nLastDir=" +
                                    (dir_->path() / "last").string() + "\r\n";
        start({}, presets.c_str());
        QCOMPARE(QDir::currentPath(), Q((dir_->path() / "last").string()));

        // A folder that is gone leaves the working directory alone.
        form_.reset();
        const std::string gone = std::string(kTestPresets) + "[Options]\r\nLastDir=" +
                                 (dir_->path() / "gone").string() + "\r\n";
        QDir::setCurrent(Q(dir_->path().string()));
        start({}, gone.c_str());
        QCOMPARE(QDir::currentPath(), Q(dir_->path().string()));

        // The folder of the last file opened is stored at the end.
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        QCOMPARE(dialogs_->openDirs.last(), Q(dir_->path().string()));
        form_.reset();
        QVERIFY(presetsFile().find("\r\nLastDir=" + fs::path(test::ExamplePath("")).parent_path().string() +
                                   "\r\n") != std::string::npos);
    }

    void unwritablePresetsFileIsReported()
    {
        fs::create_directory(dir_->path() / "pelvano.INI");
        start({}, nullptr);
        QVERIFY(dialogs_->errors.isEmpty());
        form_.reset();
        QCOMPARE(dialogs_->errors, QStringList({QStringLiteral("Unable to write to ") + Q(dir_->file("pelvano.INI")) + "."}));
        QCOMPARE(dialogs_->errorCaptions, QStringList({"Pelvano"}));
    }

    void openAviTakesTheRateAndSnapsTheFrames()
    {
        startWithFrameNumbers();
        auto* avi = w<QLineEdit>("edAVIFileName");
        auto* synch = w<QCheckBox>("cbSynchKF");
        auto* rate = w<QComboBox>("cbFrameRate");
        const QString examples = QDir::currentPath();

        // Cancelling changes nothing.
        openAvi(std::nullopt);
        QCOMPARE(dialogs_->openFilters.last(), QStringLiteral("AVI Video File (*.AVI)"));
        QVERIFY(avi->text().isEmpty());
        QVERIFY(!synch->isEnabled());
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        QCOMPARE(QDir::currentPath(), examples);

        // 30000/1001 rounds up to 29971, and the output follows at once.
        const std::string kf2997 = test::FixturePath("avi/kf2997.avi");
        openAvi(kf2997);
        QCOMPARE(avi->text(), Q(kf2997));
        QCOMPARE(rate->currentText(), QStringLiteral("29971"));
        QVERIFY(synch->isEnabled());
        QVERIFY(!synch->isChecked());
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n614\n1529\n2398\n"));
        QCOMPARE(QDir::currentPath(), Q(fs::path(kf2997).parent_path().string()));
        QVERIFY(!IsOpenHere(kf2997));

        // kf25.avi: 25/1, key frames 0, 250, 275, 290. With the offset the
        // chapters fall on 0, 125, 888 and 1613; 125 is as far from 0 as
        // from 250 and goes to the later one, frames after the last key
        // frame go back to it.
        const std::string kf25 = test::FixturePath("avi/kf25.avi");
        openAvi(kf25);
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        enterFrameOffset(QStringLiteral("-387"));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n125\n888\n1613\n"));
        QTest::mouseClick(synch, Qt::LeftButton);
        QVERIFY(synch->isChecked());
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n250\n290\n290\n"));
        enterFrameOffset(QStringLiteral("-388"));  // 124: nearer to 0
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n0\n290\n290\n"));
        QVERIFY(!IsOpenHere(kf25));

        // Unchecking renders at once, unsnapped.
        QTest::mouseClick(synch, Qt::LeftButton);
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n124\n887\n1612\n"));

        // The time fields are never snapped.
        QTest::mouseClick(synch, Qt::LeftButton);
        auto* format = w<QLineEdit>("edFormat");
        typeInto(format, QStringLiteral("%f %hh:%mm:%ss.%ms %ff"));
        renderAgain();
        QCOMPARE(output(), QStringLiteral("Frames\n\n0 00:00:00.000 00\n0 00:00:20.480 12\n"
                                          "290 00:00:51.000 00\n290 00:01:20.000 00\n"));

        // A title load sets the rate from the title and leaves the AVI file
        // and the box as they are.
        rate->setEditText(QStringLiteral("30000"));
        openTitle(test::ExamplePath("VTS_01_0.IFO"));
        QCOMPARE(rate->currentText(), QStringLiteral("25000"));
        QCOMPARE(avi->text(), Q(kf25));
        QVERIFY(synch->isEnabled());
        QVERIFY(synch->isChecked());
        QCOMPARE(output(), QStringLiteral("Frames\n\n0 00:00:00.000 00\n0 00:00:20.480 12\n"
                                          "290 00:00:51.000 00\n290 00:01:20.000 00\n"));
        QVERIFY(dialogs_->messages.isEmpty());
        QVERIFY(dialogs_->errors.isEmpty());
    }

    void aviFilesThatCannotBeUsed()
    {
        startWithFrameNumbers();
        auto* avi = w<QLineEdit>("edAVIFileName");
        auto* synch = w<QCheckBox>("cbSynchKF");
        auto* rate = w<QComboBox>("cbFrameRate");
        const std::string notes = dir_->file("notes.avi");
        test::WriteFile(notes, "not a video\r\n");
        const std::string moved = dir_->file("moved.avi");
        fs::copy_file(test::FixturePath("avi/kf25.avi"), moved);

        // kf2997.avi has key frames 0, 60, 150 and 240.
        openAvi(test::FixturePath("avi/kf2997.avi"));
        QTest::mouseClick(synch, Qt::LeftButton);
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n240\n240\n240\n"));

        // A file that is no AVI: the message in a plain box, snapping off
        // with its check mark kept, the rate and the unsnapped output back.
        openAvi(notes);
        QCOMPARE(dialogs_->messages, QStringList({kAviOpenMessage}));
        QCOMPARE(dialogs_->messageCaptions, QStringList({"Pelvano"}));
        QVERIFY(!synch->isEnabled());
        QVERIFY(synch->isChecked());
        QCOMPARE(avi->text(), Q(notes));
        QCOMPARE(rate->currentText(), QStringLiteral("29971"));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n614\n1529\n2398\n"));
        renderAgain();  // no snapping, no message
        QCOMPARE(dialogs_->messages.size(), 1);

        openAvi(dir_->file("gone.avi"));
        QCOMPARE(dialogs_->messages, QStringList({kAviOpenMessage, kAviOpenMessage}));

        // Audio only: accepted, rate kept; the rendering that snaps finds no
        // video stream and leaves the output as it was.
        w<QPlainTextEdit>("CustomMemo")->setPlainText(QStringLiteral("kept"));
        openAvi(test::FixturePath("avi/audio_only.avi"));
        QVERIFY(synch->isEnabled());
        QCOMPARE(rate->currentText(), QStringLiteral("29971"));
        QCOMPARE(dialogs_->messages.last(), kAviStreamMessage);
        QCOMPARE(dialogs_->messages.size(), 3);
        QCOMPARE(output(), QStringLiteral("kept"));

        // A file moved away after it was chosen: every rendering says so.
        openAvi(moved);
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n290\n290\n290\n"));
        fs::remove(moved);
        renderAgain();
        renderAgain();
        QCOMPARE(dialogs_->messages.mid(3), QStringList({kAviOpenMessage, kAviOpenMessage}));
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n290\n290\n290\n"));

        // A conversion error with snapping on is shown alone, the output
        // kept and the file closed again.
        fs::copy_file(test::FixturePath("avi/kf25.avi"), moved);
        auto* msOff = w<QLineEdit>("edMsOff");
        msOff->setFocus();
        typeInto(msOff, QStringLiteral("-"));
        QTest::keyClick(msOff, Qt::Key_Return);
        QCOMPARE(dialogs_->errors, QStringList({"'-' is not a valid integer value."}));
        QCOMPARE(dialogs_->messages.size(), 5);
        QCOMPARE(output(), QStringLiteral("Frames\n\n0\n290\n290\n290\n"));
        QVERIFY(!IsOpenHere(moved));
    }

    void quitEndsTheEventLoop()
    {
        start();
        QTimer::singleShot(0, this, [this] { QTest::mouseClick(w<QToolButton>("bttQuit"), Qt::LeftButton); });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
