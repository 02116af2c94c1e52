#include "chapter_names_dialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>
#include <optional>
#include <string>

#include "app/application.h"
#include "base/error.h"
#include "chapters/chapter_names.h"
#include "form_dialogs.h"
#include "io/text_file.h"
#include "main_form.h"
#include "ui_chapter_names_dialog.h"

namespace pelvano::gui {

namespace {

const QString kNamesFilter = QStringLiteral("Chapter names (*.txt);;All files (*)");
const QString kNamesSaveFilter = QStringLiteral("Chapter names (*.txt)");

// File names are the locale's bytes, as the core takes them; the names
// themselves are UTF-8 (see chapters/chapter_names.h).
std::string FileName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

void EnterFolderOf(const QString& file)
{
    EnterFolder(FileName(QFileInfo(file).absolutePath()));
}

}  // namespace

ChapterNamesDialog::ChapterNamesDialog(FormDialogs& dialogs, const QStringList& starts,
                                       const QStringList& names, const QString& nameTemplate,
                                       TemplateNames templateNames, QWidget* parent)
    : QDialog(parent),
      ui(std::make_unique<Ui::ChapterNamesDialog>()),
      dialogs_(dialogs),
      templateNames_(std::move(templateNames))
{
    ui->setupUi(this);
    for (int k = 0; k < starts.size(); ++k) {
        auto* number = new QLabel(QString::number(k + 1), ui->namesPanel);
        number->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* field = new QLineEdit(names.value(k), ui->namesPanel);
        field->setObjectName(QStringLiteral("edName%1").arg(k + 1));
        ui->namesGrid->addWidget(number, k, 0);
        ui->namesGrid->addWidget(new QLabel(starts[k], ui->namesPanel), k, 1);
        ui->namesGrid->addWidget(field, k, 2);
        fields_.push_back(field);
    }
    ui->namesGrid->setColumnStretch(2, 1);
    ui->namesGrid->setRowStretch(static_cast<int>(starts.size()), 1);
    // No taller than the lines need; a long list scrolls.
    resize(width(), std::min(height(), sizeHint().height()));
    ui->edNameTemplate->setText(nameTemplate);
    ShowTemplateNames();
    if (!fields_.empty())
        fields_.front()->setFocus();

    connect(ui->edNameTemplate, &QLineEdit::textChanged, this, &ChapterNamesDialog::ShowTemplateNames);
    connect(ui->bttLoadNames, &QPushButton::clicked, this, &ChapterNamesDialog::LoadClick);
    connect(ui->bttSaveNames, &QPushButton::clicked, this, &ChapterNamesDialog::SaveClick);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ChapterNamesDialog::~ChapterNamesDialog() = default;

QStringList ChapterNamesDialog::names() const
{
    QStringList names;
    for (const QLineEdit* field : fields_) {
        // A pasted line break or other control character would split the
        // names file, and the line it lands on: a name is one line of text.
        QString name = field->text();
        for (QChar& c : name)
            if (c != QLatin1Char('\t') && (c.category() == QChar::Other_Control))
                c = QLatin1Char(' ');
        names.append(name);
    }
    return names;
}

QString ChapterNamesDialog::nameTemplate() const
{
    return ui->edNameTemplate->text();
}

void ChapterNamesDialog::ShowTemplateNames()
{
    QStringList shown;
    try {
        shown = templateNames_(nameTemplate());
    } catch (const std::exception&) {
        return;  // timing fields the window can't read: the hints stay as they were
    }
    for (size_t k = 0; k < fields_.size(); ++k)
        fields_[k]->setPlaceholderText(shown.value(static_cast<int>(k)));
}

void ChapterNamesDialog::LoadClick()
{
    const std::optional<QString> file = dialogs_.openFile(this, kNamesFilter);
    if (!file)
        return;
    EnterFolderOf(*file);
    const std::string path = FileName(*file);
    std::vector<std::string> names;
    try {
        names = ReadChapterNames(path);
    } catch (const Error& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
        return;
    }
    lastPath_ = *file;
    for (size_t k = 0; k < fields_.size(); ++k)
        fields_[k]->setText(k < names.size() ? QString::fromUtf8(names[k]) : QString());
    if (const std::optional<std::string> warning = ExtraNamesWarning(path, names.size(), fields_.size()))
        dialogs_.showMessage(this, QString::fromLatin1(TMainForm::kAppTitle),
                             QString::fromLocal8Bit(*warning));
}

void ChapterNamesDialog::SaveClick()
{
    SaveRequest request;
    request.filters = QStringList{kNamesSaveFilter};
    request.proposedPath = lastPath_;
    const std::optional<SaveChoice> choice = dialogs_.saveFile(this, request);
    if (!choice)
        return;
    EnterFolderOf(choice->path);
    std::vector<std::string> names;
    for (const QString& name : this->names())
        names.push_back(name.toUtf8().toStdString());
    try {
        WriteTextFile(FileName(choice->path), ChapterNamesText(names));
    } catch (const Error& e) {
        ShowError(QString::fromLocal8Bit(e.what()));
        return;
    }
    lastPath_ = choice->path;
}

void ChapterNamesDialog::ShowError(const QString& message)
{
    dialogs_.showError(this, QString::fromLatin1(TMainForm::kAppTitle), ErrorMessageText(message));
}

}  // namespace pelvano::gui
