#include "eliding_combo_box.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QStyleOptionComboBox>
#include <QStylePainter>

namespace pelvano::gui {

int ElidingComboBox::textWidth() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this).width();
}

QString ElidingComboBox::shownText() const
{
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, textWidth());
}

void ElidingComboBox::showPopup()
{
    QAbstractItemView* list = view();
    int widest = list->sizeHintForColumn(0) + 2 * list->frameWidth();
    if (count() > maxVisibleItems())
        widest += list->verticalScrollBar()->sizeHint().width();
    list->setMinimumWidth(std::max(widest, width()));
    QComboBox::showPopup();
}

void ElidingComboBox::paintEvent(QPaintEvent* event)
{
    if (isEditable()) {  // the line edit shows the whole text being typed
        QComboBox::paintEvent(event);
        return;
    }
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

}  // namespace pelvano::gui
