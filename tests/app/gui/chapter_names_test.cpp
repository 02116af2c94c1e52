// "Chapter names..." driven through the real window and its dialog.
#include <QtTest>
#include <QtWidgets>

#include <functional>
#include <memory>

#include "app/application.h"
#include "fake_dialogs.h"
#include "main_form.h"
#include "test_util.h"

using pelvano::gui::SaveChoice;
using pelvano::gui::TMainForm;
namespace test = pelvano::test;

namespace {

// The chapter number and name; a template from the presets file.
const char* const kPresets =
    "[Presets]\r\nPreset1=Names\r\nFormat1=%C %n\r\nHeader1=\r\n[Options]\r\nNameTemplate=Teil %c\r\n";

const QString kEte = QString::fromUtf8("\xC3\x89t\xC3\xA9 & <Nuit>");

}  // namespace

class ChapterNamesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TempDir> dir_;
    test::FakeDialogs dialogs_;
    std::unique_ptr<pelvano::Application> app_;
    std::unique_ptr<TMainForm> form_;

    template <typename T = QWidget>
    static T* in(QWidget* parent, const QString& name)
    {
        T* widget = parent->findChild<T*>(name);
        if (!widget)
            qFatal("no %s", qPrintable(name));
        return widget;
    }
    template <typename T = QWidget>
    T* w(const char* name)
    {
        return in<T>(form_.get(), QString::fromLatin1(name));
    }
    QString output() { return w<QPlainTextEdit>("CustomMemo")->toPlainText(); }
    void waitForTheSource() { QTRY_VERIFY(w("bttOpenIFO")->isEnabled()); }

    // Opens the dialog and runs `steps` on it while it is up; they end it.
    void inDialog(const std::function<void(QDialog&)>& steps)
    {
        bool ran = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            ran = true;
            steps(*dialog);
            if (dialog->isVisible())
                dialog->reject();
        });
        QTest::mouseClick(w("bttChapterNames"), Qt::LeftButton);
        QVERIFY(ran);
    }
    static QLineEdit* field(QDialog& dialog, int chapter)
    {
        return in<QLineEdit>(&dialog, QStringLiteral("edName%1").arg(chapter));
    }
    static QStringList fields(QDialog& dialog, bool hints = false)
    {
        QStringList texts;
        for (const QLineEdit* f : dialog.findChildren<QLineEdit*>(QRegularExpression("^edName\\d+$")))
            texts << (hints ? f->placeholderText() : f->text());
        return texts;
    }
    static void ok(QDialog& dialog)
    {
        QTest::mouseClick(in<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    }

private slots:
    void init()
    {
        dir_ = std::make_unique<test::TempDir>();
        dialogs_ = {};
        test::WriteFile(dir_->file("pelvano.INI"), kPresets);
        app_ = std::make_unique<pelvano::Application>(pelvano::Application::PathsFor(dir_->file("pelvano")));
        form_ = std::make_unique<TMainForm>(dialogs_, *app_, std::vector<std::string>{});
        form_->show();
        QVERIFY(QTest::qWaitForWindowExposed(form_.get()));
        QVERIFY(!w("bttChapterNames")->isEnabled());  // no title, no chapters
        dialogs_.openAnswers.push_back(QString::fromStdString(test::ExamplePath("VTS_01_0.IFO")));
        QTest::mouseClick(w("bttOpenIFO"), Qt::LeftButton);
        waitForTheSource();
    }

    void cleanup() { form_.reset(); }

    void namesByHandAndFromFilesKeptForTheSameTitle()
    {
        // Four chapters named by the presets file's template.
        QCOMPARE(output(), "01 Teil 1\n02 Teil 2\n03 Teil 3\n04 Teil 4\n");
        // Non-ASCII, an empty line, one name too many.
        const std::string names = dir_->file("names.txt");
        test::WriteFile(names, "Ankunft\n\n" + kEte.toStdString() + "\nFinale\nZu viel\n");
        const std::string latin1 = dir_->file("latin1.txt");
        test::WriteFile(latin1, "Caf\xE9\n");
        const QString saved = QString::fromStdString(dir_->file("saved.txt"));

        inDialog([&](QDialog& dialog) {
            QCOMPARE(fields(dialog), QStringList({"", "", "", ""}));
            QCOMPARE(fields(dialog, true), QStringList({"Teil 1", "Teil 2", "Teil 3", "Teil 4"}));
            QCOMPARE(in<QLineEdit>(&dialog, "edNameTemplate")->text(), "Teil %c");

            dialogs_.openAnswers.push_back(QString::fromStdString(latin1));
            QTest::mouseClick(in(&dialog, "bttLoadNames"), Qt::LeftButton);
            QCOMPARE(dialogs_.errors,
                     QStringList({QString::fromStdString(latin1) + ": line 1 is not UTF-8 text."}));
            dialogs_.openAnswers.push_back(QString::fromStdString(names));
            QTest::mouseClick(in(&dialog, "bttLoadNames"), Qt::LeftButton);
            QCOMPARE(fields(dialog), QStringList({"Ankunft", "", kEte, "Finale"}));
            QCOMPARE(dialogs_.messages,
                     QStringList({QString::fromStdString(names) +
                                  ": 5 names, 4 chapters; the names past the last chapter are ignored"}));

            // Typed over, one cleared; the template's names follow what is typed.
            field(dialog, 2)->setText(QStringLiteral("Zweiter"));
            field(dialog, 4)->clear();
            in<QLineEdit>(&dialog, "edNameTemplate")->setText(QStringLiteral("Akt %C"));
            QCOMPARE(field(dialog, 4)->placeholderText(), "Akt 04");

            dialogs_.saveAnswers.push_back(SaveChoice{saved, 0});
            QTest::mouseClick(in(&dialog, "bttSaveNames"), Qt::LeftButton);
            QCOMPARE(dialogs_.saveRequests.back().filters, QStringList({"Chapter names (*.txt)"}));
            ok(dialog);
        });
        QCOMPARE(QString::fromStdString(test::ReadFile(saved.toStdString())),
                 "Ankunft\nZweiter\n" + kEte + "\n");
        const QString named = "01 Ankunft\n02 Zweiter\n03 " + kEte + "\n04 Akt 04\n";
        QCOMPARE(output(), named);

        // Cancelled: the names shown again, nothing changed.
        inDialog([&](QDialog& dialog) {
            QCOMPARE(fields(dialog), QStringList({"Ankunft", "Zweiter", kEte, ""}));
            field(dialog, 1)->setText(QStringLiteral("Weg"));
        });
        QCOMPARE(output(), named);

        // The same title set and program chain read again: names kept.
        QTest::mouseClick(w("chkExactNTSC"), Qt::LeftButton);
        QCOMPARE(output(), named);
        // Another program chain: its chapters take the template's names.
        w("cbTitle")->setFocus();
        QTest::keyClick(w("cbTitle"), Qt::Key_Up);
        QCOMPARE(output(), "01 Akt 01\n02 Akt 02\n");
        QTest::keyClick(w("cbTitle"), Qt::Key_Down);
        QCOMPARE(output(), "01 Akt 01\n02 Akt 02\n03 Akt 03\n04 Akt 04\n");

        // The template changed in the dialog is kept in the presets file.
        form_.reset();
        QVERIFY(test::ReadFile(dir_->file("pelvano.INI")).find("NameTemplate=Akt %C\r\n") !=
                std::string::npos);
    }

    // In words where the bottom row has room, as its picture in the smallest window.
    void buttonInWordsWhereThereIsRoom()
    {
        auto* button = w<QToolButton>("bttChapterNames");
        QCOMPARE(button->text(), "Chapter names...");
        form_->resize(1000, 451);
        QTRY_COMPARE(button->toolButtonStyle(), Qt::ToolButtonTextOnly);
        form_->resize(500, 100);
        QTRY_COMPARE(button->toolButtonStyle(), Qt::ToolButtonIconOnly);
        QVERIFY(!button->icon().isNull());
    }
};

QTEST_MAIN(ChapterNamesTest)
#include "chapter_names_test.moc"
