#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

namespace pelvano::gui {

// An error message as the window shows it: with a full stop appended unless
// it already ends in a character that sorts at or before ".".
QString ErrorMessageText(const QString& message);

// What "Save data" asks of the save dialog: its filter entries (Qt name
// filters, "Text file (*.txt)"), the path proposed (empty the first time)
// and the entry selected.
struct SaveRequest {
    QStringList filters;
    QString proposedPath;
    int filterIndex = 0;
};

struct SaveChoice {
    QString path;         // absolute, with the default extension added
    int filterIndex = 0;  // the entry selected when the user confirmed
};

// The window's file dialogs and message boxes. The window talks to people
// only through this, so tests can choose files and read messages.
class FormDialogs {
public:
    virtual ~FormDialogs() = default;

    // An existing file matching `filter` (a Qt name filter), opening in the
    // working directory; nullopt when cancelled.
    virtual std::optional<QString> openFile(QWidget* parent, const QString& filter) = 0;
    // A file to write; nullopt when cancelled. Asks before an existing file
    // is replaced.
    virtual std::optional<SaveChoice> saveFile(QWidget* parent, const SaveRequest& request) = 0;
    // A modal error box.
    virtual void showError(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A plain modal message with an OK button, no icon: what an AVI file
    // that can't be used is reported with.
    virtual void showMessage(QWidget* parent, const QString& caption, const QString& text) = 0;
};

// The real dialogs: Qt's own file dialog (the same on every desktop) and
// QMessageBox.
class QtFormDialogs : public FormDialogs {
public:
    std::optional<QString> openFile(QWidget* parent, const QString& filter) override;
    std::optional<SaveChoice> saveFile(QWidget* parent, const SaveRequest& request) override;
    void showError(QWidget* parent, const QString& caption, const QString& text) override;
    void showMessage(QWidget* parent, const QString& caption, const QString& text) override;

    // The configured dialogs, not yet shown; tests drive them directly.
    static std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& filter);
    static std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const SaveRequest& request);
    // The extension a name typed without one gets under a filter entry:
    // the first pattern's, "txt" for "Text file (*.txt)".
    static QString DefaultSuffix(const QString& filter);
};

}  // namespace pelvano::gui
