#include "form_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>

namespace pelvano::gui {

namespace {

// One look in every desktop, and the overwrite question and default
// extension behave the same everywhere.
void CommonOptions(QFileDialog& dialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setSizeGripEnabled(true);
}

}  // namespace

QString ErrorMessageText(const QString& message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

std::unique_ptr<QFileDialog> QtFormDialogs::MakeOpenDialog(QWidget* parent, const QString& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    CommonOptions(*dialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(filter);
    dialog->setDirectory(QDir::currentPath());
    return dialog;
}

std::unique_ptr<QFileDialog> QtFormDialogs::MakeSaveDialog(QWidget* parent, const SaveRequest& request)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    CommonOptions(*dialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilters(request.filters);
    QFileDialog* raw = dialog.get();
    QObject::connect(raw, &QFileDialog::filterSelected, raw,
                     [raw](const QString& filter) { raw->setDefaultSuffix(DefaultSuffix(filter)); });
    if (!request.filters.isEmpty()) {
        const int index = request.filterIndex >= 0 && request.filterIndex < request.filters.size()
                              ? request.filterIndex
                              : 0;
        dialog->selectNameFilter(request.filters.at(index));
        dialog->setDefaultSuffix(DefaultSuffix(request.filters.at(index)));
    }
    if (request.proposedPath.isEmpty()) {
        dialog->setDirectory(QDir::currentPath());
    } else {
        const QFileInfo proposed(request.proposedPath);
        dialog->setDirectory(proposed.absolutePath());
        dialog->selectFile(proposed.fileName());
    }
    return dialog;
}

QString QtFormDialogs::DefaultSuffix(const QString& filter)
{
    static const QRegularExpression pattern(QStringLiteral(R"(\*\.([^\s;)*?]+))"));
    const QRegularExpressionMatch match = pattern.match(filter);
    return match.hasMatch() ? match.captured(1) : QString();
}

std::optional<QString> QtFormDialogs::openFile(QWidget* parent, const QString& filter)
{
    const auto dialog = MakeOpenDialog(parent, filter);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    return dialog->selectedFiles().constFirst();
}

std::optional<SaveChoice> QtFormDialogs::saveFile(QWidget* parent, const SaveRequest& request)
{
    const auto dialog = MakeSaveDialog(parent, request);
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return std::nullopt;
    SaveChoice choice;
    choice.path = dialog->selectedFiles().constFirst();
    choice.filterIndex =
        std::max<int>(0, static_cast<int>(request.filters.indexOf(dialog->selectedNameFilter())));
    return choice;
}

void QtFormDialogs::showError(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void QtFormDialogs::showMessage(QWidget* parent, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace pelvano::gui
