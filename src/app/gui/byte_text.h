#pragma once

#include <QHash>
#include <QString>

#include <string>

class QTextDocument;

namespace pelvano::gui {

// The core works in 8-bit bytes, the widgets in Unicode. Bytes that are not
// valid in the locale's encoding (a presets file written on Windows holds
// Windows-1252) are shown as Latin-1 and remembered, so that a text the user
// did not edit goes back to the core as the very bytes it came from.
class ByteText {
public:
    QString toWidget(const std::string& bytes);
    std::string toBytes(const QString& text) const;

private:
    // Cleared when it grows past this: an edited text never comes back.
    static constexpr qsizetype kMaxRemembered = 512;
    QHash<QString, std::string> remembered_;
};

// The text a document shows, line breaks as LF, characters as they stand
// (QTextDocument::toPlainText would turn no-break spaces into spaces).
QString ShownText(const QTextDocument& document);

}  // namespace pelvano::gui
