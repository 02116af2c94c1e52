// The real file dialogs and message boxes, configured as the window uses
// them but driven by the test instead of a person.
#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <functional>

#include "form_dialogs.h"
#include "test_util.h"

using pelvano::gui::QtFormDialogs;
using pelvano::gui::SaveRequest;
namespace test = pelvano::test;

namespace {

const QStringList kFilters = {"Text file (*.txt)", "DVDMaestro (*.chp)", "INI File (*.ini)"};

QString Q(const std::filesystem::path& p)
{
    return QString::fromStdString(p.string());
}

// Hands the next message box to `answer` once it shows.
void OnNextMessageBox(const std::function<void(QMessageBox&)>& answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            answer(*box);
        }
    });
    poll->start(10);
}

// What the user does to confirm: a name typed, then Enter in the name box.
void Confirm(QFileDialog& dialog, const QString& typed = {})
{
    QTest::keyClicks(dialog.findChild<QLineEdit*>("fileNameEdit"), typed);
    QTest::keyClick(dialog.findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
}

}  // namespace

class FormDialogsTest : public QObject {
    Q_OBJECT

    const QString savedCwd_ = QDir::currentPath();
    test::TempDir dir_;

private slots:
    void initTestCase() { QDir::setCurrent(Q(dir_.path())); }
    void cleanupTestCase() { QDir::setCurrent(savedCwd_); }

    void openDialogWantsAnExistingFileFromTheWorkingDirectory()
    {
        const auto dialog = QtFormDialogs::MakeOpenDialog(nullptr, "DVD IFO File (*.IFO)");
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog->nameFilters(), QStringList({"DVD IFO File (*.IFO)"}));
        QCOMPARE(dialog->directory().absolutePath(), Q(dir_.path()));
    }

    // A name typed without an extension gets the selected type's, also
    // when the type is changed in the dialog.
    void typedNameGetsTheExtensionOfTheSelectedType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("picked");
        QTest::addColumn<QString>("saved");
        QTest::newRow("txt") << 0 << 0 << "movie.txt";
        QTest::newRow("chp") << 1 << 1 << "movie.chp";
        QTest::newRow("ini") << 2 << 2 << "movie.ini";
        QTest::newRow("txt, then chp picked") << 0 << 1 << "movie.chp";
    }

    void typedNameGetsTheExtensionOfTheSelectedType()
    {
        QFETCH(int, type);
        QFETCH(int, picked);
        QFETCH(QString, saved);
        const auto dialog = QtFormDialogs::MakeSaveDialog(nullptr, SaveRequest{kFilters, {}, type});
        QCOMPARE(dialog->directory().absolutePath(), Q(dir_.path()));
        dialog->open();
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        QCOMPARE(types->currentText(), kFilters[type]);
        for (types->setFocus(); types->currentIndex() < picked;)
            QTest::keyClick(types, Qt::Key_Down);
        Confirm(*dialog, "movie");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList({Q(dir_.path() / saved.toStdString())}));
    }

    void replacingAFileIsAskedFirst()
    {
        std::filesystem::create_directory(dir_.path() / "out");
        test::WriteFile((dir_.path() / "out" / "movie.chp").string(), "old");
        const auto dialog = QtFormDialogs::MakeSaveDialog(
            nullptr, SaveRequest{kFilters, Q(dir_.path() / "out" / "movie.chp"), 1});
        QCOMPARE(dialog->directory().absolutePath(), Q(dir_.path() / "out"));
        QCOMPARE(dialog->selectedNameFilter(), kFilters[1]);
        dialog->open();
        QCOMPARE(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), "movie.chp");

        QString question;
        OnNextMessageBox([&](QMessageBox& box) {
            question = box.text();
            box.button(QMessageBox::No)->click();
        });
        Confirm(*dialog);
        QVERIFY(question.contains("movie.chp"));
        QVERIFY(dialog->isVisible() && dialog->result() != QDialog::Accepted);  // back to the dialog
        OnNextMessageBox([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
        Confirm(*dialog);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList({Q(dir_.path() / "out" / "movie.chp")}));
    }

    void aviMessagesArePlainBoxesWithOk()
    {
        QStringList seen;
        bool plain = false;
        OnNextMessageBox([&](QMessageBox& box) {
            seen << box.windowTitle() << box.text();
            plain = box.icon() == QMessageBox::NoIcon && box.standardButtons() == QMessageBox::Ok;
            box.button(QMessageBox::Ok)->click();
        });
        QtFormDialogs().showMessage(nullptr, "Pelvano", "# AVIFileOpen : AVI source init error !");
        QCOMPARE(seen, QStringList({"Pelvano", "# AVIFileOpen : AVI source init error !"}));
        QVERIFY(plain);
    }
};

QTEST_MAIN(FormDialogsTest)
#include "form_dialogs_test.moc"
