// The main window driven through its real widgets, found by object name.
#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "app/application.h"
#include "cell_list_model.h"
#include "cell_list_view.h"
#include "chapters/playlist_loader.h"
#include "eliding_combo_box.h"
#include "fake_dialogs.h"
#include "main_form.h"
#include "mpls_writer.h"
#include "output/format_engine.h"
#include "test_util.h"

using pelvano::gui::SaveChoice;
using pelvano::gui::TMainForm;
namespace fs = std::filesystem;
namespace test = pelvano::test;

namespace {

// Preset 1 gives the times the way dvdxchap prints them; preset 2 the
// frame numbers under a header.
const char* const kTestPresets = "[Presets]\r\nPreset1=Times\r\nFormat1=%hh:%mm:%ss.%ms %c\r\nHeader1=\r\n"
                                 "Preset2=Frames\r\nFormat2=%f\r\nHeader2=Frames\\n\r\n";

// examples/VTS_01_0.IFO, PGC 1 (the longest): chapters at 0, 20480, 51000
// and 80000 ms (dvdxchap, title 2); the same 1000 ms later; as frames at
// 25 and at 29.97 fps. PGC 0: chapters at 0 and 20000 ms.
const QString kTimes = "00:00:00.000 1\n00:00:20.480 2\n00:00:51.000 3\n00:01:20.000 4\n";
const QString kTimesPlus1s = "00:00:01.000 1\n00:00:21.480 2\n00:00:52.000 3\n00:01:21.000 4\n";
const QString kFrames25 = "Frames\n\n0\n512\n1275\n2000\n";
const QString kFrames2997 = "Frames\n\n0\n614\n1529\n2398\n";
const QString kPgc0Times = "00:00:00.000 1\n00:00:20.000 2\n";

const QString kAviOpenMessage = "# AVIFileOpen : AVI source init error !";
const QString kAviStreamMessage = "# AVIFileGetStream : Can't get a video stream !";

enum Page { RawData, Customize, Format, Readme };

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

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

    std::unique_ptr<test::TempDir> dir_;
    std::unique_ptr<test::FakeDialogs> dialogs_;
    std::unique_ptr<pelvano::Application> app_;
    std::unique_ptr<TMainForm> form_;
    QString savedCwd_;

    void start(const std::vector<std::string>& args = {}, const char* presets = kTestPresets)
    {
        form_.reset();
        if (presets)
            test::WriteFile(dir_->file("pelvano.INI"), presets);
        app_ = std::make_unique<pelvano::Application>(pelvano::Application::PathsFor(dir_->file("pelvano")));
        form_ = std::make_unique<TMainForm>(*dialogs_, *app_, args);
        form_->show();
        QApplication::setActiveWindow(form_.get());
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        waitForTheSource();
    }

    // A source is read off the window's thread; "Open IFO" comes back when it is in.
    void waitForTheSource() { QTRY_VERIFY(enabled("bttOpenIFO")); }

    template <typename T = QWidget>
    T* w(const char* name)
    {
        T* widget = form_->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qFatal("no %s", name);
        return widget;
    }

    // What a control shows: a text area's content, a list's current entry,
    // a label's or a field's text.
    QString text(const char* name)
    {
        for (const char* property : {"plainText", "currentText", "text"})
            if (const QVariant value = w(name)->property(property); value.isValid())
                return value.toString();
        return {};
    }

    QString output() { return text("CustomMemo"); }
    QString footer() { return text("lbLstTimeLen") + ' ' + text("lbLstNbsChapter"); }
    bool enabled(const char* name) { return w(name)->isEnabled(); }
    bool checked(const char* name) { return w<QCheckBox>(name)->isChecked(); }
    void click(const char* name) { QTest::mouseClick(w(name), Qt::LeftButton); }
    std::string presetsFile() { return test::ReadFile(dir_->file("pelvano.INI")); }

    void key(const char* name, Qt::Key key)
    {
        w(name)->setFocus();
        QTest::keyClick(w(name), key);
    }

    // Replaces a field's text by typing over all of it.
    void type(const char* name, const QString& typed)
    {
        w(name)->setFocus();
        if (auto* combo = qobject_cast<QComboBox*>(w(name)))
            combo->lineEdit()->selectAll();
        else
            w<QLineEdit>(name)->selectAll();
        QTest::keyClicks(w(name), typed);
    }

    void open(const char* button, const std::optional<std::string>& path)
    {
        dialogs_->openAnswers.push_back(path ? std::optional<QString>(Q(*path)) : std::nullopt);
        click(button);
        waitForTheSource();
    }
    void openSample() { open("bttOpenIFO", test::ExamplePath("VTS_01_0.IFO")); }

    void save(const std::string& path, int filter = 0)
    {
        dialogs_->saveAnswers.push_back(SaveChoice{Q(path), filter});
        click("bttSaveData");
    }

    // The sample title with preset 2: the frame numbers under a header.
    void startWithFrameNumbers()
    {
        start();
        openSample();
        key("cbPresets", Qt::Key_Down);
        QCOMPARE(output(), kFrames25);
    }

    void showPage(int page)
    {
        QTabBar* tabs = w<QTabWidget>("PageControl1")->tabBar();
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(page).center());
        QCOMPARE(w<QTabWidget>("PageControl1")->currentIndex(), page);
    }

    // The cell list: a column top to bottom, the check marks as x and -.
    QTreeView* cells() { return w<QTreeView>("lstCells"); }
    QModelIndex index(int row, int column = 3) { return cells()->model()->index(row, column); }
    QStringList column(int c)
    {
        QStringList texts;
        for (int row = 0; row < cells()->model()->rowCount(); ++row)
            texts << index(row, c).data().toString();
        return texts;
    }
    QString checks()
    {
        QString marks;
        for (int row = 0; row < cells()->model()->rowCount(); ++row)
            marks += index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked ? 'x' : '-';
        return marks;
    }
    QColor colour(int row) { return index(row).data(Qt::ForegroundRole).value<QBrush>().color(); }
    QPoint rowPoint(int row) { return cells()->visualRect(index(row)).center(); }
    void clickCells(QPoint at, Qt::MouseButton button = Qt::LeftButton, Qt::KeyboardModifiers keys = {})
    {
        QTest::mouseClick(cells()->viewport(), button, keys, at);
    }

    // Where the style draws a row's check box, worked out apart from the list.
    QPoint checkBoxPoint(int row)
    {
        QStyleOptionViewItem option;
        option.initFrom(cells()->viewport());
        option.rect = cells()->visualRect(index(row, 0));
        option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
        option.text = index(row, 0).data().toString();
        option.widget = cells();
        return cells()
            ->style()
            ->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, cells())
            .center();
    }

    // Selects `rows` with the mouse and picks `command` from the list's menu
    // (a disabled command would leave the menu open).
    void command(std::initializer_list<int> rows, const char* command)
    {
        Qt::KeyboardModifiers keys;
        for (int row : rows) {
            clickCells(rowPoint(row), Qt::LeftButton, keys);
            keys = Qt::ControlModifier;
        }
        clickCells(rowPoint(*(rows.end() - 1)), Qt::RightButton);
        auto* menu = w<QMenu>("pmLstCells");
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(w<QAction>(command)).center());
        QTRY_VERIFY(!menu->isVisible());
    }

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
        QCOMPARE(form_->windowTitle(), "Pelvano");
        QCOMPARE(form_->size(), QSize(610, 451));
        QCOMPARE(w<QTabWidget>("PageControl1")->currentIndex(), int(Format));
        QCOMPARE(QApplication::focusWidget(), w("CustomMemo"));
        QVERIFY(!form_->windowIcon().isNull());  // the resources are linked in
        QVERIFY(checked("chkFixLCB") && !checked("cbSynchKF"));
        QVERIFY(!enabled("bttOpenAVI") && !enabled("cbSynchKF") && enabled("bttSaveData"));
        QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 100);  // hints come fast
        QCOMPARE(cells()->toolTipDuration(), 30000);                                      // and stay

        // Without a presets file every value is its key name, and the first
        // preset is rendered: the header alone, as there is no title.
        QStringList shown;
        for (const char* name : {"ReadmeMemo", "Memo1", "cbPresets", "edFormat", "edHeader", "CustomMemo",
                                 "cbFrameRate", "edFrameOff", "edMsOff", "lbLstTimeLen", "lbLstNbsChapter"})
            shown << text(name);
        QCOMPARE(shown, QStringList({"Can't find Readme.txt", "", "Preset1", "Format1", "Header1",
                                     "Header1\n", "25000", "0", "0", "00:00:00:00", "0"}));
    }

    void layoutFollowsTheWindow()
    {
        start();
        openSample();
        // Nothing clipped or overlapping, at the smallest size too.
        form_->resize(500, 100);
        QTRY_COMPARE(form_->size(), QSize(575, 200));
        for (const auto& [panel, row] : std::initializer_list<std::pair<const char*, QStringList>>{
                 {"Panel2",
                  {"bttOpenIFO", "Label3", "cbTitle", "Label2", "cbFrameRate", "Label1", "edFrameOff",
                   "edMsOff", "chkFixLCB"}},
                 {"Panel2",
                  {"bttSaveData", "bttChapterNames", "bttOpenAVI", "edAVIFileName", "cbSynchKF",
                   "chkExactNTSC", "bttHelpAbout", "bttQuit"}},
                 {"Panel3",
                  {"Label6", "cbPresets", "bttModifPresetName", "Label7", "edFormat",
                   "bttSavePresetFormat"}}}) {
            int right = -1;
            for (const QString& name : row) {
                QWidget* widget = w(qPrintable(name));
                const QRect r = widget->geometry();
                QVERIFY2(r.left() > right && r.width() >= widget->minimumSizeHint().width(),
                         qPrintable(name));
                QVERIFY2(widget->mapTo(w(panel), QPoint(r.width(), 0)).x() <= w(panel)->width(),
                         qPrintable(name));
                right = r.right();
            }
        }
        QVERIFY(w("CustomMemo")->height() >= 24);
        QVERIFY(w("Panel3")->geometry().bottom() < w("tsFormat")->height());
        QVERIFY(w("edHeader")->geometry().bottom() < w("edFooter")->geometry().top());
        QVERIFY(w("edFooter")->geometry().bottom() < w("Panel3")->height());
        QVERIFY(w("Panel2")->geometry().bottom() < form_->height());
        QCOMPARE(QSize(w("Panel2")->height(), w("Panel3")->height()), QSize(57, 74));

        // Stretching fields take the extra width; right-anchored controls
        // keep their distance from the right edge; the pages take the height.
        const auto measure = [this] {
            QList<int> sizes;
            for (const char* name : {"edMsOff", "edAVIFileName", "edFormat", "edHeader", "edFooter"})
                sizes << w(name)->width();
            for (const char* name :
                 {"chkFixLCB", "cbSynchKF", "bttHelpAbout", "bttQuit", "bttSavePresetFormat"})
                sizes << form_->width() - w(name)->mapTo(form_.get(), QPoint(w(name)->width(), 0)).x();
            return sizes << w("PageControl1")->height() << form_->height() - w("Panel2")->y();
        };
        form_->resize(610, 451);
        QTRY_COMPARE(form_->size(), QSize(610, 451));
        const QList<int> before = measure();
        form_->resize(800, 551);
        QTRY_COMPARE(form_->size(), QSize(800, 551));
        QList<int> grown = measure();
        for (qsizetype i = 0; i < grown.size(); ++i)
            grown[i] -= before[i];
        QCOMPARE(grown, QList<int>({190, 190, 190, 190, 190, 0, 0, 0, 0, 0, 100, 0}));
    }

    // Drags `path` over `target` (the window by default) and drops it there.
    // Whether a drop of `path` is taken (nothing is waited for).
    bool dropTaken(const std::string& path, QWidget* target = nullptr)
    {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(Q(path))});
        QWidget* on = target ? target : form_.get();
        QDragEnterEvent enter(QPoint(4, 4), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(on, &enter);
        QDropEvent dropped(QPointF(4, 4), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(on, &dropped);
        return enter.isAccepted() && dropped.isAccepted();
    }
    void drop(const std::string& path, QWidget* target = nullptr)
    {
        QVERIFY(dropTaken(path, target));
        waitForTheSource();
    }

    // The two-title-set fixture as <dir>/disc/VIDEO_TS and <dir>/disc.iso.
    std::string makeTwoSetDisc()
    {
        return test::MakeDisc(test::FixturePath("dvd/two_sets"), dir_->file("disc")).iso;
    }

    QString reportTail() { return text("Memo1").section('\n', 1); }
    bool titleSetsShown() { return w("cbTitleSet")->isVisible() && w("lbTitleSet")->isVisible(); }
    QStringList items(const char* name)
    {
        QStringList texts;
        for (int i = 0; i < w<QComboBox>(name)->count(); ++i)
            texts << w<QComboBox>(name)->itemText(i);
        return texts;
    }

    void discsByDialogDropAndCommandLine()
    {
        const std::string iso = makeTwoSetDisc();
        const std::string folder = dir_->file("disc/VIDEO_TS");
        const std::string vts1 = test::FixturePath("dvd/two_sets/VTS_01_0.IFO");
        const std::string vts2 = test::FixturePath("dvd/two_sets/VTS_02_0.IFO");

        // The reports of the two IFO files, as the window shows them.
        start();
        QVERIFY(!titleSetsShown());
        open("bttOpenIFO", vts1);
        QVERIFY(!titleSetsShown());
        const QString report1 = reportTail();
        const QString times1 = output();
        open("bttOpenIFO", vts2);
        const QString report2 = reportTail();
        const QString times2 = output();

        // While an image is read, the window takes no other source and shows
        // it is busy; then title set 2, which holds the longest PGC.
        QVERIFY(dropTaken(iso));
        QVERIFY(!enabled("bttOpenIFO"));
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
        QVERIFY(!dropTaken(vts1));
        waitForTheSource();
        QVERIFY(!QApplication::overrideCursor());
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(iso));
        QVERIFY(titleSetsShown());
        // The disc's titles as lsdvd numbers them; title 3 starts in the longest PGC.
        QCOMPARE(items("cbTitleSet"),
                 QStringList({"Title 1 \u00b7 VTS 1 \u00b7 00:00:20", "Title 2 \u00b7 VTS 2 \u00b7 00:00:12",
                              "Title 3 \u00b7 VTS 2 \u00b7 00:00:36"}));
        QCOMPARE(text("lbTitleSet"), "Disc title :");
        QCOMPARE(w<QComboBox>("cbTitleSet")->currentIndex(), 2);
        QVERIFY(text("Memo1").startsWith("Opening title set 2 (VTS_02_0.IFO) of " + Q(iso) + " OK.\n"));
        QCOMPARE(reportTail(), report2);
        QCOMPARE(output(), times2);
        QCOMPARE(w<QComboBox>("cbTitle")->currentIndex(), 1);

        // A title loads its title set and selects its PGC; picking a PGC
        // shows the title that starts in it.
        key("cbTitleSet", Qt::Key_Up);
        QCOMPARE(w<QComboBox>("cbTitle")->currentIndex(), 0);
        QVERIFY(text("Memo1").contains("  Using PGC #0."));
        key("cbTitle", Qt::Key_Down);
        QCOMPARE(w<QComboBox>("cbTitleSet")->currentIndex(), 2);

        // Another title set loads its PGC, the rate from its standard.
        w<QComboBox>("cbFrameRate")->setEditText("23976");
        w<QComboBox>("cbTitleSet")->setCurrentIndex(1);
        key("cbTitleSet", Qt::Key_Up);
        QVERIFY(text("Memo1").startsWith("Opening title set 1 (VTS_01_0.IFO) of " + Q(iso) + " OK.\n"));
        QCOMPARE(reportTail(), report1);
        QCOMPARE(output(), times1);
        QCOMPARE(items("cbTitle"), QStringList({"1"}));
        QCOMPARE(text("cbFrameRate"), "25000");
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(iso));

        // Dropped: an IFO file hides the title sets; a folder, on a text
        // field that would take text, shows them again.
        drop(vts1);
        QVERIFY(!titleSetsShown());
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(vts1));
        QCOMPARE(reportTail(), report1);
        // The disc's VIDEO_TS.IFO chosen in the dialog opens the disc.
        open("bttOpenIFO", folder + "/VIDEO_TS.IFO");
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(folder + "/VIDEO_TS.IFO"));
        QCOMPARE(w<QComboBox>("cbTitleSet")->count(), 3);
        QCOMPARE(reportTail(), report2);

        // Without its VIDEO_TS.IFO a disc lists its title sets.
        fs::remove(folder + "/VIDEO_TS.IFO");
        fs::remove(folder + "/VIDEO_TS.BUP");
        drop(folder, w<QAbstractScrollArea>("CustomMemo")->viewport());
        QVERIFY(titleSetsShown());
        QCOMPARE(items("cbTitleSet"), QStringList({"VTS 1 \u00b7 00:00:20", "VTS 2 \u00b7 00:00:36"}));
        QCOMPARE(w<QComboBox>("cbTitleSet")->currentIndex(), 1);
        QCOMPARE(text("lbTitleSet"), "Title set :");
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(folder));
        QCOMPARE(reportTail(), report2);
        QCOMPARE(output(), times2);

        // A disc with one title shows no drop-down; a source that can't be
        // read says why in the report and leaves the list empty.
        drop(test::FixturePath("dvd/one_chapter"));
        QVERIFY(!titleSetsShown());
        QVERIFY(text("Memo1").startsWith("Opening title set 1 (VTS_01_0.IFO) of "));
        const std::string empty = dir_->file("empty.iso");
        test::WriteFile(empty, "");
        drop(empty);
        QCOMPARE(text("Memo1"), "error opening " + Q(empty) + ": the file is empty\n");
        QCOMPARE(checks(), "");
        QVERIFY(!enabled("bttOpenAVI"));
        QVERIFY(!titleSetsShown());

        // From the command line.
        start({iso});
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(iso));
        QVERIFY(titleSetsShown());
        QVERIFY(form_->screen()->availableGeometry().contains(form_->frameGeometry()));
        QCOMPARE(reportTail(), report2);
    }

    // A Blu-ray's playlists beside "Title", which has nothing to choose:
    // each renders as the core renders it; a DVD after it chooses again.
    void blurayPlaylistsSwitchInTheTitleList()
    {
        const std::string film = dir_->file("film"), trailer = film + "/BDMV/PLAYLIST/00004.mpls";
        test::WriteBdmv(film, test::Film());
        const auto rendered = [&](const std::string& source, int number) {
            const pelvano::LoadResult load = pelvano::LoadPlaylist(pelvano::Source::Open(source), number, {});
            return Q(RenderChapters(*load.model, {"%hh:%mm:%ss.%ms %c", "", "23976", "0", "0"}).text)
                .replace("\r\n", "\n");
        };
        const auto header = [&](int column) { return cells()->model()->headerData(column, Qt::Horizontal); };
        start();
        open("bttOpenIFO", film + "/BDMV/index.bdmv");
        QVERIFY(titleSetsShown() && !enabled("cbTitle") && !enabled("Label3"));
        QCOMPARE(items("cbTitleSet"), QStringList({"00001 \u00b7 01:50:15 \u00b7 18 chapters",
                                                   "00004 \u00b7 00:02:00 \u00b7 2 chapters"}));
        QCOMPARE(text("lbTitleSet"), "Playlist :");
        QCOMPARE(items("cbTitle"), QStringList());
        QCOMPARE(text("cbFrameRate"), "23976");
        QVERIFY(
            text("Memo1").startsWith("Opening playlist 00001 of " + Q(film + "/BDMV/index.bdmv") + " OK.\n"));
        QCOMPARE(output(), rendered(film, 1));
        QCOMPARE(QStringList({header(1).toString(), header(2).toString()}), QStringList({"Clip", "Mark"}));
        key("cbTitleSet", Qt::Key_Down);
        QCOMPARE(output(), rendered(film, 4));
        QCOMPARE(checks(), "xx");
        QCOMPARE(footer(), "00:02:00:00 2");

        // A playlist file alone: nothing to choose at all.
        drop(trailer);
        QVERIFY(!titleSetsShown() && !enabled("cbTitle"));
        QCOMPARE(output(), rendered(trailer, 4));
        openSample();
        QVERIFY(!titleSetsShown() && enabled("cbTitle") && enabled("Label3"));
        QCOMPARE(output(), kTimes);
        QCOMPARE(header(1).toString(), "VOB-ID");
    }

    void openingATitleSetAndChangingThePgc()
    {
        start();
        open("bttOpenIFO", std::nullopt);  // cancelled: nothing changes
        QCOMPARE(form_->windowTitle(), "Pelvano");
        QVERIFY(w("lbStartHint")->isVisible() &&
                text("lbStartHint") == "Open a disc, an image or an IFO file, or drop one here");
        const std::string sample = test::ExamplePath("VTS_01_0.IFO");
        open("bttOpenIFO", sample);
        QCOMPARE(
            dialogs_->openFilters,
            QStringList(2, "DVD IFO File (*.IFO);;DVD disc folder (VIDEO_TS.IFO);;Blu-ray playlist (*.mpls);;"
                           "Blu-ray disc folder (index.bdmv);;Disc image (*.iso);;All files (*)"));
        QCOMPARE(form_->windowTitle(), "Pelvano - " + Q(sample));
        QCOMPARE(w<QComboBox>("cbTitle")->count(), 2);
        QCOMPARE(w<QComboBox>("cbTitle")->currentIndex(), 1);
        QVERIFY(enabled("bttOpenAVI"));
        QCOMPARE(checks(), "x-x--xx");
        QCOMPARE(QStringList({column(0)[4], column(1)[4], column(2)[4], column(3)[1], column(4)[2]}),
                 QStringList({"004", "03", "01", "00:00:12:96", "00:00:20:48"}));
        QCOMPARE(column(7), QStringList({"1", "", "2", "", "", "3", "4"}));
        QCOMPARE(footer(), "00:01:35:00 4");
        QVERIFY(text("Memo1").contains("\nTotal film length : 00:01:35:00\n"));
        QCOMPARE(output(), kTimes);  // loaded on the Format page: rendered at once
        QVERIFY(!w("lbStartHint")->isVisible());

        // PGC 0: its cells, and the rate set from the title again.
        w<QComboBox>("cbFrameRate")->setEditText("23976");
        key("cbTitle", Qt::Key_Up);
        QCOMPARE(checks(), "x-x-");
        QCOMPARE(text("cbFrameRate"), "25000");
        QCOMPARE(output(), kPgc0Times);

        // A file that does not read as a title set: the report says why, and
        // nothing of the title before is left to be saved as this one's.
        const std::string junk = dir_->file("VTS_09_0.IFO");
        test::WriteFile(junk, "not a title set");
        open("bttOpenIFO", junk);
        QVERIFY(text("Memo1").startsWith("error opening file " + Q(junk)));
        QCOMPARE(checks(), "");
        QCOMPARE(w<QComboBox>("cbTitle")->count(), 0);
        QCOMPARE(footer(), "00:00:00:00 0");  // as in a fresh window
        QVERIFY(!enabled("bttOpenAVI"));
        QCOMPARE(output(), "");
        save(dir_->file("after_failure.txt"));
        QCOMPARE(test::ReadFile(dir_->file("after_failure.txt")), "");
    }

    void reportStylesAndTheShortLastChapter()
    {
        start();
        open("bttOpenIFO", test::FixturePath("dvd/short_last/VTS_01_0.IFO"));
        // PGC 0: chapters on cells 0, 1 and 2; the last starts with a 3 s
        // cell and is dropped.
        QCOMPARE(checks(), "xx--");
        QCOMPARE(output(), "00:00:00.000 1\n00:00:10.000 2\n");
        bool sawRed = false, sawBold = false;
        for (QTextBlock line = w<QTextEdit>("Memo1")->document()->begin(); line.isValid();
             line = line.next()) {
            if (line.begin().atEnd())
                continue;  // an empty line has no fragment
            const QTextCharFormat format = line.begin().fragment().charFormat();
            sawRed |= line.text().startsWith("Warning") && format.foreground().color() == QColor(255, 0, 0);
            sawBold |= line.text() == "Program Chain(s):" && format.fontWeight() == QFont::Bold;
        }
        QVERIFY(sawRed && sawBold);

        // Without the fix the third chapter stays.
        click("chkFixLCB");
        open("bttOpenIFO", test::FixturePath("dvd/short_last/VTS_01_0.IFO"));
        QCOMPARE(output(), "00:00:00.000 1\n00:00:10.000 2\n00:00:23.000 3\n");
    }

    // A title loaded while the list's page is hidden: each column, once the
    // page shows, as wide as its widest text, its header or its minimum.
    void cellColumnsFitATitleLoadedWhileHidden()
    {
        start();
        openSample();
        showPage(Customize);
        QHeaderView* header = cells()->header();
        const QAbstractItemView* view = cells();
        for (int c = 0; c < header->count(); ++c) {
            const int minimum =
                cells()
                    ->model()
                    ->headerData(c, Qt::Horizontal, pelvano::gui::CellListModel::MinimumWidthRole)
                    .toInt();
            QCOMPARE(header->sectionSize(c),
                     std::max({minimum, view->sizeHintForColumn(c), header->sectionSizeHint(c)}));
        }
    }

    void markingCellsRebuildsTheirOwnResult()
    {
        start();
        openSample();
        showPage(Customize);
        clickCells(checkBoxPoint(2));
        QCOMPARE(checks(), "x----xx");
        QCOMPARE(footer(), "00:01:35:00 3");
        QCOMPARE(column(6), QStringList({"005", "", "", "", "", "006", ""}));
        QCOMPARE(column(7), QStringList({"1", "", "", "", "", "2", "3"}));
        QCOMPARE(output(), kTimes);  // until the Format page shows again
        showPage(Format);
        QCOMPARE(output(), "00:00:00.000 1\n00:00:51.000 2\n00:01:20.000 3\n");

        // A mark changed from the keyboard counts at the next rebuild only;
        // a release over a row's text rebuilds nothing, one over a check box
        // rebuilds from the marks as they stand, whatever the button.
        showPage(Customize);
        cells()->setCurrentIndex(index(3, 0));
        key("lstCells", Qt::Key_Space);
        QCOMPARE(checks(), "x--x-xx");
        clickCells(rowPoint(4));
        QCOMPARE(footer(), "00:01:35:00 3");
        clickCells(checkBoxPoint(1), Qt::RightButton);
        QCOMPARE(column(7), QStringList({"1", "", "", "2", "", "3", "4"}));
        w<QMenu>("pmLstCells")->close();

        // The menu: nothing selected, all four commands off.
        cells()->clearSelection();
        clickCells(QPoint(20, cells()->viewport()->height() - 5), Qt::RightButton);
        QTRY_VERIFY(w<QMenu>("pmLstCells")->isVisible());
        for (const char* name : {"Useintimestamp1", "Dontuseintimestamp1", "Check1", "Uncheck1"})
            QVERIFY2(!w<QAction>(name)->isEnabled(), name);
        w<QMenu>("pmLstCells")->close();

        // Rows 1 and 4 out of the timestamps: later times move earlier; grey
        // for unused cells, red for chapter starts, else the list's own.
        command({1, 4}, "Dontuseintimestamp1");
        QCOMPARE(column(4), QStringList({"00:00:00:00", "-", "00:00:07:52", "00:00:20:24", "-", "00:00:37:04",
                                         "00:01:06:04"}));
        QCOMPARE(footer(), "00:01:21:04 4");
        const QColor grey = QApplication::palette().color(QPalette::Disabled, QPalette::Text), red(255, 0, 0);
        QCOMPARE(QList<QColor>({colour(1), colour(4), colour(0), colour(3)}),
                 QList<QColor>({grey, grey, red, red}));
        QVERIFY(!index(2).data(Qt::ForegroundRole).isValid());
        showPage(Format);
        QCOMPARE(output(), "00:00:00.000 1\n00:00:20.240 2\n00:00:37.040 3\n00:01:06.040 4\n");

        // "Check" adds a chapter, "Use in timestamp" brings a time back, a
        // chapter start out of the timestamps is grey, "Uncheck" drops it.
        showPage(Customize);
        command({2}, "Check1");
        QCOMPARE(checks(), "x-xx-xx");
        QCOMPARE(colour(2), red);
        command({1}, "Useintimestamp1");
        QCOMPARE(column(4).mid(1, 2), QStringList({"00:00:07:52", "00:00:20:48"}));
        command({0}, "Dontuseintimestamp1");
        QCOMPARE(colour(0), grey);
        command({0}, "Uncheck1");
        QCOMPARE(checks(), "--xx-xx");
        QCOMPARE(text("lbLstNbsChapter"), "4");

        // Over a row: a hand, the list's hint, and a chapter start's red
        // given up for the list's own colour while the row is hot.
        QWidget* viewport = cells()->viewport();
        QTest::mouseMove(viewport, rowPoint(2));
        QTRY_COMPARE(viewport->cursor().shape(), Qt::PointingHandCursor);
        QHelpEvent help(QEvent::ToolTip, rowPoint(2), viewport->mapToGlobal(rowPoint(2)));
        QApplication::sendEvent(viewport, &help);
        QCOMPARE(QToolTip::text(), "Right click to enable/disable the use of a cell in timestamp");
        QToolTip::hideText();
        struct Probe : pelvano::gui::CellRowDelegate {
            using CellRowDelegate::initStyleOption;
        } probe;
        QStyleOptionViewItem plain, hot;
        plain.widget = hot.widget = cells();
        hot.state |= QStyle::State_MouseOver;
        probe.initStyleOption(&plain, index(2));
        probe.initStyleOption(&hot, index(2));
        QCOMPARE(plain.palette.color(QPalette::Text), red);
        QCOMPARE(hot.palette.color(QPalette::Text), cells()->palette().color(QPalette::Text));
        QTest::mouseMove(viewport, QPoint(10, viewport->height() - 3));
        QTRY_COMPARE(viewport->cursor().shape(), Qt::ArrowCursor);
    }

    void refreshFollowsThePage()
    {
        startWithFrameNumbers();
        w<QPlainTextEdit>("CustomMemo")->setPlainText("stale");
        for (const auto& [page, saveEnabled] : {std::pair(Customize, false), std::pair(Readme, false),
                                                std::pair(RawData, true), std::pair(Format, true)}) {
            QCOMPARE(output(), "stale");  // rendered on the Format page only
            showPage(page);
            QCOMPARE(enabled("bttSaveData"), saveEnabled);
        }
        QCOMPARE(output(), kFrames25);

        // A rate picked or typed renders at once on the Format page; an
        // empty one shows no error while it is typed, and the output keeps its text.
        key("cbFrameRate", Qt::Key_Down);
        QCOMPARE(text("cbFrameRate"), "29970");
        QCOMPARE(output(), kFrames2997);
        type("cbFrameRate", "");
        QTest::keyClick(w("cbFrameRate"), Qt::Key_Backspace);
        QVERIFY(dialogs_->errors.isEmpty());
        QCOMPARE(output(), kFrames2997);
        QTest::keyClicks(w("cbFrameRate"), "30000");
        QCOMPARE(output(), "Frames\n\n0\n615\n1530\n2400\n");

        // Without command-line arguments a load on the RAW Data page puts
        // the caret at the end of the report and refreshes nothing.
        showPage(RawData);
        w("bttSaveData")->setEnabled(false);
        openSample();
        QVERIFY(!enabled("bttSaveData"));
        QCOMPARE(QApplication::focusWidget(), w("Memo1"));
        QVERIFY(w<QTextEdit>("Memo1")->textCursor().atEnd());
    }

    void timingFieldsFilterAndRepair()
    {
        start();
        openSample();
        // Only digits and minus signs get in, wherever typed; leaving a field
        // repairs an empty text or one that does not parse.
        type("edMsOff", "1a2.3 +-4");
        QCOMPARE(text("edMsOff"), "123-4");
        QTest::keyClick(w("edMsOff"), Qt::Key_Tab);
        type("edFrameOff", "7b");
        QCOMPARE(text("edFrameOff"), "7");
        QTest::keyClick(w("edFrameOff"), Qt::Key_Backspace);
        type("cbFrameRate", "x+.");
        QCOMPARE(text("cbFrameRate"), "25000");
        QTest::keyClick(w("cbFrameRate"), Qt::Key_Backspace);  // renders nothing, says nothing
        w("edMsOff")->setFocus();
        QTRY_COMPARE(dialogs_->errors, QStringList({"'' is not a valid integer value."}));  // until left
        QCOMPARE(QStringList({text("edMsOff"), text("edFrameOff"), text("cbFrameRate")}),
                 QStringList({"0", "0", "25000"}));

        // A new offset reaches the output with Enter, not by leaving.
        type("edMsOff", "1000");
        w("edFrameOff")->setFocus();
        QCOMPARE(output(), kTimes);
        key("edMsOff", Qt::Key_Return);
        QCOMPARE(output(), kTimesPlus1s);

        // Enter on a text that does not parse: one message, output kept.
        type("edMsOff", "-");
        QTest::keyClick(w("edMsOff"), Qt::Key_Enter);
        QCOMPARE(dialogs_->errors,
                 QStringList({"'' is not a valid integer value.", "'-' is not a valid integer value."}));
        QCOMPARE(output(), kTimesPlus1s);
    }

    void frameRateFieldShowsTheRenderedRate()
    {
        startWithFrameNumbers();
        type("cbFrameRate", "3");
        QCOMPARE(text("cbFrameRate"), "3");  // never completed to 30000
        QCOMPARE(output(), "Frames\n\n0\n1\n1\n1\n");
    }

    void eightBitPresetsComeBackAsTheyWere()
    {
        // Windows-1252 bytes, as a presets file made on Windows holds them.
        const char* presets = "[Presets]\r\nPreset1=Caf\xE9\r\nFormat1=%c Caf\xE9\r\nHeader1=\xE9t\xE9\r\n";
        start({}, presets);
        openSample();
        QCOMPARE(text("cbPresets"), QString("Caf") + QChar(0xE9));
        const std::string saved = dir_->file("window.txt");
        save(saved);
        form_.reset();
        QVERIFY(Contains(presetsFile(), std::string(presets).substr(11)));

        // Batch mode on the same presets file writes the same bytes.
        const std::string exe = dir_->file("pelvano");
        fs::copy_file(test::BinaryPath("pelvano"), exe);
        const std::string batch = dir_->file("batch.txt");
        QCOMPARE(test::RunProcess({exe, test::ExamplePath("VTS_01_0.IFO"), batch, "-p1"}).exitCode, 0);
        QCOMPARE(test::ReadFile(saved), test::ReadFile(batch));
        QCOMPARE(test::ReadFile(saved),
                 std::string("\xE9t\xE9\r\n1 Caf\xE9\r\n2 Caf\xE9\r\n3 Caf\xE9\r\n4 Caf\xE9\r\n"));
    }

    void longPresetNamesAreElidedAndListedWhole()
    {
        const QString name = "x264 qpfile (I-frame per cell, a name far too long for the box)";
        start({}, nullptr);
        auto* presets = w<pelvano::gui::ElidingComboBox>("cbPresets");
        click("bttModifPresetName");
        type("cbPresets", name);
        QTest::keyClick(presets, Qt::Key_Return);
        QVERIFY(presets->shownText().endsWith(QChar(0x2026)));
        QVERIFY(name.startsWith(presets->shownText().chopped(1)));
        presets->showPopup();
        QVERIFY(presets->view()->width() >= presets->view()->fontMetrics().horizontalAdvance(name));
        presets->hidePopup();
    }

    void presetsAreEditedAndReachTheFileAtTheEnd()
    {
        start({}, nullptr);
        auto* presets = w<QComboBox>("cbPresets");
        w<QPlainTextEdit>("CustomMemo")->setPlainText("marker");
        click("bttModifPresetName");
        QVERIFY(presets->isEditable());
        QCOMPARE(QApplication::focusWidget(), presets);
        type("cbPresets", "My list");
        QCOMPARE(text("edFormat"), "Format1");
        QTest::keyClick(presets, Qt::Key_Return);
        QVERIFY(!presets->isEditable());
        QCOMPARE(presets->itemText(0), "My list");
        QCOMPARE(presets->currentIndex(), 0);
        QCOMPARE(output(), "marker");              // neither typing nor finishing renders
        QTest::keyClick(presets, Qt::Key_Return);  // Enter in list mode does nothing
        QVERIFY(!presets->isEditable());

        // "Save preset format" stores the fields and renders; typing alone
        // renders too, and picking another preset drops what was typed.
        type("edFormat", "%c-");
        click("bttSavePresetFormat");
        QCOMPARE(output(), "Header1\n");
        type("edFormat", "lost");
        key("cbPresets", Qt::Key_Down);
        key("cbPresets", Qt::Key_Down);
        QCOMPARE(text("edFormat"), "Format3");
        QCOMPARE(output(), "Header3\n");

        // The button finishes a rename as well, with the name as typed.
        click("bttModifPresetName");
        type("cbPresets", "Third ");
        click("bttModifPresetName");
        QCOMPARE(presets->itemText(2), "Third ");

        // Escape cancels a rename; leaving the field keeps it; picking a preset ends it, renaming nothing.
        click("bttModifPresetName");
        type("cbPresets", "Dropped");
        QTest::keyClick(presets, Qt::Key_Escape);
        click("bttModifPresetName");
        type("cbPresets", "Preset2");
        w("edFormat")->setFocus();
        key("cbPresets", Qt::Key_Down);
        QCOMPARE(items("cbPresets").mid(1, 3).join('|') + output(), "Preset2|Third |Preset4Header4\n");

        // A rename still being typed at the end is not kept; the rest of the
        // file is written from scratch.
        click("bttModifPresetName");
        type("cbPresets", "Unsaved");
        form_.reset();
        const std::string ini = presetsFile();
        QVERIFY(Contains(ini, "[Presets]\r\nPreset1=My list\r\nFormat1=%c-\r\nHeader1=Header1\r\n"));
        QVERIFY(Contains(ini, "Preset3=Third \r\nFormat3=Format3\r\n"));
        QVERIFY(Contains(ini, "Header10=Header10\r\n") && Contains(ini, "[Options]\r\nLastDir="));
        QVERIFY(!Contains(ini, "Unsaved"));
    }

    // The NTSC title set: dvdxchap's nominal times, then mkvmerge's reading
    // of the same title set (15.015 s, 30.030 s; 10.043367 s rounded up).
    void exactNtscTimeReloadsTheTitleAndIsKept()
    {
        start();
        open("bttOpenIFO", test::FixturePath("dvd/ntsc/VTS_01_0.IFO"));
        QVERIFY(!checked("chkExactNTSC"));
        QCOMPARE(output(), "00:00:00.000 1\n00:00:15.000 2\n00:00:30.000 3\n");
        const QString nominalLength = text("lbLstTimeLen");

        click("chkExactNTSC");
        QCOMPARE(output(), "00:00:00.000 1\n00:00:15.015 2\n00:00:30.030 3\n");
        QVERIFY(text("lbLstTimeLen") != nominalLength);
        QVERIFY(text("Memo1").contains("Chapter 2 = 00:00:15:01"));

        // The marks set by hand stay: cell 1 out of the timestamps puts
        // chapter 2 at 165 frames (5505.5 ms) and chapter 3 at 615 (20520.5 ms).
        showPage(Customize);
        command({1}, "Dontuseintimestamp1");
        showPage(Format);
        QCOMPARE(output(), "00:00:00.000 1\n00:00:05.506 2\n00:00:20.521 3\n");
        click("chkExactNTSC");
        QCOMPARE(output(), "00:00:00.000 1\n00:00:05.500 2\n00:00:20.500 3\n");
        QCOMPARE(column(4)[1], "-");
        click("chkExactNTSC");

        // The title chosen stays chosen.
        key("cbTitle", Qt::Key_Down);
        QCOMPARE(output(), "00:00:00.000 1\n00:00:10.044 2\n");
        click("chkExactNTSC");
        QCOMPARE(output(), "00:00:00.000 1\n00:00:10.033 2\n");
        QCOMPARE(w<QComboBox>("cbTitle")->currentIndex(), 1);

        // PAL is never changed.
        openSample();
        click("chkExactNTSC");
        QCOMPARE(output(), kTimes);

        // Kept in the presets file for the next run.
        form_.reset();
        QVERIFY(Contains(presetsFile(), "\r\nExactNTSC=1\r\n"));
        start({}, nullptr);
        QVERIFY(checked("chkExactNTSC"));
    }

    void footerIsPartOfThePreset()
    {
        start();
        openSample();
        QCOMPARE(text("edFooter"), "");
        type("edFooter", "End of %c\\n");
        QTRY_COMPARE(output(), kTimes + "End of %c\n\n");  // as typed
        click("bttSavePresetFormat");

        key("cbPresets", Qt::Key_Down);
        QCOMPARE(text("edFooter"), "");
        QCOMPARE(output(), kFrames25);
        key("cbPresets", Qt::Key_Up);
        QCOMPARE(text("edFooter"), "End of %c\\n");
        type("edHeader", "Chapters");  // and saved at once
        save(dir_->file("typed.txt"));
        QVERIFY(test::ReadFile(dir_->file("typed.txt")).starts_with("Chapters\r\n00:00:00.000 1\r\n"));

        form_.reset();
        const std::string ini = presetsFile();
        QVERIFY(Contains(ini, "\r\nFooter1=End of %c\\n\r\n"));
        QVERIFY(!Contains(ini, "Footer2"));
    }

    void savingWritesThePageAsShown()
    {
        start();
        openSample();
        const QString examples = QDir::currentPath();
        const fs::path saves = dir_->path() / "saves";
        fs::create_directory(saves);
        w<QPlainTextEdit>("CustomMemo")->moveCursor(QTextCursor::End);
        QTest::keyClicks(w("CustomMemo"), QString("hand") + QChar(0x00A0) + "edit");

        // The file type names the file only; the dialog remembers the last
        // file and type, and the working directory follows.
        for (const auto& [name, filter] :
             {std::pair("movie.txt", 0), std::pair("movie.chp", 1), std::pair("movie.ini", 2)}) {
            save((saves / name).string(), filter);
            QCOMPARE(test::ReadFile((saves / name).string()),
                     "00:00:00.000 1\r\n00:00:20.480 2\r\n00:00:51.000 3\r\n00:01:20.000 4\r\nhand\xC2\xA0"
                     "edit\r\n");
        }
        const auto& requests = dialogs_->saveRequests;
        QCOMPARE(requests[0].filters,
                 QStringList({"Text file (*.txt)", "DVDMaestro (*.chp)", "INI File (*.ini)"}));
        QVERIFY(requests[0].proposedPath.isEmpty() && requests[0].filterIndex == 0);
        QCOMPARE(dialogs_->saveDirs[0], examples);
        QCOMPARE(requests[2].proposedPath, Q((saves / "movie.chp").string()));
        QCOMPARE(requests[2].filterIndex, 1);
        QCOMPARE(QDir::currentPath(), Q(saves.string()));
        click("bttSaveData");  // cancelled twice: nothing forgotten
        click("bttSaveData");
        QCOMPARE(requests.back().proposedPath, Q((saves / "movie.ini").string()));
        QCOMPARE(requests.back().filterIndex, 2);

        // The report goes out as plain text with CR LF, and nothing of what
        // the file held before is left.
        showPage(RawData);
        save((saves / "movie.txt").string());
        const QString report = Q(test::ReadFile((saves / "movie.txt").string()));
        QVERIFY(report.contains("\r\nTotal film length : 00:01:35:00\r\n") && report.endsWith("\r\n"));
        QVERIFY(!QString(report).remove("\r\n").contains('\n'));
        QVERIFY(!report.contains('<') && !report.contains("edit"));
        QVERIFY(dialogs_->errors.isEmpty());
    }

    void errorsAreShownOnceAndTheWindowCarriesOn()
    {
        start();
        openSample();
        const std::string missing = dir_->file("no/such/folder/out.txt");
        save(missing);
        save("/dev/full");  // a full disk part way: each text has its own message
        showPage(RawData);
        save("/dev/full");
        QCOMPARE(dialogs_->errors, QStringList({"Cannot create file " + Q(missing) + ".",
                                                "Stream write error.", "Failed to Save Stream."}));
        QCOMPARE(dialogs_->errorCaptions, QStringList({"Pelvano", "Pelvano", "Pelvano"}));
        showPage(Format);
        QCOMPARE(output(), kTimes);
    }

    void errorMessageFullStop_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        QTest::newRow("letter") << "Stream write error"
                                << "Stream write error.";
        QTest::newRow("full stop") << "Done."
                                   << "Done.";
        QTest::newRow("slash sorts after it") << "in /tmp/a/"
                                              << "in /tmp/a/.";
        QTest::newRow("bracket") << "(see above)"
                                 << "(see above)";
        QTest::newRow("quote") << "'-'"
                               << "'-'";
        QTest::newRow("minus") << "value -"
                               << "value -";
        QTest::newRow("empty") << ""
                               << "";
    }

    void errorMessageFullStop()
    {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(pelvano::gui::ErrorMessageText(message), shown);
    }

    void startWithAFileArgument()
    {
        fs::copy_file(test::ExamplePath("VTS_01_0.IFO"), dir_->path() / "VTS_01_0.IFO");
        test::WriteFile(dir_->file("Readme.txt"), "Pelvano\r\n=======\r\n");
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"VTS_01_0.IFO"}, {"VTS_01_0.IFO", "out.txt"}, {"VTS_01_0.IFO", "a", "b", "c"}}) {
            QDir::setCurrent("/");
            start(args);
            QCOMPARE(form_->windowTitle(), "Pelvano - VTS_01_0.IFO");
            QCOMPARE(QDir::currentPath(), Q(dir_->path().string()));
            QCOMPARE(output(), kTimes);
            QVERIFY(!fs::exists(dir_->path() / "out.txt"));

            // With arguments every load refreshes, on the RAW Data page too.
            showPage(RawData);
            w("bttSaveData")->setEnabled(false);
            key("cbTitle", Qt::Key_Up);
            QCOMPARE(checks(), "x-x-");
            QVERIFY(enabled("bttSaveData"));
        }
        QCOMPARE(text("ReadmeMemo"), "Pelvano\n=======\n");

        // Saving elsewhere moves the working directory; the relative path
        // still names the file beside the executable.
        fs::create_directory(dir_->path() / "saves");
        save((dir_->path() / "saves" / "out.txt").string());
        QCOMPARE(QDir::currentPath(), Q((dir_->path() / "saves").string()));
        key("cbTitle", Qt::Key_Down);
        QCOMPARE(checks(), "x-x--xx");

        const std::string ifo = dir_->file("VTS_01_0.IFO");
        save(ifo);  // the file being read: refused, left as it was
        QCOMPARE(dialogs_->errors,
                 QStringList(Q(ifo + " is the source being read (" + ifo + "): not written over.")));
        QCOMPARE(test::ReadFile(ifo), test::ReadFile(test::ExamplePath("VTS_01_0.IFO")));
    }

    void lastDirAndAnUnwritablePresetsFile()
    {
        const auto withLastDir = [this](const char* folder) {
            return std::string(kTestPresets) + "[Options]\r\nLastDir=" + (dir_->path() / folder).string() +
                   "\r\n";
        };
        fs::create_directory(dir_->path() / "last");
        start({}, withLastDir("last").c_str());
        QCOMPARE(QDir::currentPath(), Q((dir_->path() / "last").string()));
        QDir::setCurrent(Q(dir_->path().string()));
        start({}, withLastDir("gone").c_str());  // a folder that is gone changes nothing
        QCOMPARE(QDir::currentPath(), Q(dir_->path().string()));

        // The folder of the last file opened is stored at the end.
        openSample();
        QCOMPARE(dialogs_->openDirs.last(), Q(dir_->path().string()));
        form_.reset();
        const std::string examples = fs::path(test::ExamplePath("")).parent_path().string();
        QVERIFY(Contains(presetsFile(), "\r\nLastDir=" + examples + "\r\n"));

        // A presets file that cannot be written is reported at the end only.
        fs::remove(dir_->file("pelvano.INI"));
        fs::create_directory(dir_->path() / "pelvano.INI");
        start({}, nullptr);
        QVERIFY(dialogs_->errors.isEmpty());
        form_.reset();
        QCOMPARE(dialogs_->errors, QStringList({"Unable to write to " + Q(dir_->file("pelvano.INI")) + "."}));
    }

    void openAviTakesTheRateAndSnapsTheFrames()
    {
        startWithFrameNumbers();
        open("bttOpenAVI", std::nullopt);  // cancelled: nothing changes
        const QStringList kinds = dialogs_->openFilters.last().split(";;");
        QCOMPARE(kinds.first() + kinds.last(),
                 "All videos (*.avi *.mkv *.webm *.mp4 *.m4v *.mov)All files (*)");
        QCOMPARE(text("bttOpenAVI"), "Open video");
        QVERIFY(text("edAVIFileName").isEmpty() && !enabled("cbSynchKF") && text("cbFrameRate") == "25000");

        // 30000/1001 rounds up to 29971, and the output follows at once.
        const std::string kf2997 = test::FixturePath("avi/kf2997.avi");
        open("bttOpenAVI", kf2997);
        QCOMPARE(text("edAVIFileName"), Q(kf2997));
        QCOMPARE(text("cbFrameRate"), "29971");
        QVERIFY(enabled("cbSynchKF") && !checked("cbSynchKF"));
        QCOMPARE(output(), kFrames2997);
        QCOMPARE(QDir::currentPath(), Q(fs::path(kf2997).parent_path().string()));
        QVERIFY(!IsOpenHere(kf2997));

        // kf25.avi: 25/1, key frames 0, 250, 275, 290. With the offset the
        // chapters fall on 0, 125, 888 and 1613; 125 is as far from 0 as
        // from 250 and goes to the later one, frames after the last key
        // frame go back to it.
        const std::string kf25 = test::FixturePath("avi/kf25.avi");
        open("bttOpenAVI", kf25);
        QCOMPARE(text("cbFrameRate"), "25000");
        type("edFrameOff", "-387");
        key("edFrameOff", Qt::Key_Return);
        QCOMPARE(output(), "Frames\n\n0\n125\n888\n1613\n");
        click("cbSynchKF");
        QCOMPARE(output(), "Frames\n\n0\n250\n290\n290\n");
        QVERIFY(!IsOpenHere(kf25));
        click("cbSynchKF");  // unchecked: rendered at once, unsnapped
        QCOMPARE(output(), "Frames\n\n0\n125\n888\n1613\n");

        // A title load sets the rate from the title and leaves the AVI file
        // and the box as they are.
        click("cbSynchKF");
        w<QComboBox>("cbFrameRate")->setEditText("30000");
        openSample();
        QCOMPARE(text("cbFrameRate"), "25000");
        QCOMPARE(text("edAVIFileName"), Q(kf25));
        QVERIFY(enabled("cbSynchKF") && checked("cbSynchKF"));
        QCOMPARE(output(), "Frames\n\n0\n250\n290\n290\n");
        QVERIFY(dialogs_->messages.isEmpty() && dialogs_->errors.isEmpty());

        // A Matroska file at 30000/1001, 12 s long: its rate, and every
        // chapter after its last key frame (its recipe puts one every 50
        // frames after the forced one at 173: 323) snaps back to it.
        type("edFrameOff", "0");
        key("edFrameOff", Qt::Key_Return);
        open("bttOpenAVI", test::TestVideo("cues.mkv"));
        QCOMPARE(text("cbFrameRate"), "29970");  // to the nearest thousandth, unlike an AVI file's
        QCOMPARE(output(), "Frames\n\n0\n323\n323\n323\n");
        // A file whose frames are not evenly spaced is refused like a bad AVI.
        open("bttOpenAVI", test::TestVideo("ratechange.mkv"));  // 25 fps, after 12 s 50 fps
        QCOMPARE(dialogs_->messages,
                 QStringList({"# Video file : the frame rate is not constant, frames can't be numbered !"}));
        QVERIFY(!enabled("cbSynchKF"));
        QCOMPARE(output(), kFrames2997);
    }

    void aviFilesThatCannotBeUsed()
    {
        startWithFrameNumbers();
        const std::string notes = dir_->file("notes.avi"), moved = dir_->file("moved.avi");
        test::WriteFile(notes, "not a video\r\n");
        fs::copy_file(test::FixturePath("avi/kf25.avi"), moved);
        open("bttOpenAVI", test::FixturePath("avi/kf2997.avi"));  // key frames 0, 60, 150, 240
        click("cbSynchKF");
        QCOMPARE(output(), "Frames\n\n0\n240\n240\n240\n");

        // A file that is no AVI: the message in a plain box, snapping off
        // with its check mark kept, the rate and the unsnapped output back.
        open("bttOpenAVI", notes);
        QCOMPARE(dialogs_->messages, QStringList({kAviOpenMessage}));
        QCOMPARE(dialogs_->messageCaptions, QStringList({"Pelvano"}));
        QVERIFY(!enabled("cbSynchKF") && checked("cbSynchKF"));
        QCOMPARE(text("edAVIFileName"), Q(notes));
        QCOMPARE(text("cbFrameRate"), "29971");
        QCOMPARE(output(), kFrames2997);
        click("bttSavePresetFormat");  // renders: no snapping, no message
        QCOMPARE(dialogs_->messages.size(), 1);

        // Audio only: accepted, rate kept; the rendering that snaps finds no
        // video stream and leaves the output as it was.
        w<QPlainTextEdit>("CustomMemo")->setPlainText("kept");
        open("bttOpenAVI", test::FixturePath("avi/audio_only.avi"));
        QVERIFY(enabled("cbSynchKF"));
        QCOMPARE(text("cbFrameRate"), "29971");
        QCOMPARE(dialogs_->messages, QStringList({kAviOpenMessage, kAviStreamMessage}));
        QCOMPARE(output(), "kept");

        // A file moved away after it was chosen: every rendering says so.
        open("bttOpenAVI", moved);
        QCOMPARE(output(), "Frames\n\n0\n290\n290\n290\n");
        fs::remove(moved);
        click("bttSavePresetFormat");
        click("bttSavePresetFormat");
        QCOMPARE(dialogs_->messages.mid(2), QStringList({kAviOpenMessage, kAviOpenMessage}));
        QCOMPARE(output(), "Frames\n\n0\n290\n290\n290\n");

        // A conversion error with snapping on is shown alone, the output
        // kept and the file closed again.
        fs::copy_file(test::FixturePath("avi/kf25.avi"), moved);
        type("edMsOff", "-");
        key("edMsOff", Qt::Key_Return);
        QCOMPARE(dialogs_->errors, QStringList({"'-' is not a valid integer value."}));
        QCOMPARE(dialogs_->messages.size(), 4);
        QCOMPARE(output(), "Frames\n\n0\n290\n290\n290\n");
        QVERIFY(!IsOpenHere(moved));
    }

    // "Chapter names...": names loaded, typed, saved; kept for the same title.
    void chapterNames()
    {
        start({},
              "[Presets]\r\nPreset1=N\r\nFormat1=%C %n\r\nHeader1=\r\n[Options]\r\nNameTemplate=Teil %c\r\n");
        QVERIFY(!enabled("bttChapterNames"));
        openSample();
        QCOMPARE(output(), "01 Teil 1\n02 Teil 2\n03 Teil 3\n04 Teil 4\n");
        const QString ete = QString::fromUtf8("\xC3\x89t\xC3\xA9 & <Nuit>");
        const QString names = Q(dir_->file("names.txt")), saved = Q(dir_->file("saved.txt"));
        test::WriteFile(names.toStdString(), "Ankunft\n\n" + ete.toStdString() + "\nFinale\nZu viel\n");
        // Runs `steps` in the dialog; its lines as "name|grey hint".
        const auto inDialog = [&](const std::function<void(QDialog&)>& steps) {
            QTimer::singleShot(0, this, [&] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                steps(*dialog);
                dialog->close();
            });
            click("bttChapterNames");
        };
        const auto lines = [](const QDialog& dialog) {
            QStringList texts;
            for (const QLineEdit* line : dialog.findChildren<QLineEdit*>(QRegularExpression("^edName\\d$")))
                texts << line->text() + '|' + line->placeholderText();
            return texts;
        };
        inDialog([&](QDialog& dialog) {
            QCOMPARE(lines(dialog), QStringList({"|Teil 1", "|Teil 2", "|Teil 3", "|Teil 4"}));
            dialogs_->openAnswers.push_back(names);
            dialog.findChild<QPushButton*>("bttLoadNames")->click();
            QCOMPARE(
                dialogs_->messages,
                QStringList{names + ": 5 names, 4 chapters; the names past the last chapter are ignored"});
            dialog.findChild<QLineEdit*>("edName2")->setText("Zweiter");
            dialog.findChild<QLineEdit*>("edName4")->clear();
            dialog.findChild<QLineEdit*>("edNameTemplate")->setText("Akt %C");
            QCOMPARE(lines(dialog),
                     QStringList({"Ankunft|Akt 01", "Zweiter|Akt 02", ete + "|Akt 03", "|Akt 04"}));
            dialogs_->saveAnswers.push_back(SaveChoice{saved, 0});
            dialog.findChild<QPushButton*>("bttSaveNames")->click();
            dialog.accept();
        });
        QCOMPARE(Q(test::ReadFile(saved.toStdString())), "Ankunft\nZweiter\n" + ete + "\n");
        const QString named = "01 Ankunft\n02 Zweiter\n03 " + ete + "\n04 Akt 04\n";
        QCOMPARE(output(), named);
        inDialog([&](QDialog& dialog) { dialog.findChild<QLineEdit*>("edName1")->setText("Cancelled"); });
        click("chkExactNTSC");  // the same program chain read again
        QCOMPARE(output(), named);
        key("cbTitle", Qt::Key_Up);  // another program chain, and back: the template's names
        key("cbTitle", Qt::Key_Down);
        QCOMPARE(output(), "01 Akt 01\n02 Akt 02\n03 Akt 03\n04 Akt 04\n");
        form_.reset();  // the template is kept
        QVERIFY(Contains(presetsFile(), "NameTemplate=Akt %C\r\n"));
    }

    // The shortcuts click their buttons wherever the focus is, and leave it there.
    void quitEndsTheEventLoop()
    {
        start();
        for (const auto& [keys, button] :
             {std::pair("Ctrl+O", "bttOpenIFO"), std::pair("Ctrl+S", "bttSaveData"),
              std::pair("F1", "bttHelpAbout")}) {
            QSignalSpy clicked(w<QAbstractButton>(button), &QAbstractButton::clicked);
            QTest::keySequence(w("CustomMemo"), QKeySequence(keys));
            QTRY_COMPARE(clicked.size(), 1);
        }
        QCOMPARE(QApplication::focusWidget(), w("CustomMemo"));
        QTimer::singleShot(0, this, [this] { QTest::keySequence(w("CustomMemo"), QKeySequence("Ctrl+Q")); });
        QTimer::singleShot(5000, this, [] { QCoreApplication::exit(2); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(MainFormTest)
#include "main_form_test.moc"
