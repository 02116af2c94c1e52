// The real file dialogs, configured but driven by the test instead of a person.
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>

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

// Answers the next message box with `button` once it shows; returns its text.
QString* AnswerNextMessageBox(QMessageBox::StandardButton button)
{
    auto* text = new QString;
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, text, button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            timer->stop();
            timer->deleteLater();
            box->button(button)->click();
        }
    });
    timer->start(20);
    return text;
}

// What the user does to confirm: Enter in the file name box.
void Confirm(QFileDialog& dialog)
{
    QTest::keyClick(dialog.findChild<QLineEdit*>("fileNameEdit"), Qt::Key_Return);
}

}  // namespace

class FormDialogsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::TempDir> dir_;
    QString savedCwd_;

private slots:
    void init()
    {
        savedCwd_ = QDir::currentPath();
        dir_ = std::make_unique<test::TempDir>();
        QDir::setCurrent(Q(dir_->path()));
    }

    void cleanup()
    {
        QDir::setCurrent(savedCwd_);
        dir_.reset();
    }

    void defaultSuffixOfAFilter()
    {
        QCOMPARE(QtFormDialogs::DefaultSuffix("Text file (*.txt)"), QStringLiteral("txt"));
        QCOMPARE(QtFormDialogs::DefaultSuffix("DVDMaestro (*.chp)"), QStringLiteral("chp"));
        QCOMPARE(QtFormDialogs::DefaultSuffix("INI File (*.ini)"), QStringLiteral("ini"));
        QCOMPARE(QtFormDialogs::DefaultSuffix("All files (*)"), QString());
    }

    void openDialogWantsAnExistingFileFromTheWorkingDirectory()
    {
        const auto dialog = QtFormDialogs::MakeOpenDialog(nullptr, "DVD IFO File (*.IFO)");
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->nameFilters(), QStringList({"DVD IFO File (*.IFO)"}));
        QCOMPARE(dialog->directory().absolutePath(), Q(dir_->path()));
    }

    void typedNameGetsTheExtensionOfTheSelectedType()
    {
        const char* const expected[] = {"movie.txt", "movie.chp", "movie.ini"};
        for (int type = 0; type < 3; ++type) {
            const auto dialog = QtFormDialogs::MakeSaveDialog(nullptr, SaveRequest{kFilters, {}, type});
            QCOMPARE(dialog->selectedNameFilter(), kFilters[type]);
            QCOMPARE(dialog->directory().absolutePath(), Q(dir_->path()));
            dialog->open();
            auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
            QVERIFY(name);
            QVERIFY(name->text().isEmpty());
            QTest::keyClicks(name, "movie");
            Confirm(*dialog);
            QCOMPARE(dialog->result(), int(QDialog::Accepted));
            QCOMPARE(dialog->selectedFiles(), QStringList({Q(dir_->path() / expected[type])}));
        }

        // Picking another type in the dialog changes the extension added.
        const auto dialog = QtFormDialogs::MakeSaveDialog(nullptr, SaveRequest{kFilters, {}, 0});
        dialog->open();
        auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
        QVERIFY(types);
        types->setFocus();
        QTest::keyClick(types, Qt::Key_Down);
        QTest::keyClicks(dialog->findChild<QLineEdit*>("fileNameEdit"), "notes");
        Confirm(*dialog);
        QCOMPARE(dialog->selectedFiles(), QStringList({Q(dir_->path() / "notes.chp")}));
    }

    void replacingAFileIsAskedFirst()
    {
        std::filesystem::create_directory(dir_->path() / "out");
        test::WriteFile((dir_->path() / "out" / "movie.chp").string(), "old");
        const SaveRequest request{kFilters, Q(dir_->path() / "out" / "movie.chp"), 1};
        const auto dialog = QtFormDialogs::MakeSaveDialog(nullptr, request);
        QCOMPARE(dialog->directory().absolutePath(), Q(dir_->path() / "out"));
        QCOMPARE(dialog->selectedNameFilter(), kFilters[1]);
        dialog->open();
        QCOMPARE(dialog->findChild<QLineEdit*>("fileNameEdit")->text(), QStringLiteral("movie.chp"));

        QScopedPointer<QString> question(AnswerNextMessageBox(QMessageBox::No));
        Confirm(*dialog);
        QVERIFY(question->contains("movie.chp"));
        QVERIFY(dialog->isVisible());  // declining goes back to the dialog
        QVERIFY(dialog->result() != QDialog::Accepted);

        question.reset(AnswerNextMessageBox(QMessageBox::Yes));
        Confirm(*dialog);
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(dialog->selectedFiles(), QStringList({Q(dir_->path() / "out" / "movie.chp")}));
    }

    void aviMessagesArePlainBoxesWithOk()
    {
        QMessageBox::Icon icon = QMessageBox::Critical;
        QMessageBox::StandardButtons buttons;
        QString caption;
        QString text;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            poll.stop();
            icon = box->icon();
            buttons = box->standardButtons();
            caption = box->windowTitle();
            text = box->text();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        QtFormDialogs().showMessage(nullptr, "Pelvano", "# AVIFileOpen : AVI source init error !");
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(caption, QStringLiteral("Pelvano"));
        QCOMPARE(text, QStringLiteral("# AVIFileOpen : AVI source init error !"));
    }
};

QTEST_MAIN(FormDialogsTest)
#include "form_dialogs_test.moc"
