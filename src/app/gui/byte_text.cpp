#include "byte_text.h"

#include <QTextBlock>
#include <QTextDocument>

namespace pelvano::gui {

QString ByteText::toWidget(const std::string& bytes)
{
    const QByteArray raw = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QString text = QString::fromLocal8Bit(raw);
    if (text.toLocal8Bit() == raw)
        return text;
    text = QString::fromLatin1(raw);
    if (remembered_.size() >= kMaxRemembered)
        remembered_.clear();
    remembered_.insert(text, bytes);
    return text;
}

std::string ByteText::toBytes(const QString& text) const
{
    if (const auto it = remembered_.constFind(text); it != remembered_.constEnd())
        return *it;
    return text.toLocal8Bit().toStdString();
}

QString ShownText(const QTextDocument& document)
{
    QString text;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            text += QLatin1Char('\n');
        text += block.text();
    }
    return text;
}

}  // namespace pelvano::gui
