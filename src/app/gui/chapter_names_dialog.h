#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QLineEdit;

namespace Ui {
class ChapterNamesDialog;
}

namespace pelvano::gui {

class FormDialogs;

// "Chapter names...": one line per chapter of the chapter list, with the
// name template above them; a line left empty shows in grey the name the
// template gives that chapter. "Load..." and "Save..." read and write the
// names file of the command line's --names.
class ChapterNamesDialog : public QDialog {
    Q_OBJECT

public:
    // The name a template gives each chapter, in chapter order.
    using TemplateNames = std::function<QStringList(const QString& nameTemplate)>;

    // `starts`: one start time per chapter; `names`: the chapters' own
    // names ("" or missing: none).
    ChapterNamesDialog(FormDialogs& dialogs, const QStringList& starts, const QStringList& names,
                       const QString& nameTemplate, TemplateNames templateNames, QWidget* parent = nullptr);
    ~ChapterNamesDialog() override;

    QStringList names() const;  // one per chapter, "" where the template names it
    QString nameTemplate() const;

private:
    void ShowTemplateNames();
    void LoadClick();
    void SaveClick();
    void ShowError(const QString& message);

    std::unique_ptr<Ui::ChapterNamesDialog> ui;
    FormDialogs& dialogs_;
    TemplateNames templateNames_;
    std::vector<QLineEdit*> fields_;
    QString lastPath_;  // the names file loaded or saved last
};

}  // namespace pelvano::gui
